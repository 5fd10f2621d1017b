// The way a device's credentials travel: the rule as known before any query,
// over the registry as the windows ask it, the texts the windows show, the
// unicast send, and the device job's question by unicast and its policies,
// against the simulator's access points on the fake network with the
// virtual clock.
#include "DiscoveryFixture.h"

#include "common/CredentialTexts.h"
#include "engine/CredentialRoute.h"
#include "engine/DeviceJob.h"
#include "engine/Transport.h"
#include "engine/UnicastProbe.h"
#include "tests/fakenet/FakeSocket.h"
#include "tests/support/SimAccessPoint.h"
#include "tools/apsim/LabAddress.h"

#include <cstring>

namespace pemblor::test {
namespace {

NetworkInterface Interface(const char* name, unsigned index, const char* address, const char* netmask)
{
    NetworkInterface made{name, index, 0, 0};
    ParseIpv4(address, made.address);
    ParseIpv4(netmask, made.netmask);
    return made;
}

TEST(CredentialRouteTest, WhatIsKnownBeforeAnyQuery)
{
    const NetworkInterface eth0 = Interface("eth0", 2, "198.18.0.1", "255.255.255.0");
    const NetworkInterface link = Interface("p2p", 5, "10.9.0.0", "255.255.255.254");
    struct Case {
        const char* name;
        const char* address;
        const NetworkInterface* answeredOn;
        bool shared;
        BroadcastReason reason;
    };
    const Case cases[] = {
        {"in its network", "198.18.0.20", &eth0, false, BroadcastReason::None},
        {"outside it (a factory address)", "192.168.1.254", &eth0, false, BroadcastReason::OutsideNetwork},
        {"the next network", "198.18.1.20", &eth0, false, BroadcastReason::OutsideNetwork},
        {"the network's own address", "198.18.0.0", &eth0, false, BroadcastReason::OutsideNetwork},
        {"its broadcast address", "198.18.0.255", &eth0, false, BroadcastReason::OutsideNetwork},
        {"no address", "", &eth0, false, BroadcastReason::OutsideNetwork},
        {"not an address", "198.18.0.x", &eth0, false, BroadcastReason::OutsideNetwork},
        {"the interface not known", "198.18.0.20", nullptr, false, BroadcastReason::OutsideNetwork},
        {"shared", "198.18.0.20", &eth0, true, BroadcastReason::SharedAddress},
        {"shared and outside: outside first", "198.18.1.20", &eth0, true, BroadcastReason::OutsideNetwork},
        {"a /31: both addresses are hosts", "10.9.0.1", &link, false, BroadcastReason::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CredentialRoute route = RouteBeforeQuery(c.address, c.answeredOn, c.shared);
        EXPECT_EQ(route.reason, c.reason);
        EXPECT_EQ(route.Unicast(), c.reason == BroadcastReason::None);
        EXPECT_EQ(route.address, c.address);
        EXPECT_EQ(route.interfaceName, c.answeredOn ? c.answeredOn->name : "");
        EXPECT_EQ(route.interfaceIndex, c.answeredOn ? c.answeredOn->index : 0u);
    }
}

// The probe asks where the device answers, then where a change moved it,
// each only where unicast can reach; with no answer, broadcast names the
// first it asked.
TEST(UnicastProbeTest, AsksEachAddressUnicastReachesInTurn)
{
    const NetworkInterface eth0 = Interface("eth0", 2, "198.18.0.1", "255.255.255.0");
    // Where it answers, where a change moved it, then the addresses asked.
    const std::vector<std::vector<std::string>> cases = {
        {"198.18.0.20", "198.18.0.50", "198.18.0.20", "198.18.0.50"},
        {"198.18.0.20", "198.18.0.020", "198.18.0.20"},
        {"198.18.5.20", "198.18.0.50", "198.18.0.50"},
        {"198.18.5.20", "198.18.5.50"},
    };
    for (const std::vector<std::string>& c : cases) {
        SCOPED_TRACE(c[0] + " moved to " + c[1]);
        UnicastProbe probe;
        std::optional<CredentialRoute> route = probe.Begin(c[0], c[1], &eth0, nullptr);
        for (std::size_t asked = 2; asked < c.size(); ++asked) {
            ASSERT_FALSE(route);
            EXPECT_EQ(probe.Asked().address, c[asked]);
            route = probe.Unanswered();
        }
        ASSERT_TRUE(route);
        const bool askedAny = c.size() > 2;
        EXPECT_EQ(route->reason, askedAny ? BroadcastReason::NoUnicastAnswer : BroadcastReason::OutsideNetwork);
        EXPECT_EQ(route->address, c[askedAny ? 2 : 0]);
    }
}

TEST(CredentialTextsTest, TheWindowsLines)
{
    const CredentialRoute inside{BroadcastReason::None, "198.18.1.12", "eth0", 2};
    CredentialRoute outside = inside;
    outside.reason = BroadcastReason::OutsideNetwork;
    CredentialRoute shared = inside;
    shared.reason = BroadcastReason::SharedAddress;
    EXPECT_EQ(RouteToolTipLine(inside), "by unicast to 198.18.1.12 on eth0, if it answers there");
    EXPECT_EQ(RouteToolTipLine(outside), "by broadcast on eth0: outside its network");
    EXPECT_EQ(RouteToolTipLine(shared), "by broadcast on eth0: shares its address");
    EXPECT_EQ(BroadcastWarningText("eth0"), "The password will be sent by broadcast: every computer on eth0 can read it.");
    EXPECT_EQ(AskBroadcastText("02:00:00:BB:00:01", "eth0"),
              "02:00:00:BB:00:01 does not answer by unicast. Send the password by broadcast? Every computer on eth0 "
              "can read it.");
    EXPECT_EQ(BroadcastWarningText(""),
              "The password will be sent by broadcast: every computer on this network segment can read it.");
    // Composed from the translated format, whatever its order.
    const auto german = [](const char* text) {
        return std::strcmp(text, "%1 does not answer by unicast. Send the password by broadcast? Every computer on "
                                 "%2 can read it.") == 0
                   ? std::string("Jeder Rechner an %2 kann es lesen: %1")
                   : std::string(text);
    };
    EXPECT_EQ(AskBroadcastText("AP", "eth0", german), "Jeder Rechner an eth0 kann es lesen: AP");
}

// The tool on 198.18.0.1/24 ("lan", eth0) with its interfaces listed.
class Listener final : public JobListener {
public:
    void JobBroadcastingCredentials(DeviceJob&, const CredentialRoute& route) override { routes.push_back(route); }
    void JobFinished(DeviceJob&, const JobReport& report) override { reports.push_back(report); }
    std::vector<CredentialRoute> routes;
    std::vector<JobReport> reports;
};

class CredentialsTest : public DiscoveryTest {
protected:
    void SetUp() override
    {
        DiscoveryTest::SetUp();
        SessionConfig config;
        config.interfaces = interfaces.get();
        ASSERT_TRUE(Open(std::move(config)).Ok());
        ASSERT_TRUE(session->StartReceiveThread());
        session->transport().RefreshInterfaces();
    }
    void TearDown() override
    {
        aps.clear();
        DiscoveryTest::TearDown();
    }

    static apsim::Quirks TakesChangesAtOnce()
    {
        apsim::Quirks quirks;
        quirks.applyImmediately = true;
        return quirks;
    }
    // A change of the address to `address` with the credentials, which go
    // as `policy` says.
    static JobPlan ChangeTo(const char* address, CredentialBroadcast policy)
    {
        JobPlan plan;
        plan.change = SettingsRequest{};
        plan.change->ipAddress = address;
        plan.credentials = {"admin", "secret"};
        plan.broadcast = policy;
        return plan;
    }
    // Device 1 is changed to `address` and rebooted, its credentials by
    // unicast only: the one report, after `ms`.
    JobReport MoveThenReboot(const char* address, EventLoop::Millis ms)
    {
        Listener told;
        DeviceJob job(session->transport(), ui, told, MacString(1));
        JobPlan plan = ChangeTo(address, CredentialBroadcast::Refuse);
        plan.reboot = true;
        EXPECT_TRUE(job.Start(plan));
        ui.Advance(ms);
        EXPECT_EQ(told.reports.size(), 1u);
        return told.reports.empty() ? JobReport{} : told.reports.back();
    }

    SimAccessPoint& Ap(std::uint8_t last, const char* address, apsim::Quirks quirks = {})
    {
        apsim::ApSettings settings;
        settings.ip = *apsim::ParseAddress(address);
        settings.mask = 0xFFFFFF00u;
        settings.mac = Mac(last);
        settings.pass = "secret";
        aps.push_back(std::make_unique<SimAccessPoint>(net, ui, settings, quirks, std::chrono::seconds(20)));
        return *aps.back();
    }
    std::vector<std::unique_ptr<SimAccessPoint>> aps;
};

// Discovery replies from each device, the way the table learns them.
TEST_F(CredentialsTest, TheSessionTellsEachListedDevicesRouteBeforeAnyQuery)
{
    TestAp inside(net, "198.18.0.20");
    TestAp sharing(net, "198.18.0.30");
    TestAp outside(net, "192.168.1.254");
    Discover();
    inside.Send(DiscoveryReply(1));
    sharing.Send(DiscoveryReply(2));
    sharing.Send(DiscoveryReply(3));
    outside.Send(DiscoveryReply(4));
    ui.Advance(10);
    ASSERT_EQ(session->registry().Size(), 4);
    const auto route = [this](std::uint8_t last) { return session->CredentialRouteOf(MacString(last)); };
    EXPECT_EQ(route(1), (CredentialRoute{BroadcastReason::None, "198.18.0.20", "eth0", route(1)->interfaceIndex}));
    EXPECT_NE(route(1)->interfaceIndex, 0u);
    EXPECT_EQ(route(2)->reason, BroadcastReason::SharedAddress);
    EXPECT_EQ(route(3)->reason, BroadcastReason::SharedAddress);
    EXPECT_EQ(route(4)->reason, BroadcastReason::OutsideNetwork);
    EXPECT_EQ(route(4)->interfaceName, "eth0");
    EXPECT_FALSE(route(9));
    // A job's own check against the listed devices.
    const auto shared = session->SharedAddressCheck(MacString(1));
    EXPECT_TRUE(shared("198.18.0.30"));
    EXPECT_FALSE(shared("198.18.0.20")) << "its own address";
    EXPECT_FALSE(shared("198.18.0.40"));
}

// A unicast reaches the one host that holds the address, out of the
// interface chosen; a failure names that interface.
TEST_F(CredentialsTest, AUnicastReachesItsHostAloneOutOfItsInterface)
{
    const auto listen = [this](const char* address) {
        auto layer = net.NewLayer(address);
        auto socket = layer->Open();
        EXPECT_TRUE(socket->Bind(DevicePort));
        return std::make_pair(std::move(layer), std::move(socket));
    };
    auto target = listen("198.18.0.20");
    auto neighbour = listen("198.18.0.21");
    Transport& transport = session->transport();
    const unsigned eth0 = transport.InterfaceNamed("eth0")->index;
    const Datagram datagram = BuildDetailQuery(MacString(1));
    const SendReport report = transport.SendUnicast(datagram, "198.18.0.20", eth0);
    EXPECT_TRUE(report.sent);
    EXPECT_EQ(report.sentOn, std::vector<unsigned>{eth0});
    const auto last = net.SentLog().back();
    EXPECT_EQ(last.toHost, "198.18.0.20");
    EXPECT_EQ(last.interfaceName, "eth0");
    ui.Advance(10);
    std::array<std::uint8_t, 512> buffer{};
    PeerAddress from;
    std::uint16_t port = 0;
    ASSERT_EQ(target.second->ReceiveFrom(buffer.data(), buffer.size(), from, port), static_cast<int>(datagram.size));
    EXPECT_EQ(static_cast<FakeSocket&>(*target.second).LastDestination(), "198.18.0.20");
    EXPECT_STREQ(from.text, kToolHost);
    neighbour.second->Close(); // nothing waited there: a receive would block

    net.SetInterfaceUp(kToolHost, "eth0", false);
    const SendReport failed = transport.SendUnicast(datagram, "198.18.0.20", eth0);
    EXPECT_FALSE(failed.sent);
    ASSERT_EQ(failed.failures.size(), 1u);
    EXPECT_EQ(failed.failures[0].interfaceName, "eth0");
    EXPECT_EQ(failed.failures[0].error, ENODEV);
}

// One read and change of a device, by each kind of device and each policy:
// how the password went, whom the job told, and how it ended.
TEST_F(CredentialsTest, TheChangeGoesByUnicastWhereItCanElseAsThePolicySays)
{
    using Reason = BroadcastReason;
    using Policy = CredentialBroadcast;
    struct Case {
        const char* name;
        const char* address;
        bool broadcastOnly;
        int sharedFrom; // the check says shared from its n-th call on (0: never)
        Policy policy;
        JobOutcome outcome;
        Reason reason;
        std::vector<std::string> passwordTo;
        EventLoop::Millis took;
    };
    const std::vector<Case> cases = {
        {"inside", "198.18.0.20", false, 0, Policy::Refuse, JobOutcome::Stored, Reason::None, {"198.18.0.20"}, 0},
        {"deaf to unicast", "198.18.0.20", true, 0, Policy::Allow, JobOutcome::Stored, Reason::NoUnicastAnswer,
         {"255.255.255.255"}, 1000},
        {"deaf, asked first", "198.18.0.20", true, 0, Policy::AskIfUnanswered, JobOutcome::NeedsBroadcast,
         Reason::NoUnicastAnswer, {}, 1000},
        {"deaf, refused", "198.18.0.20", true, 0, Policy::Refuse, JobOutcome::NeedsBroadcast, Reason::NoUnicastAnswer,
         {}, 1000},
        {"outside", "192.168.1.254", false, 0, Policy::AskIfUnanswered, JobOutcome::Stored, Reason::OutsideNetwork,
         {"255.255.255.255"}, 0},
        {"outside, refused", "192.168.1.254", false, 0, Policy::Refuse, JobOutcome::NeedsBroadcast,
         Reason::OutsideNetwork, {}, 0},
        {"shared", "198.18.0.20", false, 1, Policy::Allow, JobOutcome::Stored, Reason::SharedAddress,
         {"255.255.255.255"}, 0},
        {"shared, refused", "198.18.0.20", false, 1, Policy::Refuse, JobOutcome::NeedsBroadcast,
         Reason::SharedAddress, {}, 0},
        {"shared by one heard while it was asked", "198.18.0.20", false, 2, Policy::Allow, JobOutcome::Stored,
         Reason::SharedAddress, {"255.255.255.255"}, 0},
    };
    std::uint8_t last = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++last;
        aps.clear();
        apsim::Quirks quirks;
        quirks.broadcastOnly = c.broadcastOnly;
        Ap(last, c.address, quirks);
        const std::size_t sentBefore = PasswordTo().size();
        Listener told;
        DeviceJob job(session->transport(), ui, told, MacString(last));
        JobPlan plan = ChangeTo("198.18.0.99", c.policy);
        int calls = 0;
        if (c.sharedFrom > 0)
            plan.addressShared = [&calls, &c](std::string_view) { return ++calls >= c.sharedFrom; };
        const EventLoop::Millis start = ui.Now();
        ASSERT_TRUE(job.Start(plan));
        while (told.reports.empty() && ui.Now() < start + 20000)
            ui.Advance(10);
        ASSERT_EQ(told.reports.size(), 1u);
        const JobReport& report = told.reports[0];
        EXPECT_EQ(report.outcome, c.outcome);
        ASSERT_TRUE(report.route) << ResultName(report.outcome) << " " << report.address;
        EXPECT_EQ(report.route->reason, c.reason);
        EXPECT_EQ(report.route->address, c.address);
        EXPECT_EQ(report.route->interfaceName, "eth0");
        EXPECT_EQ(report.step, JobStep::Change);
        const std::vector<std::string> all = PasswordTo();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(sentBefore), all.end()), c.passwordTo);
        const bool broadcast = !c.passwordTo.empty() && c.passwordTo[0] == "255.255.255.255";
        EXPECT_EQ(told.routes.size(), broadcast ? 1u : 0u);
        if (broadcast) {
            EXPECT_EQ(told.routes[0], *report.route);
        }
        // The answers come at once: the change ends as it leaves, 10 ms steps.
        EXPECT_GE(ui.Now() - start, c.took);
        EXPECT_LE(ui.Now() - start, c.took + 20);
        if (c.outcome == JobOutcome::NeedsBroadcast) {
            EXPECT_EQ(report.after, report.before) << "nothing was changed";
        }
    }
}

