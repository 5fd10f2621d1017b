#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "engine/EventLoop.h"
#include "ctl/ExitCode.h"
#include "tests/fakenet/FakeNetwork.h"
#include "protocol/PacketHeader.h"
#include "tests/ctl/CtlRig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>
#include <unistd.h>

namespace pemblor {
namespace {

std::string Mac(std::uint8_t last)
{
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:AA:00:%02X", last);
    return text;
}

// `plan` and `apply` of pemblorctl on the fake network, with virtual time.
class FleetCtl : public CtlRig {
protected:
    // The kernel's neighbour table as `plan` reads it: no host resolved.
    FleetCtl() { neighbourTable = NeighbourTableWith("neighbours-" + std::to_string(::getpid()), ""); }

    // The devices 1 at 10.0.0.11 and 2 at 10.0.0.12.
    std::pair<std::unique_ptr<SimAccessPoint>, std::unique_ptr<SimAccessPoint>> StartTwo()
    {
        return {Start(Device(1, "10.0.0.11")), Start(Device(2, "10.0.0.12"))};
    }

    // Port-9 probes that left the tool's host, in order.
    std::vector<std::string> Probed() const
    {
        std::vector<std::string> probed;
        for (const auto& datagram : network.SentLog())
            if (datagram.fromHost == ToolHost && datagram.toPort == 9)
                probed.push_back(datagram.toHost);
        return probed;
    }

    // apply --reboot of `plan`, its outcomes in CSV.
    Result Apply(const std::string& plan)
    {
        return Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin", "--reboot", "--format", "csv"},
                   "admin\n");
    }

    static std::string NeighbourTableWith(const std::string& name, const std::string& lines)
    {
        const std::string path = ::testing::TempDir() + "/" + name;
        std::ofstream(path) << "IP address       HW type     Flags       HW address            Mask     Device\n"
                            << lines;
        return path;
    }
};

TEST_F(FleetCtl, PlanSkipsTheAddressesOfDevicesOutsideThePlanAndTheComputersOwn)
{
    const auto [a, b] = StartTwo();
    const auto other = Start(Device(3, "10.0.0.4"));

    const std::string second = Mac(2);
    const Result result = Run({"plan", "--from", "10.0.0.1", "--dhcp", "off", "--timeout", "1", second.c_str(),
                               "02:00:00:aa:00:01"});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.out, "mac,ip,netmask,gateway,dhcp\n"
                          "02:00:00:AA:00:02,10.0.0.2,,,off\n"
                          "02:00:00:AA:00:01,10.0.0.3,,,off\n");
    EXPECT_EQ(result.err, "pemblorctl: 10.0.0.1 skipped: this computer's address\n");
}

// On the devices' own link, plan probes the addresses it gives and skips
// one that another host (a printer) answers for; planned elsewhere, it
// probes nothing.
TEST_F(FleetCtl, PlanProbesItsAddressesAndSkipsAnotherHostsOne)
{
    const auto [a, b] = StartTwo();
    neighbourTable = NeighbourTableWith("printer", "10.0.0.51        0x1         0x2         3c:2a:f4:00:00:51     *        eth0\n"
                                                   "10.0.0.11        0x1         0x2         02:00:00:aa:00:01     *        eth0\n");

    const Result result = Run({"plan", "--from", "10.0.0.50", "--timeout", "1", Mac(1).c_str(), Mac(2).c_str()});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    EXPECT_EQ(result.out, "mac,ip,netmask,gateway,dhcp\n"
                          "02:00:00:AA:00:01,10.0.0.50,,,\n"
                          "02:00:00:AA:00:02,10.0.0.52,,,\n");
    EXPECT_EQ(result.err, "pemblorctl: 10.0.0.51 skipped: held by another host (3C:2A:F4:00:00:51)\n");
    EXPECT_EQ(Probed(), (std::vector<std::string>{"10.0.0.50", "10.0.0.51", "10.0.0.52"}));

    const std::size_t before = Probed().size();
    const Result elsewhere =
        Run({"plan", "--from", "172.16.0.10", "--netmask", "255.255.255.0", "--gateway", "172.16.0.1", "--timeout", "1",
             Mac(1).c_str()});
    ASSERT_EQ(elsewhere.status, ExitOk) << elsewhere.err;
    EXPECT_EQ(Probed().size(), before);
}

