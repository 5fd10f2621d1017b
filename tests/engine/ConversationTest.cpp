// The conversation engine on the fake network and the engine's fake
// dispatcher: every transition of the conversation state, grouped by
// conversation, and what the listener hears.
#include "ConversationFixture.h"

#include <cerrno>

namespace pemblor::test {
namespace {

using Texts = std::vector<std::string>;

// --- Receive thread start-up ------------------------------------------------

TEST_F(ConversationTest, OpensWithInitialFieldsAndNoThread)
{
    EXPECT_TRUE(Open().Ok());
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(conversation->State(), Idle);
    EXPECT_EQ(conversation->DeviceCount(), 0);
    EXPECT_FALSE(conversation->ThreadStarted());
    EXPECT_NE(g_hRecvSocket.load(), InvalidSocket);
}

TEST_F(ConversationTest, SecondDiscoverStartsNoSecondThread)
{
    int launches = 0;
    ConversationConfig config;
    config.launchThread = [&](std::thread& thread, std::function<void()> body) {
        ++launches;
        thread = std::thread(std::move(body));
        return true;
    };
    Open(std::move(config));
    Discover();
    ui.Advance(6000);
    Discover();
    ui.Advance(6000);
    EXPECT_EQ(launches, 1);
    EXPECT_TRUE(conversation->ThreadStarted());
}

TEST_F(ConversationTest, ThreadThatCannotBeCreatedIsReportedAndNothingIsSent)
{
    ConversationConfig config;
    config.launchThread = [](std::thread&, std::function<void()>) { return false; };
    Open(std::move(config));
    Discover();
    ui.Advance(10000);
    EXPECT_EQ(listener.Texts(), Texts{"receive-failed launch"});
    EXPECT_FALSE(conversation->ThreadStarted());
    EXPECT_EQ(SentOfType(TypeQuery), 0);
    EXPECT_FALSE(ui.TimerArmed());
    EXPECT_EQ(conversation->State(), Discovering);
}

TEST_F(ConversationTest, ThreadSocketStartupFailureEndsThreadAndDiscoveriesFindNothing)
{
    Open();
    tool->InjectFailure(FakeOp::StartupThread, 10093);
    Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    EXPECT_EQ(listener.Texts(), (Texts{"receive-failed startup", "ended 0"}));
    EXPECT_TRUE(conversation->ThreadStarted());
    Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    EXPECT_EQ(listener.Texts().back(), "ended 0");
    EXPECT_TRUE(listener.Rows().empty());
}

// --- The receive loop ---------------------------------------------------------

TEST_F(ConversationTest, RequestsEmptyAndFailedReceivesAreIgnored)
{
    Open();
    Discover();
    ap.Send(EncodeDatagram(TypeQuery, Mac(1), "", "", {"SSID=x"}));
    ap.Send(EncodeDatagram(TypeCommand, Mac(2), "u", "p", {"SSID=x"}));
    ap.SendBytes({});
    ap.SendBytes(std::vector<std::uint8_t>(8, 0xA1)); // shorter than the type field: type 0
    ap.SendBytes(std::vector<std::uint8_t>(ReceiveBufferSize + 1, 0)); // too big: the receive fails
    ap.Send(DiscoveryReply(3));
    ui.Advance(100);
    const auto rows = listener.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].mac, "02:00:00:00:00:03");
    EXPECT_EQ(rows[0].sender, kApHost);
    EXPECT_EQ(conversation->DeviceCount(), 1);
}

TEST_F(ConversationTest, OwnBroadcastsAreHeardAndIgnored)
{
    Open();
    Discover();
    ui.Advance(5000);
    EXPECT_GE(SentOfType(TypeQuery), 1);
    EXPECT_TRUE(listener.Rows().empty());
    EXPECT_EQ(listener.Texts(), Texts{"ended 0"});
}