// A send the kernel has no room for (its neighbour table full) is tried
// again every 250 ms for 6 s: the unicast query is asked again rather than
// given up for a broadcast, and the change still goes to the device alone.
TEST_F(CredentialsTest, ASendTheKernelHadNoRoomForIsTriedAgainNotBroadcast)
{
    struct Case {
        const char* name;
        int skip;  // sends that go out first: the job finds its device, asks it by unicast, then changes it
        int count; // how many are held back (-1: every one)
        JobOutcome outcome;
        std::vector<std::string> passwordTo;
        EventLoop::Millis took;
    };
    const std::vector<Case> cases = {
        {"finding it held back twice", 0, 2, JobOutcome::Stored, {"198.18.0.20"}, 500},
        {"unicast query held back three times", 1, 3, JobOutcome::Stored, {"198.18.0.20"}, 750},
        {"change never has room", 2, -1, JobOutcome::SendFailed, {}, 6000},
    };
    std::uint8_t last = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        aps.clear();
        Ap(++last, "198.18.0.20");
        const std::size_t sentBefore = PasswordTo().size();
        Listener told;
        DeviceJob job(session->transport(), ui, told, MacString(last));
        tool->InjectFailure(FakeOp::Send, ENOBUFS, c.skip, c.count);
        const EventLoop::Millis start = ui.Now();
        ASSERT_TRUE(job.Start(ChangeTo("198.18.0.99", CredentialBroadcast::Allow)));
        while (told.reports.empty() && ui.Now() < start + 20000)
            ui.Advance(10);
        tool->ClearFailures();
        ASSERT_EQ(told.reports.size(), 1u);
        EXPECT_EQ(told.reports[0].outcome, c.outcome);
        EXPECT_TRUE(told.routes.empty()) << "no broadcast announced";
        const std::vector<std::string> all = PasswordTo();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(sentBefore), all.end()), c.passwordTo);
        EXPECT_GE(ui.Now() - start, c.took);
        EXPECT_LE(ui.Now() - start, c.took + 20);
    }
}

