#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "ctl/DeviceSession.h"
#include "engine/EventLoop.h"
#include "ctl/ExitCode.h"
#include "tests/fakenet/FakeNetwork.h"
#include "protocol/PacketHeader.h"
#include "protocol/Requests.h"
#include "tests/ctl/CtlRig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <memory>
#include <map>
#include <set>
#include <sstream>

namespace pemblor {
namespace {

using Wire = std::vector<std::vector<std::uint8_t>>;

// The virtual time a run took: the command's own, plus up to one 10 ms wait
// while the receive thread stops at the end.
void ExpectTook(EventLoop::Millis took, EventLoop::Millis expected)
{
    EXPECT_GE(took, expected);
    EXPECT_LE(took, expected + 10);
}

// set and reboot listen to a discovery first, as a listing would, to know
// whether another device answers from the device's address.
constexpr EventLoop::Millis Listing = DeviceSession::SharedAddressWindowMs;

// One run of pemblorctl on the fake network, with virtual time.
class Ctl : public CtlRig {
protected:
    // Moves the device 02:00:00:AA:00:01 to 10.0.0.50, then reboots it and
    // waits for it to answer again, in JSON.
    Result MoveAndRebootWaiting()
    {
        const Result set =
            Run({"set", "02:00:00:AA:00:01", "--ip", "10.0.0.50", "--user", "admin", "--password-stdin"}, "admin");
        EXPECT_EQ(set.status, ExitOk) << set.err;
        return Run({"reboot", "02:00:00:AA:00:01", "--wait", "--user", "admin", "--password-stdin", "--format", "json"},
                   "admin\n");
    }