// Only this process's own close ends its receive loop. A stop datagram from
// another host, from another copy on this host, or twelve bytes of type 4
// from anyone, used to end it, and every later Discover found nothing.
TEST_F(ConversationTest, StopDatagramsFromElsewhereAreIgnored)
{
    Open();
    Discover();
    ui.Advance(5000);
    TestAp otherCopy(net, kToolHost);
    const Datagram stop = BuildStopDatagram();
    ap.Send(stop, BroadcastAddress);
    otherCopy.Send(stop, BroadcastAddress);
    ap.SendBytes({0xA1, 0xB2, 0xC3, 0xD4, 0xA1, 0xB2, 0xC3, 0xD4, 0, 0, 0, 4});
    ap.SendBytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4});
    ui.Advance(10);
    Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    ASSERT_EQ(listener.Rows().size(), 1u);
    EXPECT_EQ(listener.Texts(), (Texts{"ended 0", "ended 1"}));
}

TEST_F(ConversationTest, DeadSocketBacksOffInsteadOfSpinning)
{
    std::mutex mutex;
    std::vector<long> delays;
    ConversationConfig config;
    config.backoffWait = [&](std::chrono::milliseconds delay) {
        std::lock_guard lock(mutex);
        delays.push_back(static_cast<long>(delay.count()));
        return delays.size() < 10;
    };
    Open(std::move(config));
    tool->InjectFailure(FakeOp::Receive, EBADF, 0, -1);
    Discover();
    ui.Advance(5000);
    conversation->StopReceiveThread();
    std::lock_guard lock(mutex);
    EXPECT_EQ(delays, (std::vector<long>{10, 20, 40, 80, 160, 320, 640, 1000, 1000, 1000}));
}

TEST_F(ConversationTest, NoReceiveSocketEndsTheThreadAtOnce)
{
    tool->InjectFailure(FakeOp::SetBroadcast, EINVAL, 1); // the receive socket's option
    const EndpointResult opened = Open();
    EXPECT_EQ(opened.failed, EndpointStep::BroadcastReceive);
    EXPECT_EQ(opened.error, EINVAL);
    EXPECT_EQ(g_hRecvSocket.load(), InvalidSocket);
    Discover();
    ap.Send(DiscoveryReply(1), BroadcastAddress);
    ui.Advance(5000);
    EXPECT_EQ(listener.Texts(), Texts{"ended 0"});
}

// --- Discovering ----------------------------------------------------------------

TEST_F(ConversationTest, DiscoveryTakesEveryReplyTypeAndEndsAtTheFirstTick)
{
    Open();
    Discover();
    ap.Send(DiscoveryReply(1));
    ap.Send(CommandReply(0)); // a command reply is a row while discovering
    ap.Send(DiscoveryReply(2, 77));
    ui.Advance(4999);
    EXPECT_EQ(conversation->State(), Discovering);
    EXPECT_TRUE(listener.events.empty());
    ui.Advance(1);
    EXPECT_EQ(conversation->State(), Idle);
    EXPECT_EQ(listener.Rows().size(), 3u);
    ASSERT_EQ(listener.Texts(), Texts{"ended 3"});
    EXPECT_EQ(listener.events[0].state, Idle) << "the state is Idle when the end is reported";
    // The timer stays armed; later ticks find Idle and only set it again.
    EXPECT_TRUE(ui.TimerArmed());
    ui.Advance(20000);
    EXPECT_EQ(listener.events.size(), 1u);
    ap.Send(DiscoveryReply(9)); // in Idle: dropped
    ui.Advance(10);
    EXPECT_EQ(listener.Rows().size(), 3u);
}

TEST_F(ConversationTest, FailedDiscoverySendIsEndedByTheStillRunningTimer)
{
    Open();
    Discover();
    ui.Advance(5000); // ended 0, timer keeps running
    tool->InjectFailure(FakeOp::Send, EACCES);
    ui.Advance(1000);
    Discover();
    EXPECT_EQ(conversation->State(), Discovering);
    ui.Advance(5000);
    EXPECT_EQ(conversation->State(), Idle);
    EXPECT_EQ(listener.Texts(), (Texts{"ended 0", "send-failed discovery 13", "ended 0"}));
    EXPECT_EQ(listener.events.back().time, 10000); // the tick of the earlier arming
    EXPECT_TRUE(ui.TimerArmed());
}