// A device that takes a change at once answers from its new address: the
// reboot after it asks the old address, then the new one, and follows it.
TEST_F(CredentialsTest, TheRebootAfterAMoveAsksTheOldAddressThenTheNew)
{
    SimAccessPoint& device = Ap(1, "198.18.0.20", TakesChangesAtOnce());
    const JobReport report = MoveThenReboot("198.18.0.50", 4000);
    EXPECT_EQ(report.outcome, JobOutcome::RebootSent);
    ASSERT_TRUE(report.route);
    EXPECT_EQ(report.route->address, "198.18.0.50");
    EXPECT_EQ(PasswordTo(), (std::vector<std::string>{"198.18.0.20", "198.18.0.50"}));
    // Heard: the read, the question and the change at its old address; the
    // question there after the change goes unheard; then the new address.
    EXPECT_EQ(device.Destinations(), (std::vector<std::string>{"broadcast", "198.18.0.20", "198.18.0.20",
                                                          "198.18.0.50", "198.18.0.50"}));
}

// Moved outside the network at once, the device cannot be reached by unicast
// for its reboot: under Refuse the reboot is held back, and the change it
// took counts as made.
TEST_F(CredentialsTest, ARebootHeldBackAfterATakenChangeKeepsTheChange)
{
    Ap(1, "198.18.0.20", TakesChangesAtOnce());
    const JobReport report = MoveThenReboot("198.18.5.50", 3000);
    EXPECT_EQ(report.outcome, JobOutcome::NeedsBroadcast);
    EXPECT_EQ(report.step, JobStep::Reboot);
    ASSERT_TRUE(report.route);
    EXPECT_EQ(report.route->reason, BroadcastReason::NoUnicastAnswer);
    EXPECT_EQ(report.after->ipAddr, "198.18.5.50");
    EXPECT_EQ(PasswordTo(), std::vector<std::string>{"198.18.0.20"}) << "the change only";
}

