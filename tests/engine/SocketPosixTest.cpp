// Platform sockets, on the loopback interface only.
#include "engine/PosixSocket.h"
#include "engine/PosixSocketLayer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <net/if.h>
#include <unistd.h>

using namespace pemblor;

namespace {

constexpr const char* Loopback = "127.0.0.1";

class PosixSocketTest : public ::testing::Test {
protected:
    std::unique_ptr<PosixSocket> BoundSocket()
    {
        std::unique_ptr<ISocket> socket = m_layer.Open();
        EXPECT_NE(socket, nullptr);
        EXPECT_TRUE(socket->Bind(0));
        return std::unique_ptr<PosixSocket>(static_cast<PosixSocket*>(socket.release()));
    }

    static int Send(ISocket& socket, const std::string& text, std::uint16_t port)
    {
        return socket.SendTo(text.data(), text.size(), port, Loopback);
    }

    PosixSocketLayer m_layer;
};

TEST_F(PosixSocketTest, LoopbackDatagramCarriesBytesAndSender)
{
    auto receiver = BoundSocket();
    auto sender = BoundSocket();
    ASSERT_NE(receiver->LocalPort(), 0);
    ASSERT_EQ(Send(*sender, "hello", receiver->LocalPort()), 5);
    ASSERT_EQ(Send(*sender, "", receiver->LocalPort()), 0);

    char buffer[2048];
    PeerAddress from;
    std::uint16_t fromPort = 0;
    ASSERT_EQ(receiver->ReceiveFrom(buffer, sizeof buffer, from, fromPort), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_STREQ(from.text, "127.0.0.1");
    EXPECT_EQ(fromPort, sender->LocalPort());
    EXPECT_EQ(receiver->ReceiveFrom(buffer, sizeof buffer, from, fromPort), 0);
}

TEST_F(PosixSocketTest, OversizeDatagramFailsWithEmsgsizeAndIsConsumed)
{
    auto receiver = BoundSocket();
    auto sender = BoundSocket();
    const std::string big(3000, 'x');
    ASSERT_EQ(Send(*sender, big, receiver->LocalPort()), 3000);
    ASSERT_EQ(Send(*sender, "next", receiver->LocalPort()), 4);

    char buffer[2048];
    PeerAddress from;
    std::uint16_t fromPort = 0;
    EXPECT_EQ(receiver->ReceiveFrom(buffer, sizeof buffer, from, fromPort), -1);
    EXPECT_EQ(m_layer.LastError(), EMSGSIZE);
    ASSERT_EQ(receiver->ReceiveFrom(buffer, sizeof buffer, from, fromPort), 4);
    EXPECT_EQ(std::string(buffer, 4), "next");
}

TEST_F(PosixSocketTest, DetachedHandleStaysOpenAndCanBeAttached)
{
    auto receiver = BoundSocket();
    const std::uint16_t port = receiver->LocalPort();
    const SocketHandle handle = receiver->Detach();
    ASSERT_GE(handle, 0);
    receiver.reset();

    auto sender = BoundSocket();
    ASSERT_EQ(Send(*sender, "after", port), 5);
    auto attached = m_layer.Attach(handle);
    ASSERT_NE(attached, nullptr);
    char buffer[16];
    PeerAddress from;
    std::uint16_t fromPort = 0;
    EXPECT_EQ(attached->ReceiveFrom(buffer, sizeof buffer, from, fromPort), 5);

    attached.reset();
    EXPECT_EQ(m_layer.Attach(handle), nullptr) << "the owner closed it";
    EXPECT_EQ(m_layer.LastError(), EBADF);
}

TEST_F(PosixSocketTest, BindingATakenPortFailsWithEaddrinuse)
{
    auto first = BoundSocket();
    auto second = m_layer.Open();
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->Bind(first->LocalPort()));
    EXPECT_EQ(m_layer.LastError(), EADDRINUSE);
}

TEST_F(PosixSocketTest, UnreadableHostTextFailsInsteadOfBroadcasting)
{
    auto sender = BoundSocket();
    for (const char* host : {"not an address", "", "256.1.1.1"}) {
        EXPECT_EQ(sender->SendTo("x", 1, 9, host), -1) << host;
        EXPECT_EQ(m_layer.LastError(), EINVAL);
    }
}

TEST_F(PosixSocketTest, CloseFromAnotherThreadEndsABlockedReceive)
{
    auto receiver = BoundSocket();
    int result = 0;
    int error = 0;
    std::thread reader([&] {
        char buffer[16];
        PeerAddress from;
        std::uint16_t fromPort = 0;
        result = receiver->ReceiveFrom(buffer, sizeof buffer, from, fromPort);
        error = m_layer.LastError();
    });
    receiver->Close();
    reader.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, EBADF);
}

