// The session's discovery on the fake network and the engine's fake
// dispatcher: every transition of the state, the receive loop, closing, what
// the listener hears and how the registry tells its batches.
#include "DiscoveryFixture.h"

#include "engine/DeviceJob.h"

#include <cerrno>

namespace pemblor::test {
namespace {

using Texts = std::vector<std::string>;

// --- Receive thread start-up ------------------------------------------------

TEST_F(DiscoveryTest, OpensWithInitialFieldsAndNoThread)
{
    EXPECT_TRUE(Open().Ok());
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(discovery().State(), Idle);
    EXPECT_EQ(discovery().DeviceCount(), 0);
    EXPECT_FALSE(session->transport().ThreadStarted());
    EXPECT_NE(g_hRecvSocket.load(), InvalidSocket);
}

TEST_F(DiscoveryTest, SecondDiscoverStartsNoSecondThread)
{
    int launches = 0;
    SessionConfig config;
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
    EXPECT_TRUE(session->transport().ThreadStarted());
}

TEST_F(DiscoveryTest, ThreadThatCannotBeCreatedIsReportedAndNothingIsSent)
{
    SessionConfig config;
    config.launchThread = [](std::thread&, std::function<void()>) { return false; };
    Open(std::move(config));
    Discover();
    ui.Advance(10000);
    EXPECT_EQ(listener.Texts(), Texts{"receive-failed launch"});
    EXPECT_FALSE(session->transport().ThreadStarted());
    EXPECT_EQ(SentOfType(TypeQuery), 0);
    EXPECT_FALSE(ui.TimerArmed());
    EXPECT_EQ(discovery().State(), Discovering);
}

TEST_F(DiscoveryTest, ThreadSocketStartupFailureEndsThreadAndDiscoveriesFindNothing)
{
    Open();
    tool->InjectFailure(FakeOp::StartupThread, 10093);
    Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    EXPECT_EQ(listener.Texts(), (Texts{"receive-failed startup", "ended 0"}));
    EXPECT_TRUE(session->transport().ThreadStarted());
    Discover();
    ap.Send(DiscoveryReply(1));
    ui.Advance(5000);
    EXPECT_EQ(listener.Texts().back(), "ended 0");
    EXPECT_TRUE(listener.Rows().empty());
}

// --- The receive loop ---------------------------------------------------------

TEST_F(DiscoveryTest, RequestsEmptyAndFailedReceivesAreIgnored)
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
    EXPECT_EQ(discovery().DeviceCount(), 1);
}

TEST_F(DiscoveryTest, OwnBroadcastsAreHeardAndIgnored)
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
TEST_F(DiscoveryTest, StopDatagramsFromElsewhereAreIgnored)
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

TEST_F(DiscoveryTest, DeadSocketBacksOffInsteadOfSpinning)
{
    std::mutex mutex;
    std::vector<long> delays;
    SessionConfig config;
    config.backoffWait = [&](std::chrono::milliseconds delay) {
        std::lock_guard lock(mutex);
        delays.push_back(static_cast<long>(delay.count()));
        return delays.size() < 10;
    };
    Open(std::move(config));
    tool->InjectFailure(FakeOp::Receive, EBADF, 0, -1);
    Discover();
    ui.Advance(5000);
    session->StopReceiveThread();
    std::lock_guard lock(mutex);
    EXPECT_EQ(delays, (std::vector<long>{10, 20, 40, 80, 160, 320, 640, 1000, 1000, 1000}));
}

TEST_F(DiscoveryTest, NoReceiveSocketEndsTheThreadAtOnce)
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

TEST_F(DiscoveryTest, DiscoveryTakesEveryReplyTypeAndEndsAtTheFirstTick)
{
    Open();
    Discover();
    ap.Send(DiscoveryReply(1));
    ap.Send(CommandReply(0, Mac(3))); // a command reply is a row while discovering
    ap.Send(DiscoveryReply(2, 77));
    ui.Advance(4999);
    EXPECT_EQ(discovery().State(), Discovering);
    EXPECT_TRUE(listener.events.empty());
    ui.Advance(1);
    EXPECT_EQ(discovery().State(), Idle);
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

TEST_F(DiscoveryTest, FailedDiscoverySendIsEndedByTheStillRunningTimer)
{
    Open();
    Discover();
    ui.Advance(5000); // ended 0, timer keeps running
    tool->InjectFailure(FakeOp::Send, EACCES);
    ui.Advance(1000);
    Discover();
    EXPECT_EQ(discovery().State(), Discovering);
    ui.Advance(5000);
    EXPECT_EQ(discovery().State(), Idle);
    EXPECT_EQ(listener.Texts(), (Texts{"ended 0", "send-failed discovery 13", "ended 0"}));
    EXPECT_EQ(listener.events.back().time, 10000); // the tick of the earlier arming
    EXPECT_TRUE(ui.TimerArmed());
}

// --- Reports that wait ---------------------------------------------------------

class JobEnds final : public JobListener {
public:
    explicit JobEnds(EventLoop& ui) : m_ui(ui) {}
    void JobFinished(DeviceJob&, const JobReport& report) override { ends.push_back({report, m_ui.Now()}); }
    struct End {
        JobReport report;
        EventLoop::Millis time;
    };
    std::vector<End> ends;

private:
    EventLoop& m_ui;
};

// A report may wait on the user-interface thread (a message box); the
// receive thread's calls are served meanwhile, so a job on the same
// transport hears its device inside the wait.
TEST_F(DiscoveryTest, CallsFromTheThreadAreServedWhileAReportWaits)
{
    Open();
    JobEnds jobs(ui);
    DeviceJob job(session->transport(), ui, jobs, MacString(1));
    listener.during = [&] {
        ASSERT_TRUE(job.Start(JobPlan{}));
        ui.After(1000, [&] { ap.Send(DetailReply(1)); });
        ui.WaitServing(3000);
    };
    Discover();
    ui.Advance(5000);
    EXPECT_EQ(listener.Texts(), Texts{"ended 0"});
    ASSERT_EQ(jobs.ends.size(), 1u);
    EXPECT_EQ(jobs.ends[0].report.outcome, JobOutcome::Unchanged);
    EXPECT_EQ(jobs.ends[0].time, listener.events[0].time + 1000) << "inside the report's wait";
    job.Stop();
}

TEST_F(DiscoveryTest, RepliesInIdleAreDropped)
{
    Open();
    Discover();
    ui.Advance(5000);
    discovery().ReturnToIdle();
    ap.Send(DiscoveryReply(1));
    ap.Send(CommandReply(0));
    ap.Send(DetailReply(1));
    ui.Advance(10);
    EXPECT_EQ(discovery().State(), Idle);
    EXPECT_EQ(listener.Texts(), (Texts{"ended 0"}));
    EXPECT_TRUE(listener.Rows().empty());
}

// --- The registry's batches ------------------------------------------------------

// Replies that arrive before the user-interface thread runs the batch are
// told together, once, each device once; a later reply of a known device is
// a batch of its own that adds nothing.
TEST_F(DiscoveryTest, RepliesBeforeTheBatchRunsAreToldTogetherOnce)
{
    Open();
    Discover();
    TestAp other(net, "198.18.1.20");
    for (const std::uint8_t last : {std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{3}}) {
        ap.Send(DiscoveryReply(last));
        other.Send(DiscoveryReply(static_cast<std::uint8_t>(last + 10)));
    }
    ap.Send(DiscoveryReply(2));
    UntilTaken(6);
    EXPECT_TRUE(listener.batches.empty()) << "told only on the user-interface thread";
    ui.Advance(0);
    ASSERT_EQ(listener.batches.size(), 1u);
    EXPECT_EQ(listener.batches[0], (Recorder::Batch{0, 6, {0, 1, 2, 3, 4, 5}}));
    EXPECT_EQ(discovery().DeviceCount(), 6);

    // A front end that stops listening has the batch told at once; its
    // posted call then finds nothing to tell.
    other.Send(DiscoveryReply(12));
    UntilTaken(6);
    session->registry().Flush();
    ASSERT_EQ(listener.batches.size(), 2u);
    ui.Advance(0);
    ASSERT_EQ(listener.batches.size(), 2u);
    const int known = *session->registry().Find(Mac(12));
    EXPECT_EQ(listener.batches[1], (Recorder::Batch{6, 6, {known}}));
    EXPECT_EQ(discovery().DeviceCount(), 6);
}

// A new cycle clears the registry before its batch has run: no device of the
// earlier cycle reaches a listener, and the numbering starts again.
TEST_F(DiscoveryTest, ClearDropsTheChangesNotYetTold)
{
    Open();
    Discover();
    ap.Send(DiscoveryReply(1));
    ap.Send(DiscoveryReply(2));
    UntilTaken(2);
    Discover();
    ui.Advance(0);
    EXPECT_TRUE(listener.batches.empty());
    ap.Send(DiscoveryReply(2));
    UntilTaken(1);
    ui.Advance(0);
    ASSERT_EQ(listener.batches.size(), 1u);
    EXPECT_EQ(listener.batches[0], (Recorder::Batch{0, 1, {0}}));
    ASSERT_EQ(listener.Rows().size(), 1u);
    EXPECT_EQ(listener.Rows()[0].mac, MacString(2));
}

// A quiet round keeps the registry: its replies change the known records
// and are told as changes of them, the new device after them. Its end is
// told like any other, marked quiet until the next cycle begins.
TEST_F(DiscoveryTest, QuietRoundTellsKnownDevicesAsChanges)
{
    Open();
    Discover();
    ap.Send(DiscoveryReply(1));
    ap.Send(DiscoveryReply(2));
    ui.Advance(5000);
    EXPECT_FALSE(discovery().Quiet());
    listener.batches.clear();
    ASSERT_TRUE(discovery().BeginQuietRound());
    EXPECT_EQ(discovery().State(), Discovering);
    EXPECT_EQ(discovery().DeviceCount(), 0);
    ap.Send(DiscoveryReply(2));
    ap.Send(DiscoveryReply(1));
    ap.Send(DiscoveryReply(7));
    UntilTaken(3);
    ui.Advance(5000);
    ASSERT_EQ(listener.batches.size(), 1u);
    EXPECT_EQ(listener.batches[0], (Recorder::Batch{2, 3, {0, 1, 2}}));
    EXPECT_EQ(listener.Texts(), (Texts{"ended 2", "ended 1"})) << "the round counts the device it added";
    EXPECT_TRUE(discovery().Quiet());
    Discover();
    EXPECT_FALSE(discovery().Quiet());
}

// --- Closing ----------------------------------------------------------------------

TEST_F(DiscoveryTest, ClosingBroadcastsTheStopDatagramThatEndsTheThread)
{
    Open();
    Discover();
    ui.Advance(5000);
    session->Close();
    EXPECT_EQ(discovery().State(), Closing);
    const auto sent = net.SentLog().back();
    const Datagram stop = BuildStopDatagram();
    EXPECT_EQ(sent.bytes, std::vector<std::uint8_t>(stop.data(), stop.data() + stop.size));
    EXPECT_EQ(sent.toHost, BroadcastAddress);
    EXPECT_EQ(sent.toPort, DevicePort);
    EXPECT_EQ(SentOfType(TypeStop), 1);
    session.reset(); // joins the thread: it heard the stop datagram
}

TEST_F(DiscoveryTest, LostStopDatagramDoesNotKeepTheThreadAlive)
{
    SessionConfig config;
    config.stopTimeout = std::chrono::seconds(60);
    Open(std::move(config));
    Discover();
    ui.Advance(5000);
    tool->InjectFailure(FakeOp::Send, ENETUNREACH);
    session->Close();
    EXPECT_EQ(listener.Texts().back(), "send-failed stop 101");
    const auto start = std::chrono::steady_clock::now();
    session.reset(); // wakes the thread over loopback and joins it
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

} // namespace
} // namespace pemblor::test

namespace pemblor::test {

// Two interfaces into one segment deliver each broadcast reply twice: the
// copies count once, and the same bytes a second later are a new reply.
TEST_F(DiscoveryTest, AReplyHeardOnTwoInterfacesOfOneSegmentCountsOnce)
{
    class Counter final : public TransportObserver {
    public:
        void QueryHeard(unsigned) override {}
        void ReplyReceived(const ReplyDatagram&, unsigned) override { ++replies; }
        void ReceiveFailed(ReceiveFailure) override {}
        std::atomic<int> replies{0};
    } counter;
    net.AddInterface(kToolHost, "eth1", "198.18.0.2", "lan");
    std::atomic<std::int64_t> now{0};
    SessionConfig config;
    config.now = [&now] { return now.load(); };
    ASSERT_TRUE(Open(std::move(config)).Ok());
    session->transport().AddObserver(counter);
    ASSERT_TRUE(session->StartReceiveThread());
    const auto taken = [this] {
        while (!net.Quiescent())
            std::this_thread::yield();
    };

    ap.Send(DetailReply(1), "255.255.255.255");
    taken();
    EXPECT_EQ(counter.replies.load(), 1);
    now = ReplyEchoes::WindowMs + 1;
    ap.Send(DetailReply(1), "255.255.255.255");
    taken();
    EXPECT_EQ(counter.replies.load(), 2);
    // Another reply from the same sender is no copy.
    ap.Send(DiscoveryReply(1), "255.255.255.255");
    taken();
    EXPECT_EQ(counter.replies.load(), 3);
    session->transport().RemoveObserver(counter);
}

} // namespace pemblor::test
