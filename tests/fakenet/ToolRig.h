#pragma once
#include "engine/EventLoop.h"
#include "engine/NetworkEndpoint.h"
#include "engine/Transport.h"
#include "protocol/PacketHeader.h"
#include "tests/fakenet/FakeNetwork.h"
#include "tests/fakenet/VirtualClock.h"

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pemblor {

// The tool's host on the fake network, the list of its interfaces, and its
// event loop on the virtual clock, which moves once the network is quiet.
// The receive socket's slot is free while it is made and once it is gone.
// A test's fixture derives from it, so that what the test adds (access
// points, a session) goes first.
struct ToolHost {
    explicit ToolHost(std::string address)
        : host(std::move(address))
        , tool(net.NewLayer(host))
        , interfaces(net.InterfaceList(host))
    {
        g_hRecvSocket = InvalidSocket;
        clock.SetQuiescenceProbe([this] { return net.Quiescent(); });
    }
    ~ToolHost() { g_hRecvSocket = InvalidSocket; }

    // Where every datagram the tool sent with the password "secret" went, in
    // order.
    std::vector<std::string> PasswordTo() const
    {
        std::vector<std::string> to;
        for (const auto& sent : net.SentLog()) {
            if (sent.fromHost != host || sent.bytes.size() < HeaderSize)
                continue;
            const char* field = reinterpret_cast<const char*>(sent.bytes.data() + PacketHeader::OffsetPassword);
            if (std::string(field, strnlen(field, CredentialFieldSize)) == "secret")
                to.push_back(sent.toHost);
        }
        return to;
    }

    const std::string host;
    FakeNetwork net;
    std::unique_ptr<FakeSocketLayer> tool;
    std::unique_ptr<IInterfaceList> interfaces;
    VirtualClock clock;
    EventLoop ui{clock};
};

// The tool's host with its transport, open and with its receive thread
// running when `opened`; with `listed`, the transport reads the host's
// interfaces, else every request goes where the routes send it.
struct ToolTransport : ToolHost {
    explicit ToolTransport(std::string address, bool listed = false)
        : ToolHost(std::move(address))
        , transport(*tool, ui, Config(listed ? interfaces.get() : nullptr))
    {
        opened = transport.Open().Ok() && transport.StartReceiveThread();
    }
    static TransportConfig Config(IInterfaceList* interfaces)
    {
        TransportConfig config;
        config.interfaces = interfaces;
        return config;
    }

    Transport transport;
    bool opened = false;
};

} // namespace pemblor