TEST_F(FleetCtl, PlanSaysWhyItCannotPlanAndExitsOne)
{
    const auto [a, b] = StartTwo();
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
        const std::size_t before = Sent().size();
        std::vector<const char*> args{"plan", "--timeout", "1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(first.c_str());
        args.push_back(second.c_str());
        const Result result = Run(args);
        EXPECT_EQ(result.status, ExitUsage);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(Sent().size() > before, c.discovers);
    }
}

TEST_F(FleetCtl, BadFormatOrTimeOutIsNamedInWords)
{
    struct Case {
        std::vector<const char*> args;
        const char* starts;
    };
    const std::vector<Case> cases{
        {{"plan", "--from", "10.0.0.5", "--format", "xml", "02:00:00:AA:00:01"}, "pemblorctl: --format must be"},
        {{"plan", "--from", "10.0.0.5", "--timeout", "0", "02:00:00:AA:00:01"}, "pemblorctl: --timeout must be"},
        {{"apply", "plan.csv", "--user", "admin", "--format", "7"}, "pemblorctl: --format must be"},
        {{"plan", "02:00:00:AA:00:01"}, "pemblorctl: --from is required"},
    };
    for (const Case& c : cases) {
        const Result result = Run(c.args);
        EXPECT_EQ(result.status, ExitUsage);
        EXPECT_EQ(result.err.rfind(c.starts, 0), 0u) << result.err;
    }
    EXPECT_EQ(Sent().size(), 0u);
}

TEST_F(FleetCtl, PlanAsJsonAndTable)
{
    const auto a = Start(Device(1, "10.0.0.11"));
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

// A plan file in the test's temporary directory.
std::string PlanFileWith(const std::string& name, const std::string& text)
{
    const std::string path = ::testing::TempDir() + "/" + name;
    std::ofstream(path) << text;
    return path;
}

// A plan file of `rows` under the plan's header.
std::string PlanOf(const std::string& name, const std::string& rows)
{
    return PlanFileWith(name, "mac,ip,netmask,gateway,dhcp\n" + rows);
}

int Commands(const SimAccessPoint& agent)
{
    int commands = 0;
    for (const std::string& request : agent.Requests())
        commands += request.rfind("2 ", 0) == 0;
    return commands;
}

TEST_F(FleetCtl, ApplyRebootsVerifiesAndASecondApplySendsNothing)
{
    const auto [moving, holding] = StartTwo();
    const std::string plan = PlanOf("apply.csv", "02:00:00:AA:00:01,10.0.0.50,,,off\n"
                                                 "02:00:00:AA:00:02,10.0.0.12,255.255.255.0,10.0.0.254,\n");
    const Result first = Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin", "--reboot", "--format",
                              "json"},
                             "admin\n");
    ASSERT_EQ(first.status, ExitOk) << first.err;
    EXPECT_EQ(first.out,
              "{\"mac\":\"02:00:00:AA:00:02\",\"result\":\"unchanged\",\"ip\":\"10.0.0.12\","
              "\"before\":{\"ip\":\"10.0.0.12\",\"netmask\":\"255.255.255.0\",\"gateway\":\"10.0.0.254\",\"dhcp\":false},"
              "\"after\":{\"ip\":\"10.0.0.12\",\"netmask\":\"255.255.255.0\",\"gateway\":\"10.0.0.254\",\"dhcp\":false}}\n"
              "{\"mac\":\"02:00:00:AA:00:01\",\"result\":\"verified\",\"ip\":\"10.0.0.50\","
              "\"before\":{\"ip\":\"10.0.0.11\",\"netmask\":\"255.255.255.0\",\"gateway\":\"10.0.0.254\",\"dhcp\":false},"
              "\"after\":{\"ip\":\"10.0.0.50\",\"netmask\":\"255.255.255.0\",\"gateway\":\"10.0.0.254\",\"dhcp\":false}}\n");
    EXPECT_NE(first.err.find("02:00:00:AA:00:01: rebooting"), std::string::npos) << first.err;
    EXPECT_EQ(Commands(*moving), 2); // the change and the reboot
    EXPECT_EQ(Commands(*holding), 0);

    const Result second = Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin", "--reboot"}, "admin\n");
    ASSERT_EQ(second.status, ExitOk) << second.err;
    // In the order the devices answer.
    EXPECT_EQ(second.out.rfind("MAC ADDRESS       RESULT               IP ADDRESS      MESSAGE\n", 0), 0u);
    EXPECT_NE(second.out.find("02:00:00:AA:00:01 unchanged            10.0.0.50\n"), std::string::npos);
    EXPECT_NE(second.out.find("02:00:00:AA:00:02 unchanged            10.0.0.12\n"), std::string::npos);
    EXPECT_EQ(Commands(*moving), 2);
}