// A plan without a read, for a device it has not heard: the detail query by
// broadcast tells where it answers, then it is asked there by unicast.
TEST_F(CredentialsTest, AJobThatDoesNotKnowItsDeviceFindsItFirst)
{
    SimAccessPoint& device = Ap(1, "198.18.0.20");
    Listener told;
    DeviceJob job(session->transport(), ui, told, MacString(1));
    JobPlan plan;
    plan.read = false;
    plan.reboot = true;
    plan.credentials = {"admin", "secret"};
    plan.broadcast = CredentialBroadcast::Allow;
    ASSERT_TRUE(job.Start(plan));
    ui.Advance(2500);
    ASSERT_EQ(told.reports.size(), 1u);
    EXPECT_EQ(told.reports[0].outcome, JobOutcome::RebootSent);
    EXPECT_EQ(device.Destinations(), (std::vector<std::string>{"broadcast", "198.18.0.20", "198.18.0.20"}));
    EXPECT_TRUE(told.routes.empty());
}

// An owner that has not chosen how credentials go: by broadcast, as every
// request goes, with nothing asked first and no one told.
TEST_F(CredentialsTest, WithoutAChoiceTheCredentialsGoByBroadcastAsBefore)
{
    SimAccessPoint& device = Ap(1, "198.18.0.20");
    Listener told;
    DeviceJob job(session->transport(), ui, told, MacString(1));
    JobPlan plan;
    plan.change = SettingsRequest{};
    plan.change->ipAddress = "198.18.0.99";
    plan.credentials = {"admin", "secret"};
    ASSERT_EQ(plan.broadcast, CredentialBroadcast::AlwaysBroadcast);
    ASSERT_TRUE(job.Start(plan));
    ui.Advance(100);
    ASSERT_EQ(told.reports.size(), 1u);
    EXPECT_EQ(told.reports[0].outcome, JobOutcome::Stored);
    EXPECT_FALSE(told.reports[0].route);
    EXPECT_TRUE(told.routes.empty());
    EXPECT_EQ(device.Destinations(), (std::vector<std::string>{"broadcast", "broadcast"}));
    EXPECT_EQ(PasswordTo(), std::vector<std::string>{"255.255.255.255"});
}

} // namespace
} // namespace pemblor::test
