#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "ctl/EventLoop.h"
#include "ctl/ExitCode.h"
#include "engine/fake/FakeNetwork.h"
#include "tests/ctl/FakeAgent.h"
#include "tests/ctl/VirtualLoopClock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace pemblor {
namespace {

constexpr const char* ToolHost = "10.0.0.1";

FakeAgent::Settings Agent(std::uint8_t last)
{
    FakeAgent::Settings settings;
    settings.mac = {0x02, 0x00, 0x00, 0xAA, 0x00, last};
    settings.ssid = "lab-" + std::to_string(last);
    return settings;
}

std::string Mac(std::uint8_t last)
{
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:AA:00:%02X", last);
    return text;
}

// `plan` and `apply` of pemblorctl on the fake network, with virtual time.
class FleetCtl : public ::testing::Test {
protected:
    struct Result {
        int status;
        std::string out;
        std::string err;
    };

    Result Run(std::vector<const char*> args, const std::string& input = {})
    {
        args.insert(args.begin(), "pemblorctl");
        std::ostringstream out, err;
        std::istringstream in(input);
        CtlOptions options;
        if (auto status = ParseCommandLine(static_cast<int>(args.size()), args.data(), options, out, err))
            return {*status, out.str(), err.str()};
        CtlIo io{out, err, in, {}};
        if (!layer) {
            layer = network.NewLayer(ToolHost);
            interfaces = network.InterfaceList(ToolHost);
        }
        SessionConfig config;
        config.interfaces = interfaces.get();
        const int status = RunCommand(options, *layer, loop, io, std::move(config));
        return {status, out.str(), err.str()};
    }

    std::size_t SentCount() const
    {
        std::size_t count = 0;
        for (const auto& datagram : network.SentLog())
            count += datagram.fromHost == ToolHost && datagram.toPort == DevicePort && datagram.toHost != "127.0.0.1";
        return count;
    }

    FakeNetwork network;
    VirtualLoopClock clock{[this] { return network.Quiescent(); }};
    EventLoop loop{clock};
    std::unique_ptr<FakeSocketLayer> layer;
    std::unique_ptr<IInterfaceList> interfaces;
};

TEST_F(FleetCtl, PlanSkipsTheAddressesOfDevicesOutsideThePlanAndTheComputersOwn)
{
    FakeAgent a(network, clock, "10.0.0.11", Agent(1));
    FakeAgent b(network, clock, "10.0.0.12", Agent(2));
    FakeAgent other(network, clock, "10.0.0.4", Agent(3));

    const std::string second = Mac(2);
    const Result result = Run({"plan", "--from", "10.0.0.1", "--dhcp", "off", "--timeout", "1", second.c_str(),
                               "02:00:00:aa:00:01"});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.out, "mac,ip,netmask,gateway,dhcp\n"
                          "02:00:00:AA:00:02,10.0.0.2,,,off\n"
                          "02:00:00:AA:00:01,10.0.0.3,,,off\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(FleetCtl, PlanSaysWhyItCannotPlanAndExitsOne)
{
    FakeAgent a(network, clock, "10.0.0.11", Agent(1));
    FakeAgent b(network, clock, "10.0.0.12", Agent(2));
    const std::string first = Mac(1), second = Mac(2);
    struct Case {
        std::vector<const char*> args;
        const char* err;
        bool discovers;
    };
    const std::vector<Case> cases{
        {{"--from", "10.0.0.254"}, "pemblorctl: cannot plan: The network 10.0.0.0/24 has no address left for "
                                   "02:00:00:AA:00:02 (counting from 10.0.0.254).\n",
         true},
        {{"--from", "10.0.1.5"}, "pemblorctl: cannot plan: 10.0.1.5 is not in the network 10.0.0.0/24 of eth0, "
                                 "where 02:00:00:AA:00:01 answered; give the netmask.\n",
         true},
        {{"--from", "10.0.0.300"}, "Invalid IP Address!\n", false},
        {{"--from", "10.0.0.5", "--netmask", "255.0.255.0"}, "Invalid Netmask!\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const std::size_t before = SentCount();
        std::vector<const char*> args{"plan", "--timeout", "1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(first.c_str());
        args.push_back(second.c_str());
        const Result result = Run(args);
        EXPECT_EQ(result.status, ExitUsage);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(SentCount() > before, c.discovers);
    }
}

TEST_F(FleetCtl, PlanAsJsonAndTable)
{
    FakeAgent a(network, clock, "10.0.0.11", Agent(1));
    const std::string first = Mac(1);
    const Result json = Run({"plan", "--from", "10.1.0.9", "--netmask", "255.255.0.0", "--gateway", "", "--format",
                             "json", "--timeout", "1", first.c_str(), "02:00:00:AA:00:09"});
    ASSERT_EQ(json.status, ExitOk) << json.err;
    EXPECT_EQ(json.out, "{\"mac\":\"02:00:00:AA:00:01\",\"ip\":\"10.1.0.9\",\"netmask\":\"255.255.0.0\","
                        "\"gateway\":\"0.0.0.0\",\"dhcp\":null}\n"
                        "{\"mac\":\"02:00:00:AA:00:09\",\"ip\":\"10.1.0.10\",\"netmask\":\"255.255.0.0\","
                        "\"gateway\":\"0.0.0.0\",\"dhcp\":null}\n");
    EXPECT_EQ(json.err, "pemblorctl: 02:00:00:AA:00:09 did not answer the discovery; planned all the same\n");

    const Result table = Run({"plan", "--from", "10.0.0.20", "--format", "table", "--timeout", "1", first.c_str()});
    ASSERT_EQ(table.status, ExitOk) << table.err;
    EXPECT_EQ(table.out, "MAC ADDRESS       IP ADDRESS      SUBNET MASK     GATEWAY         DHCP\n"
                         "02:00:00:AA:00:01 10.0.0.20       -               -               -\n");
}

TEST_F(FleetCtl, PlanRefusesAMacThatNamesNoDevice)
{
    const Result result = Run({"plan", "--from", "10.0.0.20", "00:00:00:00:00:00"});
    EXPECT_EQ(result.status, ExitUsage);
    EXPECT_NE(result.err.find("names no single device"), std::string::npos) << result.err;
}

} // namespace
} // namespace pemblor