TEST_F(FleetCtl, ApplyDryRunReadsAndSendsNoCommand)
{
    const auto [a, b] = StartTwo();
    const std::string plan = PlanOf("dry.csv", "02:00:00:AA:00:01,10.0.0.50,,,\n"
                                               "02:00:00:AA:00:02,10.0.0.12,,,\n");
    const Result result = Run({"apply", plan.c_str(), "--user", "admin", "--dry-run", "--format", "csv"});
    ASSERT_EQ(result.status, ExitOk) << result.err;
    EXPECT_NE(result.out.find("02:00:00:AA:00:01,would-change,10.0.0.11,10.0.0.11,"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("02:00:00:AA:00:02,unchanged,10.0.0.12,"), std::string::npos) << result.out;
    EXPECT_EQ(Commands(*a) + Commands(*b), 0);
}

TEST_F(FleetCtl, ApplyNamesEveryFailureAndExitsEight)
{
    Agent refusing = Device(2, "10.0.0.12");
    refusing.settings.pass = "other";
    const auto a = Start(Device(1, "10.0.0.11"));
    const auto b = Start(refusing);
    const std::string plan = PlanOf("mixed.csv", "02:00:00:AA:00:01,10.0.0.51,,,\n"
                                                 "02:00:00:AA:00:02,10.0.0.52,,,\n"
                                                 "02:00:00:AA:00:03,10.0.0.53,,,\n"
                                                 "02:00:00:AA:00:04,10.0.0.300,,,\n");
    const Result result = Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin"}, "admin\n");
    EXPECT_EQ(result.status, ExitNotAllDone) << result.err;
    EXPECT_NE(result.out.find("02:00:00:AA:00:04 invalid              -               Invalid IP Address!"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("02:00:00:AA:00:01 stored               10.0.0.11"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("02:00:00:AA:00:02 authentication-error 10.0.0.12       Authentication Error!"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("02:00:00:AA:00:03 not-found"), std::string::npos) << result.out;
}

// A hand-edited swap would leave two devices on one address part-way: the
// plan is refused once both are read, naming them, and nothing is sent.
TEST_F(FleetCtl, ApplyRefusesAPlanThatPutsADeviceWhereAnotherAnswersNow)
{
    const auto [a, b] = StartTwo();
    const auto c = Start(Device(3, "10.0.0.13"));
    const std::string plan = PlanOf("swap.csv", "02:00:00:AA:00:03,10.0.0.60,,,\n"
                                                "02:00:00:AA:00:01,10.0.0.12,,,\n"
                                                "02:00:00:AA:00:02,10.0.0.11,,,\n");
    const Result result = Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin", "--reboot"}, "admin\n");
    EXPECT_EQ(result.status, ExitUsage) << result.err;
    EXPECT_NE(result.err.find("pemblorctl: The plan puts 02:00:00:AA:00:01 on 10.0.0.12, where 02:00:00:AA:00:02 "
                              "answers now; nothing was changed.\n"),
              std::string::npos)
        << result.err;
    for (const char* mac : {"02:00:00:AA:00:01", "02:00:00:AA:00:02", "02:00:00:AA:00:03"})
        EXPECT_NE(result.out.find(std::string(mac) + " invalid"), std::string::npos) << result.out;
    EXPECT_EQ(Commands(*a) + Commands(*b) + Commands(*c), 0);
}

// Under a reboot a device moves onto the address of another device of the
// plan only once that one was verified elsewhere; when it was not, the
// device waiting for it is sent nothing. (A swap is still refused:
// ApplyRefusesAPlanThatPutsADeviceWhereAnotherAnswersNow.)
TEST_F(FleetCtl, ApplyRebootMovesAChainInOrderAndNeverOntoADeviceThatStayed)
{
    const auto [a, b] = StartTwo();
    const auto c = Start(Device(3, "10.0.0.13"));
    Agent stays = Device(4, "10.0.0.14");
    stays.quirks.neverReturn = true;
    const auto d = Start(stays);
    const Result chain = Apply(PlanOf("chain.csv", "02:00:00:AA:00:01,10.0.0.12,,,\n02:00:00:AA:00:02,10.0.0.13,,,\n"
                                                   "02:00:00:AA:00:03,10.0.0.60,,,\n"));
    ASSERT_EQ(chain.status, ExitOk) << chain.err;
    const std::size_t third = chain.out.find("02:00:00:AA:00:03,verified,10.0.0.60");
    EXPECT_LT(third, chain.out.find("02:00:00:AA:00:02,verified,10.0.0.13")) << chain.out;
    EXPECT_LT(chain.out.find("02:00:00:AA:00:02,verified"), chain.out.find("02:00:00:AA:00:01,verified,10.0.0.12"));

    const Result stuck = Apply(PlanOf("stuck.csv", "02:00:00:AA:00:02,10.0.0.14,,,\n02:00:00:AA:00:04,10.0.0.70,,,\n"));
    EXPECT_EQ(stuck.status, ExitNotAllDone) << stuck.err;
    EXPECT_NE(stuck.out.find("02:00:00:AA:00:02,invalid,10.0.0.13,"), std::string::npos) << stuck.out;
    EXPECT_NE(stuck.out.find("Not changed: 02:00:00:AA:00:04 was not seen leaving 10.0.0.14."), std::string::npos);
    EXPECT_EQ(Commands(*b), 2); // the first plan's change and reboot only
}

// One password for a device in the tool's network (10.0.0.0/24) and one
// outside it: the first goes by unicast, the second by broadcast after a
// warning that names it; with --unicast-only the second is not sent it and
// ends needs-broadcast, the others go on, and apply exits 8.
TEST_F(FleetCtl, ApplyBroadcastsThePasswordOnlyWhereItMustAndNeverWithUnicastOnly)
{
    Agent first = Device(1, "10.0.0.11");
    Agent second = Device(2, "192.168.7.20");
    first.settings.pass = second.settings.pass = "secret";
    const auto inside = Start(first);
    const auto outside = Start(second);
    const std::string plan = PlanOf("mix.csv", "02:00:00:AA:00:01,10.0.0.51,,,\n"
                                               "02:00:00:AA:00:02,10.0.0.52,,,\n");
    const auto passwordTo = [this] {
        std::vector<std::string> to;
        for (const auto& datagram : network.SentLog())
            if (datagram.fromHost == ToolHost && datagram.bytes.size() >= HeaderSize &&
                std::string(reinterpret_cast<const char*>(datagram.bytes.data()) + PacketHeader::OffsetPassword) ==
                    "secret")
                to.push_back(datagram.toHost);
        return to;
    };
    const std::string reason = "02:00:00:AA:00:02 is outside this computer's networks: its password ";

    const Result refused = Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin", "--unicast-only",
                                "--format", "json"},
                               "secret\n");
    EXPECT_EQ(refused.status, ExitNotAllDone) << refused.err;
    std::map<std::string, nlohmann::json> outcomes;
    std::istringstream lines(refused.out);
    for (std::string line; std::getline(lines, line);) {
        const auto object = nlohmann::json::parse(line);
        outcomes[object["mac"]] = object;
    }
    ASSERT_EQ(outcomes.size(), 2u) << refused.out;
    EXPECT_EQ(outcomes[Mac(1)]["result"], "stored");
    EXPECT_EQ(outcomes[Mac(2)]["result"], "needs-broadcast");
    EXPECT_EQ(outcomes[Mac(2)]["message"],
              reason + "would be broadcast to every host on eth0. Run without --unicast-only to send it anyway.");
    EXPECT_EQ(outcomes[Mac(2)]["after"], outcomes[Mac(2)]["before"]);
    EXPECT_EQ(refused.err.find("warning"), std::string::npos) << refused.err;
    EXPECT_EQ(passwordTo(), std::vector<std::string>{"10.0.0.11"});
    EXPECT_EQ(Commands(*outside), 0);

    const Result sent = Run({"apply", plan.c_str(), "--user", "admin", "--password-stdin"}, "secret\n");
    EXPECT_EQ(sent.status, ExitOk) << sent.err;
    EXPECT_NE(sent.out.find("02:00:00:AA:00:01 unchanged"), std::string::npos) << sent.out;
    EXPECT_NE(sent.out.find("02:00:00:AA:00:02 stored"), std::string::npos) << sent.out;
    const std::string warning = "pemblorctl: warning: " + reason + "will be broadcast to every host on eth0.\n";
    EXPECT_NE(sent.err.find(warning), std::string::npos) << sent.err;
    EXPECT_EQ(sent.err.find("warning"), sent.err.rfind("warning")) << "one warning, for the outside device";
    EXPECT_EQ(passwordTo(), (std::vector<std::string>{"10.0.0.11", "255.255.255.255"}));
}

TEST_F(FleetCtl, ApplyRefusesAFileThatIsNoPlanBeforeTouchingTheNetwork)
{
    const std::string wrong = PlanFileWith("wrong.csv", "mac,address\n02:00:00:AA:00:01,10.0.0.5\n");
    const std::string empty = PlanFileWith("empty.csv", "mac,ip,netmask,gateway,dhcp\n");
    struct Case {
        std::string path;
        const char* err;
    };
    for (const Case& c : {Case{wrong, "line 1 is not the plan's header mac,ip,netmask,gateway,dhcp"},
                          Case{empty, "the plan has no devices"}, Case{wrong + ".missing", "cannot read the plan"}}) {
        const Result result = Run({"apply", c.path.c_str(), "--user", "admin", "--dry-run"});
        EXPECT_EQ(result.status, ExitUsage);
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    }
    EXPECT_EQ(Sent().size(), 0u);
}

TEST_F(FleetCtl, ApplyStoppedByTheUserSaysSoAndExitsEight)
{
    const auto a = Start(Device(1, "10.0.0.11"));
    const std::string plan = PlanOf("stop.csv", "02:00:00:AA:00:01,10.0.0.51,,,\n");
    std::atomic<bool> stop{true};
    interrupted = &stop;
    const Result result = Run({"apply", plan.c_str(), "--user", "admin", "--dry-run"});
    EXPECT_EQ(result.status, ExitNotAllDone);
    EXPECT_NE(result.err.find("pemblorctl: stopped"), std::string::npos) << result.err;
}

} // namespace
} // namespace pemblor