// A socket that has sent reports its sends' errors; the port-unreachable
// report of a datagram to a closed port belongs to that datagram, and fails
// neither the socket's next receive nor its next send.
TEST_F(PosixSocketTest, AnEarlierDatagramsErrorFailsNeitherTheNextReceiveNorTheNextSend)
{
    auto socket = BoundSocket();
    auto peer = BoundSocket();
    std::uint16_t closedPort = 0;
    {
        auto gone = BoundSocket();
        closedPort = gone->LocalPort();
    }
    char buffer[64];
    PeerAddress from;
    std::uint16_t fromPort = 0;

    ASSERT_EQ(Send(*socket, "lost", closedPort), 4);
    ASSERT_EQ(Send(*peer, "in", socket->LocalPort()), 2);
    EXPECT_EQ(socket->ReceiveFrom(buffer, sizeof buffer, from, fromPort), 2);

    ASSERT_EQ(Send(*socket, "lost", closedPort), 4);
    EXPECT_EQ(Send(*socket, "out", peer->LocalPort()), 3);
    EXPECT_EQ(peer->ReceiveFrom(buffer, sizeof buffer, from, fromPort), 3);
    EXPECT_EQ(std::string(buffer, 3), "out");
}

TEST_F(PosixSocketTest, ReceiveBufferReportsWhatWasGranted)
{
    auto socket = BoundSocket();
    const int granted = socket->SetReceiveBufferSize(1 << 20);
    EXPECT_GT(granted, 0);
    if (::geteuid() == 0) {
        EXPECT_GE(granted, 1 << 20);
    }
    EXPECT_LT(socket->SetReceiveBufferSize(0), 0);
}

} // namespace

namespace {

TEST(PosixSocketInterfaceTest, SendOutOfAnInterfaceAndLearnTheArrivalInterface)
{
    const unsigned loopback = if_nametoindex("lo");
    ASSERT_NE(loopback, 0u);
    for (const auto path : {PosixSocket::SendPath::PacketInfo, PosixSocket::SendPath::SocketPerInterface}) {
        SCOPED_TRACE(path == PosixSocket::SendPath::PacketInfo ? "IP_PKTINFO" : "socket per interface");
        PosixSocketLayer layer(path);
        auto receiver = layer.Open();
        auto sender = layer.Open();
        ASSERT_TRUE(receiver && sender && receiver->Bind(0) && sender->Bind(0));
        const std::uint16_t port = static_cast<PosixSocket&>(*receiver).LocalPort();

        const int sent = sender->SendOutOf(loopback, "via", 3, port, Loopback);
        if (sent < 0 && layer.LastError() == EPERM)
            GTEST_SKIP() << "binding a socket to a device needs a privilege here";
        ASSERT_EQ(sent, 3);
        char buffer[16];
        PeerAddress from;
        std::uint16_t fromPort = 0;
        ASSERT_EQ(receiver->ReceiveFrom(buffer, sizeof buffer, from, fromPort), 3);
        EXPECT_EQ(from.interfaceIndex, loopback);
        EXPECT_STREQ(from.text, "127.0.0.1");

        EXPECT_LT(sender->SendOutOf(0, "x", 1, port, Loopback), 0);
        EXPECT_EQ(layer.LastError(), EINVAL);
        EXPECT_LT(sender->SendOutOf(loopback, "x", 1, port, "not an address"), 0);
        EXPECT_EQ(layer.LastError(), EINVAL);
    }
}

} // namespace