// --- Detail query -------------------------------------------------------------

class DetailTest : public ConversationTest {
protected:
    void SelectDevice()
    {
        Open();
        Discover();
        ui.Advance(5000);
        listener.events.clear();
        conversation->SelectDevice(MacString(1), target, "10.0.0.99");
        conversation->ExpectDetail();
        conversation->BeginDetailQuery();
    }
    void TearDown() override
    {
        if (conversation)
            conversation->ReleaseDevice();
        ConversationTest::TearDown();
    }
    TestTarget target;
};

TEST_F(DetailTest, ReplyIsStoredReportedAndDisarmsTheTimer)
{
    SelectDevice();
    const Datagram query = BuildDetailQuery(MacString(1));
    EXPECT_EQ(net.SentLog().back().bytes, std::vector<std::uint8_t>(query.view().begin(), query.view().end()));
    ap.Send(DetailReply(1));
    ui.Advance(10);
    EXPECT_EQ(conversation->State(), DetailReceived);
    EXPECT_EQ(target.Settings().at("IP_ADDR"), "10.0.0.2");
    EXPECT_EQ(target.Settings().at("DHCP"), "1");
    ASSERT_EQ(listener.Texts(), Texts{"detail"});
    EXPECT_EQ(listener.events[0].thread, std::this_thread::get_id());
    EXPECT_FALSE(ui.TimerArmed());
    EXPECT_EQ(conversation->ReleaseDevice(), kApHost);
    ui.Advance(10000);
    EXPECT_EQ(listener.events.size(), 1u);
}

TEST_F(DetailTest, ReplyWithoutEntriesStillSetsAddressAndState)
{
    SelectDevice();
    target.SetSetting("IP_ADDR", "1.2.3.4");
    ap.Send(EncodeDatagram(TypeQueryReply, Mac(1), "", "", {}));
    ui.Advance(10);
    EXPECT_EQ(conversation->State(), DetailReceived);
    EXPECT_EQ(target.Settings().at("IP_ADDR"), "1.2.3.4");
    EXPECT_EQ(listener.Texts(), Texts{"detail"});
    EXPECT_EQ(conversation->ReleaseDevice(), kApHost);
}

// Another person's Discover, or a second agent answering, used to be taken as
// the device's detail: another device's settings in the form and its address
// in the row. Only a reply carrying the device's MAC counts, and the others
// do not end the wait.
TEST_F(DetailTest, RepliesOfOtherDevicesAreIgnored)
{
    SelectDevice();
    TestAp other(net, "198.18.1.20");
    other.Send(DiscoveryReply(7));
    other.Send(DetailReply(7));
    other.Send(EncodeDatagram(TypeQueryReply, MacBytes{}, "", "", {"IP_ADDR=10.9.9.9"}));
    ui.Advance(10);
    EXPECT_EQ(conversation->State(), QueryingDetail);
    EXPECT_TRUE(target.Settings().empty());
    EXPECT_TRUE(listener.events.empty());
    EXPECT_TRUE(ui.TimerArmed());

    ap.Send(DetailReply(1));
    other.Send(DetailReply(7));
    ui.Advance(10);
    EXPECT_EQ(listener.Texts(), Texts{"detail"});
    EXPECT_EQ(target.Settings().at("DEFAULT_GATEWAY"), "10.0.0.1");
    EXPECT_EQ(conversation->ReleaseDevice(), kApHost);
}

TEST_F(DetailTest, OnlyOtherDevicesAnsweringIsATimeOut)
{
    SelectDevice();
    TestAp other(net, "198.18.1.20");
    ui.After(1000, [&] { other.Send(DetailReply(7)); });
    ui.Advance(5000);
    EXPECT_EQ(listener.Texts(), Texts{"timeout 2"});
    EXPECT_EQ(listener.events[0].state, Idle);
    EXPECT_EQ(conversation->State(), Idle);
    EXPECT_EQ(conversation->ReleaseDevice(), "10.0.0.99");
}

