// Two copies of the tool on one host sharing the device port: the replies
// one of them alone receives, passed on to the other, and the results both
// could claim.
#include "DiscoveryFixture.h"

#include "engine/CopyChannel.h"
#include "engine/DeviceJob.h"

#include <semaphore>
#include <unistd.h>

namespace pemblor::test {
namespace {

constexpr const char* kBroadcast = "255.255.255.255";

// One copy: a process of its own on the tool's host, with its transport and
// every reply it dispatched, as "sender on interface".
struct Copy final : TransportObserver, JobListener {
    Copy(ToolHost& host, std::unique_ptr<FakeSocketLayer> process, const std::string& program)
        : layer(std::move(process)), transport(*layer, host.ui, Config(host, program))
    {
        transport.AddObserver(*this);
        opened = transport.Open().Ok() && transport.StartReceiveThread();
    }
    ~Copy() override { transport.RemoveObserver(*this); }
    static TransportConfig Config(ToolHost& host, const std::string& program)
    {
        TransportConfig config;
        config.programName = program;
        config.now = [&host] { return host.clock.Now(); };
        return config;
    }
    void QueryHeard(unsigned) override {}
    void ReplyReceived(const ReplyDatagram& reply, unsigned arrival) override
    {
        if (hold.exchange(false))
            released.acquire();
        std::lock_guard lock(mutex);
        heard.push_back(std::string(reply.sender()) + " on " + std::to_string(arrival));
    }
    void ReceiveFailed(ReceiveFailure) override {}
    void JobFinished(DeviceJob&, const JobReport& report) override { reports.push_back(report); }

    std::unique_ptr<FakeSocketLayer> layer;
    Transport transport;
    bool opened = false;
    std::mutex mutex;
    std::vector<std::string> heard;
    std::vector<JobReport> reports; // user-interface thread
    // Holds the receive thread in the next reply's report until released.
    std::atomic<bool> hold{false};
    std::binary_semaphore released{0};
};

class CopyChannelTest : public ::testing::Test, protected ToolHost {
protected:
    CopyChannelTest() : ToolHost(kToolHost) {}

    // The copies, the first on the host's first process; the last one
    // started is the one the system hands datagrams addressed to the host.
    void Start(int copies)
    {
        for (int i = 0; i < copies; ++i) {
            auto process = i == 0 ? std::move(tool) : net.NewLayer(kToolHost);
            ToolHost& self = *this;
            copy.push_back(std::make_unique<Copy>(self, std::move(process), "copy-" + std::to_string(i)));
            ASSERT_TRUE(copy.back()->opened);
        }
        ui.Advance(10);
    }
    int Passed() const
    {
        int passed = 0;
        for (const auto& sent : net.SentLog())
            passed += sent.toHost == CopyChannel::Address && CopyChannel::IsMessage(sent.bytes) && sent.bytes[4] == 7;
        return passed;
    }
    static std::string Named(int copy) { return "copy-" + std::to_string(copy) + " (process " + std::to_string(getpid()) + ")"; }

