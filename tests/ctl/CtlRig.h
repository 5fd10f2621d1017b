#pragma once
// Runs of pemblorctl on the fake network, with virtual time, for the tests
// of its commands.
#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "engine/EventLoop.h"
#include "tests/ctl/Agents.h"
#include "tests/fakenet/FakeInterfaceList.h"
#include "tests/fakenet/FakeNetwork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace pemblor {

inline constexpr const char* ToolHost = "10.0.0.1";

class CtlRig : public ::testing::Test {
protected:
    struct Result {
        int status;
        std::string out;
        std::string err;
        EventLoop::Millis took; // the virtual time the run took
    };

    // One run of pemblorctl with `args` after its name and `input` on
    // standard input.
    Result Run(std::vector<const char*> args, const std::string& input = {})
    {
        args.insert(args.begin(), "pemblorctl");
        std::ostringstream out, err;
        std::istringstream in(input);
        CtlOptions options;
        if (auto status = ParseCommandLine(static_cast<int>(args.size()), args.data(), options, out, err))
            return {*status, out.str(), err.str(), 0};
        CtlIo io{out, err, in, prompt, interrupted};
        if (!layer) {
            layer = network.NewLayer(ToolHost);
            interfaces = network.InterfaceList(ToolHost);
        }
        SessionConfig config;
        config.interfaces = interfaces.get();
        config.reversePath = &reversePath;
        if (!neighbourTable.empty())
            config.neighbourTable = neighbourTable.c_str();
        const EventLoop::Millis start = clock.Now();
        const int status = RunCommand(options, *layer, loop, io, std::move(config));
        return {status, out.str(), err.str(), clock.Now() - start};
    }

    // Datagrams this tool sent to the device port, as their bytes.
    std::vector<std::vector<std::uint8_t>> Sent() const
    {
        std::vector<std::vector<std::uint8_t>> sent;
        for (const auto& datagram : network.SentLog())
            // The loopback datagram that wakes the receive thread at the end
            // never leaves the host.
            if (datagram.fromHost == ToolHost && datagram.toPort == DevicePort && datagram.toHost != "127.0.0.1")
                sent.push_back(datagram.bytes);
        return sent;
    }

    std::unique_ptr<SimAccessPoint> Start(const Agent& agent) { return pemblor::Start(network, loop, agent); }

    FakeNetwork network;
    VirtualClock clock{[this] { return network.Quiescent(); }};
    EventLoop loop{clock};
    // Made by the first run, so that a test can lay out the tool's host first.
    std::unique_ptr<FakeSocketLayer> layer;
    std::unique_ptr<IInterfaceList> interfaces;
    FakeReversePathFilter reversePath;
    // Asks for the password when no option gives it; empty: no terminal.
    std::function<std::optional<std::string>(std::string&)> prompt;
    // Set when the user asks `apply` to stop; null: nobody can ask.
    const std::atomic<bool>* interrupted = nullptr;
    // The kernel's neighbour table as `plan` reads it; empty: the system's.
    std::string neighbourTable;
};

} // namespace pemblor