TEST_F(DetailTest, ReplyAfterTheDeviceWasReleasedIsIgnored)
{
    SelectDevice();
    conversation->ReleaseDevice();
    ap.Send(DetailReply(1));
    ui.Advance(10);
    EXPECT_EQ(conversation->State(), QueryingDetail);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_TRUE(target.Settings().empty());
    EXPECT_TRUE(ui.TimerArmed());
}

TEST_F(DetailTest, ReplyDuringAWaitOnTheUiThreadIsSeenAtOnce)
{
    SelectDevice();
    ui.After(2500, [&] { ap.Send(DetailReply(1)); });
    int checks = 0;
    while (conversation->State() != DetailReceived && checks < 10) {
        ui.WaitServing(1000);
        ++checks;
    }
    EXPECT_EQ(checks, 3);
    EXPECT_EQ(listener.Texts(), Texts{"detail"});
}

// A report may wait on the user-interface thread (a message box); the
// thread's calls are served meanwhile.
TEST_F(DetailTest, CallsFromTheThreadAreServedWhileAReportWaits)
{
    SelectDevice();
    listener.during = [&] {
        if (listener.events.size() == 1) {
            conversation->ExpectDetail();
            ui.After(1000, [&] { ap.Send(DetailReply(1)); });
            ui.WaitServing(3000);
        }
    };
    ui.Advance(5000);
    EXPECT_EQ(listener.Texts(), (Texts{"timeout 2", "detail"}));
    EXPECT_EQ(listener.events[1].time, listener.events[0].time + 1000) << "inside the report's wait";
}

TEST_F(DetailTest, SendFailureIsReportedAndArmsNoTimer)
{
    SelectDevice();
    conversation->DisarmTimer();
    tool->InjectFailure(FakeOp::Send, ENETDOWN);
    EXPECT_FALSE(conversation->BeginDetailQuery());
    EXPECT_EQ(listener.Texts(), Texts{"send-failed detail-query " + std::to_string(ENETDOWN)});
    EXPECT_FALSE(ui.TimerArmed());
}

// --- Settings change result ----------------------------------------------------

TEST_F(DetailTest, CommandResultIsReportedBeforeTheStateGoesIdle)
{
    struct Case {
        std::int8_t byte;
        const char* text;
    };
    for (const Case c : {Case{0, "result 0"}, Case{1, "result 1"}, Case{-1, "result -1"}, Case{5, "result 5"}}) {
        SelectDevice();
        listener.events.clear();
        EXPECT_TRUE(conversation->BeginSettingsChange("admin", "secret", {.ipAddress = "10.0.0.3"}));
        EXPECT_EQ(ui.TimerPeriod(), 10000);
        ap.Send(CommandReply(c.byte));
        ui.Advance(10);
        EXPECT_EQ(conversation->State(), Idle);
        ASSERT_EQ(listener.Texts(), Texts{c.text});
        EXPECT_EQ(listener.events[0].state, AwaitingSetResult);
        EXPECT_FALSE(ui.TimerArmed());
        conversation->ReleaseDevice();
        conversation.reset();
        g_hRecvSocket = InvalidSocket;
    }
}

// Only a type-3 reply of the device ends the wait: by its MAC, or, with a
// zero MAC, by the address the device answered from.
TEST_F(DetailTest, OnlyTheDevicesCommandReplyEndsTheWait)
{
    SelectDevice();
    ap.Send(DetailReply(1));
    ui.Advance(10);
    listener.events.clear();
    conversation->BeginSettingsChange("admin", "secret", {.dhcp = 0});
    TestAp other(net, "198.18.1.20");
    other.Send(CommandReply(0, Mac(7)));
    other.Send(CommandReply(0, MacBytes{}));
    ap.Send(DiscoveryReply(1));
    ap.Send(CommandReply(0, Mac(1), TypeQueryReply));
    ui.Advance(10);
    EXPECT_EQ(conversation->State(), AwaitingSetResult);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_TRUE(ui.TimerArmed());

    ap.Send(CommandReply(1, MacBytes{}));
    ui.Advance(10);
    EXPECT_EQ(listener.Texts(), Texts{"result 1"});
    EXPECT_EQ(conversation->State(), Idle);
}

