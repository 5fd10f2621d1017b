#include "tests/fakenet/FakeNetwork.h"
#include "tests/fakenet/FakeSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <string>
#include <thread>
#include <vector>

using namespace pemblor;

namespace {

constexpr std::uint16_t Port = 21212;
constexpr const char* HostA = "198.18.0.1";
constexpr const char* HostB = "198.18.0.2";

template <typename Condition>
bool WaitFor(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

std::unique_ptr<ISocket> Bound(FakeSocketLayer& layer, std::uint16_t port, bool broadcast = false)
{
    auto socket = layer.Open();
    EXPECT_TRUE(socket && socket->Bind(port));
    if (broadcast) {
        EXPECT_TRUE(socket->SetBroadcast());
    }
    return socket;
}

int Send(ISocket& socket, const std::string& text, const char* host, std::uint16_t port = Port)
{
    return socket.SendTo(text.data(), text.size(), port, host);
}

struct Received {
    int count = -1;
    std::string text;
    std::string from;
    std::uint16_t fromPort = 0;
};

Received Receive(ISocket& socket, std::size_t capacity = 2048)
{
    std::vector<char> buffer(capacity + 1);
    Received result;
    PeerAddress from;
    result.count = socket.ReceiveFrom(buffer.data(), capacity, from, result.fromPort);
    if (result.count >= 0) {
        result.text.assign(buffer.data(), static_cast<std::size_t>(result.count));
        result.from = from.text;
    }
    return result;
}

class FakeNetworkTest : public ::testing::Test {
protected:
    FakeNetwork m_net;
    std::unique_ptr<FakeSocketLayer> m_a1 = m_net.NewLayer(HostA);
    std::unique_ptr<FakeSocketLayer> m_a2 = m_net.NewLayer(HostA);
    std::unique_ptr<FakeSocketLayer> m_b1 = m_net.NewLayer(HostB);
};

struct DeliveryCase {
    const char* name;
    const char* to;
    bool reachesA;
    bool reachesB;
    const char* seenFrom;
};

class FakeDeliveryTest : public FakeNetworkTest, public ::testing::WithParamInterface<DeliveryCase> {};

TEST_P(FakeDeliveryTest, ReachesExactlyTheAddressedSockets)
{
    const DeliveryCase& c = GetParam();
    auto onA = Bound(*m_a1, Port);
    auto onB = Bound(*m_b1, Port);
    auto sender = Bound(*m_a2, 0, true);
    auto marker = Bound(*m_b1, 0);

    ASSERT_EQ(Send(*sender, "payload", c.to), 7);
    // A marker behind the datagram tells "not delivered" without blocking.
    ASSERT_EQ(Send(*marker, "end", HostA), 3);
    ASSERT_EQ(Send(*marker, "end", HostB), 3);

    for (auto [socket, expected] : {std::pair{onA.get(), c.reachesA}, std::pair{onB.get(), c.reachesB}}) {
        Received first = Receive(*socket);
        if (expected) {
            EXPECT_EQ(first.text, "payload");
            EXPECT_EQ(first.from, c.seenFrom);
            EXPECT_GE(first.fromPort, 49152);
            first = Receive(*socket);
        }
        EXPECT_EQ(first.text, "end");
    }
}

INSTANTIATE_TEST_SUITE_P(Addresses, FakeDeliveryTest,
                         ::testing::Values(DeliveryCase{"Broadcast", "255.255.255.255", true, true, HostA},
                                           DeliveryCase{"OtherHost", HostB, false, true, HostA},
                                           DeliveryCase{"OwnAddress", HostA, true, false, HostA},
                                           DeliveryCase{"Loopback", "127.0.0.1", true, false, "127.0.0.1"},
                                           DeliveryCase{"UnknownHost", "198.18.0.99", false, false, ""}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(FakeNetworkTest, BroadcastWithoutOptionFailsWithEaccesAndSendsNothing)
{
    auto listener = Bound(*m_b1, Port);
    auto sender = Bound(*m_a1, 0);
    EXPECT_LT(Send(*sender, "x", "255.255.255.255"), 0);
    EXPECT_EQ(m_a1->LastError(), EACCES);
    EXPECT_TRUE(m_net.SentLog().empty());
    // Unicast needs no option.
    EXPECT_EQ(Send(*sender, "y", HostB), 1);
}

TEST_F(FakeNetworkTest, PortIsTakenPerHostAcrossProcesses)
{
    auto first = Bound(*m_a1, Port);
    auto second = m_a2->Open();
    EXPECT_FALSE(second->Bind(Port));
    EXPECT_EQ(m_a2->LastError(), EADDRINUSE);
    auto otherHost = Bound(*m_b1, Port);

    // Closing frees the port.
    first->Close();
    EXPECT_TRUE(m_a2->Open()->Bind(Port));
}

TEST_F(FakeNetworkTest, OversizeDatagramFailsTheReceiveAndIsConsumed)
{
    auto listener = Bound(*m_a1, Port);
    auto sender = Bound(*m_b1, 0);
    const std::string big(100, 'x');
    Send(*sender, big, HostA);
    Send(*sender, big, HostA);
    Send(*sender, "", HostA);

    EXPECT_EQ(Receive(*listener, 99).count, -1);
    EXPECT_EQ(m_a1->LastError(), EMSGSIZE);
    EXPECT_EQ(Receive(*listener, 100).text, big);
    const Received empty = Receive(*listener);
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(empty.from, HostB);
}

TEST_F(FakeNetworkTest, InjectedFailuresSkipThenFailCountTimesOnTheirLayerOnly)
{
    auto sender = Bound(*m_a1, 0);
    auto other = Bound(*m_a2, 0);
    m_a1->InjectFailure(FakeOp::Send, ENETUNREACH, 1, 2);
    std::vector<bool> results;
    for (int i = 0; i < 4; ++i) {
        results.push_back(Send(*sender, "x", HostB) >= 0);
        EXPECT_GE(Send(*other, "x", HostB), 0);
    }
    EXPECT_EQ(results, (std::vector<bool>{true, false, false, true}));

    m_a1->InjectFailure(FakeOp::StartupThread, 10093, 0, -1);
    EXPECT_FALSE(m_a1->StartupThread());
    EXPECT_FALSE(m_a1->StartupThread());
    EXPECT_EQ(m_a1->LastError(), 10093);
    m_a1->ClearFailures();
    EXPECT_TRUE(m_a1->StartupThread());
}

TEST_F(FakeNetworkTest, DetachedHandleKeepsPortAndQueueUntilAttached)
{
    auto socket = Bound(*m_a1, Port);
    const SocketHandle handle = socket->Detach();
    ASSERT_NE(handle, InvalidSocket);
    socket.reset(); // does not close what it gave up

    auto sender = Bound(*m_b1, 0);
    Send(*sender, "queued", HostA);
    EXPECT_EQ(m_b1->Attach(handle), nullptr) << "a handle does not cross hosts";
    auto attached = m_a2->Attach(handle);
    ASSERT_NE(attached, nullptr);
    EXPECT_EQ(m_a1->Attach(handle), nullptr) << "one owner at a time";
    EXPECT_EQ(m_a1->LastError(), EBADF);
    EXPECT_EQ(Receive(*attached).text, "queued");
    EXPECT_EQ(m_a2->Attach(12345), nullptr);
}

// A reader known to be blocked: after Attach the socket counts as busy until
// its owner enters ReceiveFrom, so a quiescent network means it is waiting.
class BlockedReader {
public:
    BlockedReader(FakeNetwork& net, FakeSocketLayer& layer, std::uint16_t port)
    {
        FakeSocketLayer* owner = &layer;
        auto socket = Bound(layer, port);
        const SocketHandle handle = socket->Detach();
        m_socket = layer.Attach(handle);
        EXPECT_FALSE(net.Quiescent());
        m_thread = std::thread([this, owner] {
            for (;;) {
                Received got = Receive(*m_socket);
                m_nLastError = owner->LastError();
                if (got.count < 0)
                    break;
                const int count = m_nCount.fetch_add(1) + 1;
                // Holds on to the datagram until the test lets it go.
                while (m_nReleased.load() < count)
                    std::this_thread::yield();
            }
            m_bEnded = true;
        });
        EXPECT_TRUE(WaitFor([&] { return net.Quiescent(); }));
    }
    ~BlockedReader()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    ISocket& Socket() { return *m_socket; }
    void Join() { m_thread.join(); }

    std::atomic<int> m_nCount{0};
    std::atomic<int> m_nReleased{INT_MAX};
    std::atomic<bool> m_bEnded{false};
    int m_nLastError = 0;

private:
    std::unique_ptr<ISocket> m_socket;
    std::thread m_thread;
};

TEST_F(FakeNetworkTest, QuiescentOnlyWhenNoReaderHasWorkInHand)
{
    auto held = Bound(*m_a1, 4000); // a window's socket, never read
    auto sender = Bound(*m_b1, 0);
    Send(*sender, "unread", HostA, 4000);
    BlockedReader reader(m_net, *m_a1, Port);
    EXPECT_TRUE(m_net.Quiescent()) << "datagrams for a socket nobody reads do not count";

    reader.m_nReleased = 0;
    for (int i = 1; i <= 3; ++i) {
        Send(*sender, "ping", HostA);
        ASSERT_TRUE(WaitFor([&] { return reader.m_nCount.load() == i; }));
        EXPECT_FALSE(m_net.Quiescent()) << "the reader holds datagram " << i;
        reader.m_nReleased = i;
        ASSERT_TRUE(WaitFor([&] { return m_net.Quiescent(); }));
    }
    reader.Socket().Close();
    reader.Join();
    EXPECT_EQ(reader.m_nLastError, EBADF);
    // Shut down under its reader, as a receive thread's stop does, it counts
    // as busy until its owner lets it go: time stands while the thread ends.
    EXPECT_FALSE(m_net.Quiescent());
}

TEST(FakeNetworkLifetime, DestroyingTheNetworkWakesABlockedReader)
{
    auto net = std::make_unique<FakeNetwork>();
    auto layer = net->NewLayer(HostA);
    BlockedReader reader(*net, *layer, Port);
    net.reset();
    reader.Join();
    EXPECT_TRUE(reader.m_bEnded);
    EXPECT_EQ(reader.m_nLastError, EBADF);
    EXPECT_EQ(layer->Open(), nullptr);
}

TEST_F(FakeNetworkTest, ManyDatagramsFromSeveralSendersAllArrive)
{
    BlockedReader reader(m_net, *m_a1, Port);
    constexpr int PerSender = 5000;
    auto run = [&](FakeSocketLayer& layer) {
        auto sender = Bound(layer, 0, true);
        for (int i = 0; i < PerSender; ++i)
            ASSERT_EQ(Send(*sender, "reply", "255.255.255.255"), 5);
    };
    std::thread one(run, std::ref(*m_b1));
    std::thread two(run, std::ref(*m_a2));
    one.join();
    two.join();
    ASSERT_TRUE(WaitFor([&] { return m_net.Quiescent(); }));
    EXPECT_EQ(reader.m_nCount.load(), 2 * PerSender);
    reader.Socket().Close();
}

} // namespace