    static std::vector<std::uint8_t> Bytes(const Datagram& datagram)
    {
        return {datagram.data(), datagram.data() + datagram.size};
    }
};

TEST_F(Ctl, DiscoverPrintsEveryDeviceOnceAndListensForTheWholeTimeOut)
{
    Agent thrice = Device(2, "10.0.0.12");
    thrice.quirks.discoveryRepeats = 2;
    const auto a = Start(Device(1, "10.0.0.11"));
    const auto b = Start(thrice);
    const auto c = Start(Device(3, "10.0.0.13"));

    const Result result = Run({"discover", "--format", "json"});
    EXPECT_EQ(result.status, ExitOk) << result.err;
    ExpectTook(result.took, 5000);
    std::istringstream lines(result.out);
    std::set<std::string> macs;
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        const auto object = nlohmann::json::parse(line);
        macs.insert(object["mac"]);
        const std::string last = object["mac"].get<std::string>().substr(15);
        EXPECT_EQ(object["ip"], "10.0.0.1" + std::to_string(std::stoi(last)));
        EXPECT_EQ(object["ip_addr"], object["ip"]);
        EXPECT_EQ(object["ssid"], "lab-" + std::to_string(std::stoi(last)));
        EXPECT_EQ(object["netmask"], "255.255.255.0");
        EXPECT_EQ(object["channel"], "6");
        EXPECT_EQ(object["interface"], "eth0");
    }
    EXPECT_EQ(count, 3);
    EXPECT_EQ(macs, (std::set<std::string>{a->Mac(), b->Mac(), c->Mac()}));
    EXPECT_EQ(Sent(), Wire{Bytes(BuildDiscoveryRequest())});
}

// A second host answering with a listed MAC: the device stays where it
// answered first, and every format names the other address.
TEST_F(Ctl, DiscoverNamesASecondAddressThatAnsweredForOneMac)
{
    const auto real = Start(Device(1, "10.0.0.11"));
    Agent impostor = Device(1, "10.0.0.66");
    impostor.quirks.replyDelayMs = 50;
    const auto other = Start(impostor);
    const auto plain = Start(Device(2, "10.0.0.12"));

    const Result table = Run({"discover", "--timeout", "1"});
    EXPECT_EQ(table.status, ExitOk) << table.err;
    EXPECT_NE(table.out.find("\n02:00:00:AA:00:01 also answered from 10.0.0.66\n"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("02:00:00:AA:00:02 also"), std::string::npos) << table.out;

    const Result json = Run({"discover", "--format", "json", "--timeout", "1"});
    std::istringstream lines(json.out);
    std::map<std::string, nlohmann::json> byMac;
    for (std::string line; std::getline(lines, line);) {
        const auto object = nlohmann::json::parse(line);
        byMac[object["mac"]] = object;
    }
    ASSERT_EQ(byMac.size(), 2u) << json.out;
    EXPECT_EQ(byMac["02:00:00:AA:00:01"]["ip"], "10.0.0.11");
    EXPECT_EQ(byMac["02:00:00:AA:00:01"]["also_at"], nlohmann::json::array({"10.0.0.66"}));
    EXPECT_EQ(byMac["02:00:00:AA:00:02"]["also_at"], nlohmann::json::array());

    const Result csv = Run({"discover", "--format", "csv", "--timeout", "1"});
    EXPECT_NE(csv.out.find("02:00:00:AA:00:01,lab-1,10.0.0.11,10.0.0.11,255.255.255.0,6,eth0,10.0.0.66\n"), std::string::npos)
        << csv.out;
}

// A host that floods the tool with made-up MACs fills the list up to its
// bound; the rest are counted and said, and known devices still answer.
TEST_F(Ctl, DiscoverListsAtMostTheBoundAndSaysHowManyMoreAnswered)
{
    Agent flood = Device(1, "10.0.0.11");
    flood.quirks.floodMacs = 20000;
    const auto a = Start(flood);

    const Result result = Run({"discover", "--format", "csv", "--timeout", "1"});
    EXPECT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1 + 16384);
    EXPECT_NE(result.out.find("\n02:00:00:AA:00:01,lab-1,"), std::string::npos);
    EXPECT_EQ(result.err, "Only the first 16384 devices are listed; 3617 more answered.\n");
}

TEST_F(Ctl, DiscoverGoesOutOfEveryInterfaceAndNamesWhereEachDeviceAnswered)
{
    network.AddHost(ToolHost, "lan");
    network.AddInterface(ToolHost, "eth1", "10.0.1.1", "aps");
    network.AddInterface(ToolHost, "wg0", "10.0.2.1", "vpn");
    network.AddHost("10.0.1.11", "aps");
    const auto onLan = Start(Device(1, "10.0.0.11"));
    const auto onAps = Start(Device(2, "10.0.1.11"));

    const Result result = Run({"discover", "--format", "csv", "--timeout", "1"});
    EXPECT_EQ(result.status, ExitOk) << result.err;
    std::istringstream lines(result.out);
    std::set<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.insert(line);
    EXPECT_EQ(rows, (std::set<std::string>{"mac,ssid,ip,ip_addr,netmask,channel,interface,Also at",
                                           "02:00:00:AA:00:01,lab-1,10.0.0.11,10.0.0.11,255.255.255.0,6,eth0,",
                                           "02:00:00:AA:00:02,lab-2,10.0.1.11,10.0.1.11,255.255.255.0,6,eth1,"}));
    std::multiset<std::string> from;
    for (const auto& datagram : network.SentLog())
        if (datagram.bytes == Bytes(BuildDiscoveryRequest()))
            from.insert(datagram.fromHost);
    EXPECT_EQ(from, (std::multiset<std::string>{ToolHost, "10.0.1.1", "10.0.2.1"}));

    // A run of its own, without a discovery, still reaches the device on the
    // second segment.
    const Result shown = Run({"show", "02:00:00:AA:00:02", "--format", "csv"});
    EXPECT_EQ(shown.status, ExitOk) << shown.err;
    EXPECT_NE(shown.out.find("\n02:00:00:AA:00:02,10.0.1.11,"), std::string::npos) << shown.out;
}

// Each cause of silence, set up on the fake network, gives its diagnosis
// under "Find no devices!" and exit status 2.
TEST_F(Ctl, SilentDiscoverSaysWhyAndExitsTwo)
{
    struct Case {
        const char* name;
        std::function<void(FakeNetwork&)> setUp;
        std::string says;
        EventLoop::Millis took;
    };
    const std::vector<Case> cases = {
        {"nobody answered", [](FakeNetwork&) {}, "Nobody answered: the query was sent and heard on eth0,", 2500},
        {"inbound blocked", [](FakeNetwork& net) { net.DropInbound(ToolHost, DevicePort); },
         "Inbound UDP 21212 is blocked on this computer: the query was sent on eth0,", 2500},
        {"no interface", [](FakeNetwork& net) { net.SetInterfaceUp(ToolHost, "eth0", false); },
         "No usable network interface", 2500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeNetwork net;
        VirtualClock virtualClock([&net] { return net.Quiescent(); });
        EventLoop eventLoop(virtualClock);
        net.AddHost(ToolHost, "lan");
        c.setUp(net);
        auto tool = net.NewLayer(ToolHost);
        auto list = net.InterfaceList(ToolHost);
        std::ostringstream out, err;
        std::istringstream in;
        CtlIo io{out, err, in, nullptr};
        CtlOptions options;
        options.timeoutSeconds = 2.5;
        SessionConfig config;
        config.interfaces = list.get();
        EXPECT_EQ(RunCommand(options, *tool, eventLoop, io, std::move(config)), ExitNoDevice);
        ExpectTook(virtualClock.Now(), c.took);
        EXPECT_TRUE(out.str().empty());
        EXPECT_EQ(err.str().rfind("Find no devices!\n\n" + c.says, 0), 0u) << err.str();
    }
}

TEST_F(Ctl, PortHeldByAnotherProgramIsOneLineAndExitFive)
{
    auto other = network.NewLayer(ToolHost);
    auto holder = other->Open();
    ASSERT_TRUE(holder->Bind(DevicePort));
    const Result result = Run({"discover"});
    EXPECT_EQ(result.status, ExitPortTaken);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find("21212"), std::string::npos);
    EXPECT_NE(result.err.find("in use"), std::string::npos);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Ctl, ShowReadsTheAddressedDeviceOnly)
{
    const auto other = Start(Device(2, "10.0.0.12"));
    Agent agent = Device(1, "10.0.0.11");
    agent.settings.dhcp = 1;
    agent.settings.mask = 0xFFFF0000u;
    const auto device = Start(agent);

    const Result result = Run({"show", "02:00:00:aa:00:01", "--format", "json"});
    EXPECT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.out, "{\"mac\":\"02:00:00:AA:00:01\",\"result\":\"unchanged\",\"ip\":\"10.0.0.11\","
                          "\"before\":{\"ip\":\"10.0.0.11\",\"netmask\":\"255.255.0.0\",\"gateway\":\"10.0.0.254\","
                          "\"dhcp\":true},\"after\":{\"ip\":\"10.0.0.11\",\"netmask\":\"255.255.0.0\",\"gateway\":"
                          "\"10.0.0.254\",\"dhcp\":true}}\n");
    EXPECT_EQ(Sent(), Wire{Bytes(BuildDetailQuery("02:00:00:AA:00:01"))});