TEST_F(DetailTest, NoResultTimesOut)
{
    SelectDevice();
    listener.events.clear();
    conversation->BeginSettingsChange("admin", "secret", {.dhcp = 1});
    ui.Advance(9999);
    EXPECT_TRUE(listener.events.empty());
    ui.Advance(1);
    EXPECT_EQ(listener.Texts(), Texts{"timeout 4"});
    EXPECT_EQ(conversation->State(), Idle);
}

// Without a selected device a request would carry the all-zero MAC, which
// every agent takes as its own: nothing is sent, and no reply is taken.
TEST_F(ConversationTest, WithoutASelectedDeviceNothingIsSentAndNoResultTaken)
{
    Open();
    Discover();
    ui.Advance(5000);
    listener.events.clear();
    const std::size_t sent = net.SentLog().size();
    EXPECT_FALSE(conversation->BeginDetailQuery());
    EXPECT_FALSE(conversation->SendReboot("admin", "secret"));
    EXPECT_FALSE(conversation->BeginSettingsChange("admin", "secret", {.dhcp = 1}));
    EXPECT_EQ(net.SentLog().size(), sent);
    const std::string error = std::to_string(EDESTADDRREQ);
    EXPECT_EQ(listener.Texts(), (Texts{"send-failed detail-query " + error, "send-failed reboot " + error,
                                       "send-failed settings-change " + error}));
    ap.Send(CommandReply(0));
    ui.Advance(10);
    EXPECT_EQ(conversation->State(), AwaitingSetResult);
    EXPECT_EQ(listener.events.size(), 3u);
}

TEST_F(ConversationTest, RepliesInIdleAndDetailReceivedAreDropped)
{
    Open();
    Discover();
    ui.Advance(5000);
    TestTarget target;
    conversation->SelectDevice(MacString(1), target, "");
    conversation->ReturnToIdle();
    ap.Send(DiscoveryReply(1));
    ap.Send(CommandReply(0));
    ui.Advance(10);
    EXPECT_EQ(conversation->State(), Idle);
    conversation->ExpectDetail();
    ap.Send(DetailReply(1));
    ui.Advance(10);
    ASSERT_EQ(conversation->State(), DetailReceived);
    ap.Send(DetailReply(1));
    ap.Send(CommandReply(0));
    ui.Advance(10);
    EXPECT_EQ(conversation->State(), DetailReceived);
    EXPECT_EQ(listener.Texts(), (Texts{"ended 0", "detail"}));
    EXPECT_TRUE(listener.Rows().empty());
    conversation->ReleaseDevice();
}

// --- Closing ----------------------------------------------------------------------

TEST_F(ConversationTest, ClosingBroadcastsTheStopDatagramThatEndsTheThread)
{
    Open();
    Discover();
    ui.Advance(5000);
    conversation->Close();
    EXPECT_EQ(conversation->State(), Closing);
    const auto sent = net.SentLog().back();
    const Datagram stop = BuildStopDatagram();
    EXPECT_EQ(sent.bytes, std::vector<std::uint8_t>(stop.data(), stop.data() + stop.size));
    EXPECT_EQ(sent.toHost, BroadcastAddress);
    EXPECT_EQ(sent.toPort, DevicePort);
    EXPECT_EQ(SentOfType(TypeStop), 1);
    conversation.reset(); // joins the thread: it heard the stop datagram
}

TEST_F(ConversationTest, LostStopDatagramDoesNotKeepTheThreadAlive)
{
    ConversationConfig config;
    config.stopTimeout = std::chrono::seconds(60);
    Open(std::move(config));
    Discover();
    ui.Advance(5000);
    tool->InjectFailure(FakeOp::Send, ENETUNREACH);
    conversation->Close();
    EXPECT_EQ(listener.Texts().back(), "send-failed stop 101");
    const auto start = std::chrono::steady_clock::now();
    conversation.reset(); // wakes the thread over loopback and joins it
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

} // namespace
} // namespace pemblor::test