    TestAp ap{net, kApHost};
    std::vector<std::unique_ptr<Copy>> copy;
};

TEST_F(CopyChannelTest, EveryCopyHearsEveryReplyOnceAsIfFromTheDevice)
{
    const struct {
        const char* name;
        int copies;
        const char* to;
        int passed;
    } cases[] = {
        {"addressed to the host, two copies", 2, kToolHost, 1},
        {"broadcast, two copies", 2, kBroadcast, 0},
        {"addressed to the host, alone", 1, kToolHost, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        copy.clear();
        tool = net.NewLayer(kToolHost);
        const int passedBefore = Passed();
        Start(c.copies);
        ap.Send(DiscoveryReply(1), c.to);
        ui.Advance(10);
        for (const auto& each : copy) {
            std::lock_guard lock(each->mutex);
            EXPECT_EQ(each->heard, std::vector<std::string>{"198.18.1.10 on 2"});
        }
        EXPECT_EQ(Passed() - passedBefore, c.passed);
    }
}

TEST_F(CopyChannelTest, RepliesQueuedTogetherArePassedOnTogetherEachWithItsSender)
{
    Start(2);
    TestAp other{net, "198.18.1.11"};
    // More replies than one message holds, all queued while the last copy's
    // receive thread is held in the first one's report.
    const int count = static_cast<int>(CopyChannel::MessageMax / DiscoveryReply(1).size) + 2;
    copy[1]->hold = true;
    std::vector<std::string> expected;
    for (int i = 0; i < count; ++i) {
        (i % 2 ? other : ap).Send(DiscoveryReply(static_cast<std::uint8_t>(i)));
        expected.push_back(i % 2 ? "198.18.1.11 on 2" : "198.18.1.10 on 2");
    }
    copy[1]->released.release();
    ui.Advance(10);
    for (const auto& each : copy) {
        std::lock_guard lock(each->mutex);
        EXPECT_EQ(each->heard, expected);
    }
    EXPECT_EQ(Passed(), 2);
}

TEST(CopyChannelMessageTest, PassedRepliesKeepTheirSendersAndWhatIsCutShortIsDropped)
{
    CopyChannel sender("a"), receiver("b");
    const auto take = [&receiver](CopyChannel::Message message) {
        std::vector<std::string> taken;
        receiver.Take(message, 0, [](const CopyChannel::Message&) {}, [] {},
                     [&](std::span<const std::uint8_t> reply, const PeerAddress& from) {
                         taken.push_back(std::string(reply.begin(), reply.end()) + " from " + from.text + " on " +
                                         std::to_string(from.interfaceIndex) + (from.toThisHost ? " again" : ""));
                         return true;
                     });
        return taken;
    };
    CopyChannel::Message batch;
    const std::vector<std::uint8_t> replies[] = {{'f', 'i', 'r', 's', 't'}, {}, {'t', 'h', 'i', 'r', 'd'}};
    for (unsigned i = 0; i < 3; ++i)
        ASSERT_TRUE(sender.Pass(batch, replies[i],
                                {{'1', '0', '.', '0', '.', '0', '.', static_cast<char>('1' + i)}, 2 + i, true}));
    const std::vector<std::string> all{"first from 10.0.0.1 on 2", " from 10.0.0.2 on 3", "third from 10.0.0.3 on 4"};
    EXPECT_EQ(take(batch), all);
    // Cut inside a sender, a length or a reply, or a length past the end.
    for (const std::size_t size : {batch.size() - 1, std::size_t{13 + 10}, std::size_t{13 + 21}})
        EXPECT_TRUE(take(CopyChannel::Message(batch.begin(), batch.begin() + size)).empty()) << size;
    CopyChannel::Message longer = batch;
    longer[batch.size() - 5 - 2] += 1;
    EXPECT_TRUE(take(longer).empty());
    // An earlier version's message: one reply, without its length.
    CopyChannel::Message one(batch.begin(), batch.begin() + 13 + 22 + 5);
    one.erase(one.begin() + 13 + 20, one.begin() + 13 + 22);
    one[4] = 4;
    EXPECT_EQ(take(one), std::vector<std::string>{all[0]});
}

TEST_F(CopyChannelTest, TwoCopiesCommandingOneDeviceTakeNeitherResultAsTheirOwn)
{
    const struct {
        const char* name;
        const char* to;
        MacBytes mac;
        EventLoop::Millis between; // from the first copy's result to the second's command
        JobOutcome first, second;
    } cases[] = {
        {"at once, results to the host", kToolHost, Mac(1), -1, JobOutcome::UnknownResult, JobOutcome::UnknownResult},
        {"at once, broadcast results", kBroadcast, Mac(1), -1, JobOutcome::UnknownResult, JobOutcome::UnknownResult},
        {"at once, zero-MAC results", kToolHost, MacBytes{}, -1, JobOutcome::UnknownResult, JobOutcome::UnknownResult},
        {"one after the other", kToolHost, Mac(1), 2000, JobOutcome::Stored, JobOutcome::Stored},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        copy.clear();
        tool = net.NewLayer(kToolHost);
        Start(2);
        JobPlan plan;
        plan.read = false;
        plan.change = SettingsRequest{};
        plan.change->ipAddress = "198.18.1.50";
        DeviceJob first(copy[0]->transport, ui, *copy[0], MacString(1), kApHost);
        DeviceJob second(copy[1]->transport, ui, *copy[1], MacString(1), kApHost);
        ASSERT_TRUE(first.Start(plan));
        if (c.between < 0) {
            ASSERT_TRUE(second.Start(plan));
        }
        ui.Advance(10);
        ap.Send(CommandReply(0, c.mac), c.to);
        ui.Advance(10);
        if (c.between >= 0) {
            ui.Advance(c.between);
            ASSERT_TRUE(second.Start(plan));
            ui.Advance(10);
        }
        ap.Send(CommandReply(0, c.mac), c.to);
        ui.Advance(10);
        ASSERT_EQ(copy[0]->reports.size(), 1u);
        ASSERT_EQ(copy[1]->reports.size(), 1u);
        EXPECT_EQ(copy[0]->reports[0].outcome, c.first);
        EXPECT_EQ(copy[1]->reports[0].outcome, c.second);
        if (c.first == JobOutcome::UnknownResult) {
            EXPECT_EQ(copy[0]->reports[0].contestedBy, Named(1));
            EXPECT_EQ(copy[1]->reports[0].contestedBy, Named(0));
        }
    }
}

} // namespace
} // namespace pemblor::test