    const Result csv = Run({"show", "02:00:00:AA:00:01", "--format", "csv"});
    EXPECT_EQ(csv.out, "mac,ip,ip_addr,netmask,gateway,dhcp\n02:00:00:AA:00:01,10.0.0.11,10.0.0.11,255.255.0.0,"
                       "10.0.0.254,on\n");
}

TEST_F(Ctl, ShowOfASilentDeviceTimesOutAfterFiveSeconds)
{
    Agent agent = Device(1, "10.0.0.11");
    agent.quirks.noDetail = true;
    const auto device = Start(agent);
    const Result result = Run({"show", "02:00:00:AA:00:01"});
    EXPECT_EQ(result.status, ExitTimeOut);
    ExpectTook(result.took, 5000);
    EXPECT_EQ(result.err, "Time Out!\n");
}

// set reads the device first (one datagram), then, when the change would
// change something, asks it by unicast (a second) and sends the change.
TEST_F(Ctl, SetMapsEachOutcomeToItsExitStatus)
{
    struct Case {
        const char* name;
        std::vector<const char*> args;
        std::string password;
        bool answersDetail;
        bool answersCommands;
        int status;
        std::string out;
        std::string err;
        EventLoop::Millis took;
        std::size_t sent;
    };
    const std::vector<Case> cases = {
        {"accepted", {"--ip", "10.0.0.50"}, "admin\n", true, true, ExitOk, "Change setting successfully!\n", "", 0, 3},
        {"wrong password", {"--ip", "10.0.0.50"}, "guess\n", true, true, ExitRefused, "", "Authentication Error!\n",
         0, 3},
        {"no answer", {"--dhcp", "on"}, "admin\n", true, false, ExitTimeOut, "", "Time Out!\n", 10000, 3},
        {"not read", {"--dhcp", "on"}, "admin\n", false, true, ExitTimeOut, "", "Time Out!\n", 5000, 1},
        {"not read, own time-out", {"--dhcp", "on", "--timeout", "1.5"}, "admin\n", false, true, ExitTimeOut, "",
         "Time Out!\n", 1500, 1},
        {"already so", {"--ip", "10.0.0.11", "--dhcp", "off"}, "admin\n", true, true, ExitOk, "Nothing to change.\n", "",
         0, 1},
        {"invalid", {"--netmask", "255.0.255.0"}, "admin\n", true, true, ExitUsage, "", "Invalid Netmask!\n", 0, 0},
        {"nothing", {}, "admin\n", true, true, ExitUsage, "", "No change is made!\n", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Agent agent = Device(1, "10.0.0.11");
        agent.quirks.noDetail = !c.answersDetail;
        agent.quirks.ignoreCommands = !c.answersCommands;
        const auto device = Start(agent);
        const std::size_t sentBefore = Sent().size();
        std::vector<const char*> args = {"set", "02:00:00:AA:00:01", "--user", "admin", "--password-stdin"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result result = Run(args, c.password);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        const bool ran = c.status != ExitUsage;
        ExpectTook(result.took, c.took + (ran ? Listing : 0));
        EXPECT_EQ(Sent().size() - sentBefore, c.sent + (ran ? 1 : 0));
    }
}

// A device that leaves the MAC of its results zero: set read it first, so
// it knows the address its result comes from.
TEST_F(Ctl, SetToADeviceWhoseResultsCarryAZeroMac)
{
    Agent agent = Device(1, "10.0.0.11");
    agent.quirks.zeroMacResult = true;
    const auto device = Start(agent);
    const Result result =
        Run({"set", "02:00:00:AA:00:01", "--ip", "10.0.0.50", "--user", "admin", "--password-stdin"}, "admin");
    EXPECT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.out, "Change setting successfully!\n");
    ExpectTook(result.took, Listing);
}

TEST_F(Ctl, SetInJsonGivesTheOutcomeObject)
{
    struct Case {
        const char* password;
        const char* ip;
        int status;
        std::string result;
        std::string afterIp;
        const char* message;
    };
    const Case cases[] = {
        {"admin", "10.0.0.50", ExitOk, "stored", "10.0.0.50", nullptr},
        {"admin", "10.0.0.11", ExitOk, "unchanged", "10.0.0.11", nullptr},
        {"guess", "10.0.0.50", ExitRefused, "authentication-error", "10.0.0.11", "Authentication Error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        const auto device = Start(Device(1, "10.0.0.11"));
        const Result result = Run({"set", "02:00:00:AA:00:01", "--ip", c.ip, "--user", "admin", "--password-stdin",
                                   "--format", "json"},
                                  c.password);
        EXPECT_EQ(result.status, c.status);
        ASSERT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
        const auto object = nlohmann::ordered_json::parse(result.out);
        std::vector<std::string> keys;
        for (const auto& item : object.items())
            keys.push_back(item.key());
        std::vector<std::string> expected{"mac", "result", "ip", "before", "after"};
        if (c.message)
            expected.push_back("message");
        EXPECT_EQ(keys, expected);
        EXPECT_EQ(object["result"], c.result);
        EXPECT_EQ(object["ip"], "10.0.0.11");
        EXPECT_EQ(object["before"]["ip"], "10.0.0.11");
        EXPECT_EQ(object["before"]["dhcp"], false);
        EXPECT_EQ(object["after"]["ip"], c.afterIp);
        EXPECT_EQ(object["after"]["netmask"], "255.255.255.0");
        if (c.message) {
            EXPECT_EQ(object["message"], c.message);
        }
    }
}

TEST_F(Ctl, SetSendsTheEntriesInTheFixedOrderWithTheCredentialsAsTyped)
{
    const auto device = Start(Device(1, "10.0.0.11"));
    const Result result = Run({"set", "02:00:00:AA:00:01", "--dhcp", "on", "--gateway", "", "--netmask",
                               "255.255.0.0", "--ip", "10.0.0.50", "--user", "admin", "--password-stdin"},
                              "admin\r\n");
    EXPECT_EQ(result.status, ExitOk) << result.err;
    const std::string query = "0 /:|flash get IP_ADDR|flash get SUBNET_MASK|flash get DEFAULT_GATEWAY|flash get DHCP";
    const std::vector<std::string> requests = device->Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(requests.begin() + 1, requests.end()),
              (std::vector<std::string>{query, query,
                                        "2 admin/admin:|flash set IP_ADDR 10.0.0.50|flash set SUBNET_MASK 255.255.0.0"
                                        "|flash set DEFAULT_GATEWAY 0.0.0.0|flash set DHCP 1"}));
    EXPECT_EQ(device->Destinations(), (std::vector<std::string>{"broadcast", "broadcast", "10.0.0.11", "10.0.0.11"}));
}

// Where every datagram this tool sent with `password` in its header went.
std::vector<std::string> PasswordDestinations(const FakeNetwork& network, const std::string& password)
{
    std::vector<std::string> to;
    for (const auto& datagram : network.SentLog()) {
        const auto& bytes = datagram.bytes;
        if (datagram.fromHost != ToolHost || bytes.size() < HeaderSize)
            continue;
        const char* field = reinterpret_cast<const char*>(bytes.data() + PacketHeader::OffsetPassword);
        if (std::string(field, strnlen(field, CredentialFieldSize)) == password)
            to.push_back(datagram.toHost);
    }
    return to;
}

// The password of set and reboot goes by unicast where the network allows
// it; else by broadcast after a warning on standard error, or, with
// --unicast-only, not at all (exit 9, the reason on standard error).
TEST_F(Ctl, ThePasswordGoesByUnicastWhereTheNetworkAllowsElseAfterAWarningOrNotAtAll)
{
    const std::string outside = "02:00:00:AA:00:01 is outside this computer's networks: its password ";
    const std::string deaf = "02:00:00:AA:00:01 does not answer by unicast: its password ";
    const std::string anyway = ". Run without --unicast-only to send it anyway.\n";
    struct Case {
        const char* name;
        const char* address; // the device's; 10.0.0.0/24 is the tool's network
        bool broadcastOnly;
        std::vector<const char*> args;
        int status;
        std::string err;
        std::vector<std::string> passwordTo;
        EventLoop::Millis took;
    };
    const std::vector<Case> cases = {
        {"inside: set", "10.0.0.11", false, {"set", "--ip", "10.0.0.50"}, ExitOk, "", {"10.0.0.11"}, 0},
        {"inside: reboot", "10.0.0.11", false, {"reboot"}, ExitOk, "", {"10.0.0.11"}, 2000},
        {"inside: set --unicast-only", "10.0.0.11", false, {"set", "--ip", "10.0.0.50", "--unicast-only"}, ExitOk,
         "", {"10.0.0.11"}, 0},
        {"outside: set", "192.168.7.20", false, {"set", "--ip", "10.0.0.50"}, ExitOk,
         "pemblorctl: warning: " + outside + "will be broadcast to every host on eth0.\n", {"255.255.255.255"}, 0},
        {"outside: set --unicast-only", "192.168.7.20", false, {"set", "--ip", "10.0.0.50", "--unicast-only"},
         ExitBroadcastRefused, outside + "would be broadcast to every host on eth0" + anyway, {}, 0},
        {"outside: reboot --unicast-only", "192.168.7.20", false, {"reboot", "--unicast-only"},
         ExitBroadcastRefused, outside + "would be broadcast to every host on eth0" + anyway, {}, 0},
        {"broadcast only: set", "10.0.0.11", true, {"set", "--ip", "10.0.0.50"}, ExitOk,
         "pemblorctl: warning: " + deaf + "will be broadcast to every host on eth0.\n", {"255.255.255.255"}, 1000},
        {"broadcast only: set --unicast-only", "10.0.0.11", true, {"set", "--ip", "10.0.0.50", "--unicast-only"},
         ExitBroadcastRefused, deaf + "would be broadcast to every host on eth0" + anyway, {}, 1000},
        {"broadcast only: reboot --wait --unicast-only", "10.0.0.11", true, {"reboot", "--wait", "--unicast-only"},
         ExitBroadcastRefused, deaf + "would be broadcast to every host on eth0" + anyway, {}, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeNetwork net;
        VirtualClock virtualClock([&net] { return net.Quiescent(); });
        EventLoop eventLoop(virtualClock);
        auto tool = net.NewLayer(ToolHost);
        auto list = net.InterfaceList(ToolHost);
        Agent agent = Device(1, c.address);
        agent.quirks.broadcastOnly = c.broadcastOnly;
        const auto device = pemblor::Start(net, eventLoop, agent);

        std::vector<const char*> args = {"pemblorctl", c.args[0], "02:00:00:AA:00:01", "--user", "admin",
                                         "--password-stdin"};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        std::ostringstream out, err;
        std::istringstream in("admin\n");
        CtlOptions options;
        ASSERT_FALSE(ParseCommandLine(static_cast<int>(args.size()), args.data(), options, out, err)) << err.str();
        CtlIo io{out, err, in, nullptr};
        SessionConfig config;
        config.interfaces = list.get();
        const EventLoop::Millis start = virtualClock.Now();
        EXPECT_EQ(RunCommand(options, *tool, eventLoop, io, std::move(config)), c.status);
        ExpectTook(virtualClock.Now() - start, c.took + Listing);
        EXPECT_EQ(err.str(), c.err);
        EXPECT_EQ(out.str().empty(), c.status != ExitOk) << out.str();
        EXPECT_EQ(PasswordDestinations(net, "admin"), c.passwordTo);
    }
}

// Two devices answer from one address: set learns it from the discovery it
// listens to first, as a listing would, and never sends the password there
// by unicast, where either of them may take it.
TEST_F(Ctl, APasswordForADeviceSharingItsAddressIsBroadcastOrHeldBack)
{
    const auto a = Start(Device(1, "10.0.0.11"));
    const auto b = Start(Device(2, "10.0.0.11"));
    const std::string shared = "02:00:00:AA:00:01 shares its address with another device: its password ";
    const Result held = Run({"set", "02:00:00:AA:00:01", "--ip", "10.0.0.50", "--user", "admin", "--password-stdin",
                             "--unicast-only"},
                            "admin\n");
    EXPECT_EQ(held.status, ExitBroadcastRefused);
    EXPECT_EQ(held.err, shared + "would be broadcast to every host on eth0. Run without --unicast-only to send it "
                                 "anyway.\n");
    const Result sent =
        Run({"set", "02:00:00:AA:00:01", "--ip", "10.0.0.50", "--user", "admin", "--password-stdin"}, "admin\n");
    EXPECT_EQ(sent.status, ExitOk);
    EXPECT_EQ(sent.err, "pemblorctl: warning: " + shared + "will be broadcast to every host on eth0.\n");
    EXPECT_EQ(PasswordDestinations(network, "admin"), std::vector<std::string>{"255.255.255.255"});
}

// set --unicast-only in JSON: the device as read, held back, and why.
TEST_F(Ctl, AHeldBackSetInJsonIsNeedsBroadcastWithTheReason)
{
    const auto device = Start(Device(1, "192.168.7.20"));
    const Result result = Run({"set", "02:00:00:AA:00:01", "--ip", "10.0.0.50", "--user", "admin", "--password-stdin",
                               "--unicast-only", "--format", "json"},
                              "admin\n");
    EXPECT_EQ(result.status, ExitBroadcastRefused);
    const auto object = nlohmann::json::parse(result.out);
    EXPECT_EQ(object["result"], "needs-broadcast");
    EXPECT_EQ(object["ip"], "192.168.7.20");
    EXPECT_EQ(object["after"], object["before"]);
    EXPECT_EQ(object["message"], "02:00:00:AA:00:01 is outside this computer's networks: its password would be "
                                 "broadcast to every host on eth0. Run without --unicast-only to send it anyway.");
    EXPECT_EQ(result.err, object["message"].get<std::string>() + "\n");
}

TEST_F(Ctl, PasswordComesFromThePromptWhenNoOptionGivesIt)
{
    const auto device = Start(Device(1, "10.0.0.11"));
    int asked = 0;
    prompt = [&](std::string&) -> std::optional<std::string> {
        ++asked;
        return "admin";
    };
    EXPECT_EQ(Run({"set", "02:00:00:AA:00:01", "--dhcp", "off", "--user", "admin"}).status, ExitOk);
    EXPECT_EQ(asked, 1);

    prompt = [](std::string& error) -> std::optional<std::string> {
        error = "no terminal";
        return std::nullopt;
    };
    const Result result = Run({"set", "02:00:00:AA:00:01", "--dhcp", "off", "--user", "admin"});
    EXPECT_EQ(result.status, ExitUsage);
    EXPECT_EQ(result.err, "pemblorctl: no terminal\n");

    const Result tooLong =
        Run({"set", "02:00:00:AA:00:01", "--dhcp", "off", "--user", "admin", "--password-stdin"},
            std::string(31, 'x'));
    EXPECT_EQ(tooLong.status, ExitUsage);
}

TEST_F(Ctl, RebootWaitFindsTheDeviceAtItsNewAddress)
{
    const auto device = Start(Device(1, "10.0.0.11"));
    ASSERT_EQ(Run({"set", "02:00:00:AA:00:01", "--ip", "10.0.0.50", "--user", "admin", "--password-stdin"}, "admin")
                  .status,
              ExitOk);
    const Result result =
        Run({"reboot", "02:00:00:AA:00:01", "--wait", "--user", "admin", "--password-stdin"}, "admin\n");
    EXPECT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.out, "10.0.0.50\n");
    // The device is back after 20 s; the first query goes out at 30 s.
    ExpectTook(result.took, Listing + 30000);
    EXPECT_NE(result.err.find("about one minute"), std::string::npos);
}

TEST_F(Ctl, RebootWaitOfADeviceNotSeenAgainGivesUpAfterTheDialogsNineQueries)
{
    Agent agent = Device(1, "10.0.0.11");
    agent.rebootTime = std::chrono::hours(1);
    const auto device = Start(agent);
    const Result result =
        Run({"reboot", "02:00:00:AA:00:01", "--wait", "--user", "admin", "--password-stdin"}, "admin\n");
    EXPECT_EQ(result.status, ExitTimeOut);
    ExpectTook(result.took, Listing + 30000 + 53000);
    EXPECT_NE(result.err.find("The device did not answer after restarting."), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("(query 9 of 9)"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
    // The discovery, the read, the question by unicast, the reboot and the
    // re-read's nine.
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 13u);
    EXPECT_EQ(sent[0], Bytes(BuildDiscoveryRequest()));
    EXPECT_EQ(sent[1], Bytes(BuildDetailQuery("02:00:00:AA:00:01")));
    EXPECT_EQ(sent[2], Bytes(BuildDetailQuery("02:00:00:AA:00:01")));
    EXPECT_EQ(sent[3], Bytes(BuildRebootRequest("02:00:00:AA:00:01", "admin", "admin")));
    for (std::size_t i = 4; i < sent.size(); ++i)
        EXPECT_EQ(sent[i], Bytes(BuildDetailQuery("02:00:00:AA:00:01")));
}

TEST_F(Ctl, RebootWaitTellsADeviceThatAnsweredOnlyFromItsOldAddress)
{
    Agent agent = Device(1, "10.0.0.11");
    agent.quirks.keepAddress = true;
    const auto device = Start(agent);
    const Result result = MoveAndRebootWaiting();
    EXPECT_EQ(result.status, ExitTimeOut);
    const auto object = nlohmann::json::parse(result.out);
    EXPECT_EQ(object["result"], "not-verified");
    EXPECT_EQ(object["ip"], "10.0.0.11");
    EXPECT_EQ(object["message"],
              "After restarting, the device answered only from its old address 10.0.0.11, not from its new address "
              "10.0.0.50: the change may not have taken effect.");
    ExpectTook(result.took, Listing + 30000 + 53000);
}

TEST_F(Ctl, RebootWaitInJsonIsVerifiedAtTheNewAddress)
{
    const auto device = Start(Device(1, "10.0.0.11"));
    const Result result = MoveAndRebootWaiting();
    EXPECT_EQ(result.status, ExitOk) << result.err;
    const auto object = nlohmann::json::parse(result.out);
    EXPECT_EQ(object["result"], "verified");
    EXPECT_EQ(object["ip"], "10.0.0.50");
    EXPECT_EQ(object["before"]["ip"], "10.0.0.50");
    EXPECT_EQ(object["after"]["ip"], "10.0.0.50");
    EXPECT_FALSE(object.contains("message"));
}

TEST_F(Ctl, RebootWithoutWaitWaitsTwoSecondsForARefusal)
{
    const auto device = Start(Device(1, "10.0.0.11"));
    const Result result = Run({"reboot", "02:00:00:AA:00:01", "--user", "admin", "--password-stdin"}, "admin\n");
    EXPECT_EQ(result.status, ExitOk);
    EXPECT_EQ(result.out, "Reboot sent to 02:00:00:AA:00:01.\n");
    ExpectTook(result.took, Listing + 2000);
    // After the discovery, where it answers from is learnt by the detail
    // query by broadcast, then it is asked there by unicast, and the reboot
    // follows it.
    EXPECT_EQ(Sent(), (Wire{Bytes(BuildDiscoveryRequest()), Bytes(BuildDetailQuery("02:00:00:AA:00:01")),
                            Bytes(BuildDetailQuery("02:00:00:AA:00:01")),
                            Bytes(BuildRebootRequest("02:00:00:AA:00:01", "admin", "admin"))}));
    EXPECT_EQ(device->Destinations(),
              (std::vector<std::string>{"broadcast", "broadcast", "10.0.0.11", "10.0.0.11"}));
}

// The device answers a reboot with a wrong password with result 1 and does
// not restart.
TEST_F(Ctl, RefusedRebootExitsThreeAndWaitsNoLonger)
{
    for (bool wait : {false, true}) {
        SCOPED_TRACE(wait ? "--wait" : "no wait");
        const auto device = Start(Device(1, "10.0.0.11"));
        const std::size_t sentBefore = Sent().size();
        std::vector<const char*> args = {"reboot", "02:00:00:AA:00:01", "--user", "admin", "--password-stdin"};
        if (wait)
            args.push_back("--wait");
        const Result result = Run(args, "guess\n");
        EXPECT_EQ(result.status, ExitRefused);
        EXPECT_TRUE(result.out.empty());
        EXPECT_EQ(result.err.substr(result.err.size() - std::string("Authentication Error!\n").size()),
                  "Authentication Error!\n");
        ExpectTook(result.took, Listing);
        // The discovery, the read (or, without --wait, the query for where it
        // answers), the question by unicast and the reboot; no query after
        // the refusal.
        EXPECT_EQ(Sent().size() - sentBefore, 4u);
    }
}

} // namespace
} // namespace pemblor
