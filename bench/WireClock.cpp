#include "bench/WireClock.h"

#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <type_traits>

namespace pemblor::bench {
namespace {

constexpr int kSocketBufferBytes = 64 * 1024 * 1024;
constexpr int kPollMs = 20;
constexpr int kUdpProtocol = 17;
constexpr std::size_t kIpHeaderBytes = 20;
constexpr std::size_t kUdpHeaderBytes = 8;

std::int64_t Nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

} // namespace

WireClock::~WireClock()
{
    Stop();
}

bool WireClock::Start(const std::string& interface, std::uint16_t port, std::string& reason)
{
    static_assert(std::is_same_v<WireClock::Clock::duration, std::chrono::nanoseconds>);
    const unsigned index = if_nametoindex(interface.c_str());
    if (index == 0) {
        reason = "no interface " + interface;
        return false;
    }
    m_fd = ::socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_IP));
    if (m_fd < 0) {
        reason = std::string("packet socket: ") + std::strerror(errno);
        return false;
    }
    const int size = kSocketBufferBytes;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_IP);
    address.sll_ifindex = static_cast<int>(index);
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        reason = std::string("bind to ") + interface + ": " + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    timespec realtime{};
    timespec monotonic{};
    ::clock_gettime(CLOCK_REALTIME, &realtime);
    // steady_clock is CLOCK_MONOTONIC here.
    ::clock_gettime(CLOCK_MONOTONIC, &monotonic);
    m_nRealtimeOffset = Nanoseconds(realtime) - Nanoseconds(monotonic);
    m_nPort = port;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void WireClock::Stop()
{
    if (m_thread.joinable()) {
        m_bStop = true;
        m_thread.join();
    }
    if (m_fd >= 0) {
        tpacket_stats stats{};
        socklen_t length = sizeof stats;
        if (::getsockopt(m_fd, SOL_PACKET, PACKET_STATISTICS, &stats, &length) == 0)
            m_nDrops += static_cast<long>(stats.tp_drops);
        ::close(m_fd);
        m_fd = -1;
    }
}

void WireClock::Run()
{
    std::array<unsigned char, 2048> frame{};
    std::array<char, CMSG_SPACE(sizeof(timespec))> control{};
    for (;;) {
        pollfd ready{m_fd, POLLIN, 0};
        const int events = ::poll(&ready, 1, kPollMs);
        if (events <= 0) {
            // Everything that had arrived is read before stopping.
            if (m_bStop.load())
                return;
            continue;
        }
        sockaddr_ll from{};
        iovec part{frame.data(), frame.size()};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        const long length = ::recvmsg(m_fd, &message, MSG_DONTWAIT);
        if (length <= 0 || from.sll_pkttype == PACKET_OUTGOING)
            continue;
        std::int64_t arrival = WireClock::Clock::now().time_since_epoch().count();
        for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
            if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp{};
                std::memcpy(&stamp, CMSG_DATA(item), sizeof stamp);
                arrival = Nanoseconds(stamp) - m_nRealtimeOffset;
            }
        }
        Take(frame.data(), length, arrival);
    }
}

void WireClock::Take(const unsigned char* frame, long length, std::int64_t arrival)
{
    const auto size = static_cast<std::size_t>(length);
    if (size < kIpHeaderBytes || (frame[0] >> 4) != 4 || frame[9] != kUdpProtocol)
        return;
    const std::size_t header = static_cast<std::size_t>(frame[0] & 0x0F) * 4;
    if (size <= header + kUdpHeaderBytes)
        return;
    const unsigned char* udp = frame + header;
    const unsigned destination = (static_cast<unsigned>(udp[2]) << 8) | udp[3];
    if (destination != m_nPort)
        return;
    const ReplyDatagram datagram(udp + kUdpHeaderBytes, size - header - kUdpHeaderBytes, {});
    const std::uint32_t type = datagram.type();
    if (type == TypeQuery || type == TypeCommand || type == TypeStop)
        return;
    m_span.Note(arrival);
    m_nReplies.fetch_add(1);
}

} // namespace pemblor::bench
