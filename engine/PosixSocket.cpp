#include "engine/PosixSocket.h"

#include "engine/PosixSocketLayer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pemblor {

namespace {

bool Fail(int error)
{
    PosixSocketLayer::RecordError(error);
    return false;
}

int FailCount(int error)
{
    PosixSocketLayer::RecordError(error);
    return -1;
}

} // namespace

// The descriptor, held for the length of one call; Fd() < 0 when the socket
// has none (EBADF is then recorded).
class PosixSocket::Use {
public:
    explicit Use(const PosixSocket& socket) : m_socket(socket), m_nFd(socket.Acquire())
    {
        if (m_nFd < 0)
            PosixSocketLayer::RecordError(EBADF);
    }
    ~Use()
    {
        if (m_nFd >= 0)
            m_socket.Release();
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    int Fd() const { return m_nFd; }

private:
    const PosixSocket& m_socket;
    const int m_nFd;
};

PosixSocket::PosixSocket(int fd, SendPath path) : m_nFd(fd), m_sendPath(path) {}

PosixSocket::~PosixSocket()
{
    Close();
}

int PosixSocket::Acquire() const
{
    std::lock_guard lock(m_mutex);
    if (m_nFd >= 0)
        ++m_nUsers;
    return m_nFd;
}

void PosixSocket::Release() const
{
    int closeNow = -1;
    {
        std::lock_guard lock(m_mutex);
        if (--m_nUsers == 0) {
            closeNow = m_nPendingClose;
            m_nPendingClose = -1;
        }
    }
    if (closeNow >= 0)
        ::close(closeNow);
}

bool PosixSocket::Bind(std::uint16_t port)
{
    const Use use(*this);
    if (use.Fd() < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(use.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Fail(errno);
    return true;
}

bool PosixSocket::ShareAddress()
{
    const Use use(*this);
    if (use.Fd() < 0)
        return false;
    const int on = 1;
    if (::setsockopt(use.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return Fail(errno);
    return true;
}

bool PosixSocket::SetBroadcast()
{
    const Use use(*this);
    if (use.Fd() < 0)
        return false;
    const int on = 1;
    if (::setsockopt(use.Fd(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return Fail(errno);
    return true;
}

namespace {

// inet_addr answers INADDR_NONE for text it cannot read, which is also the
// broadcast address; only the literal broadcast text may mean that.
bool Destination(const char* host, std::uint16_t port, sockaddr_in& address)
{
    if (host == nullptr)
        return false;
    const in_addr_t target = ::inet_addr(host);
    if (target == INADDR_NONE && std::strcmp(host, "255.255.255.255") != 0)
        return false;
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = target;
    address.sin_port = htons(port);
    return true;
}

using PacketInfoControl = unsigned char[CMSG_SPACE(sizeof(in_pktinfo))];

// A one-part message to or from `peer`, with room for one IP_PKTINFO when
// `control` is given; it points into the caller's objects. recvmsg writes
// the peer, so `peer` must be a writable object there.
msghdr OnePartMessage(const sockaddr_in& peer, iovec& part, PacketInfoControl* control)
{
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&peer);
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (control) {
        message.msg_control = *control;
        message.msg_controllen = sizeof *control;
    }
    return message;
}

// Without IP_RECVERR, a datagram the kernel drops for want of room (its
// neighbour table full, say) counts as sent; with it, the send fails with
// ENOBUFS and the caller may try again. The option also reports ICMP errors
// about earlier datagrams, which the calls below set aside.
void ReportSendErrors(int fd)
{
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
}

// The errors an ICMP message about an earlier datagram leaves on a socket
// that reports them: they belong to that datagram, not to the call that
// meets them.
bool FromEarlierDatagram(int error)
{
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH || error == EHOSTDOWN ||
           error == EPROTO || error == EMSGSIZE;
}

// Empties the socket's queue of such reports, which nobody reads.
void DropEarlierErrors(int fd)
{
    char data[64];
    alignas(cmsghdr) unsigned char control[256];
    for (int report = 0; report < 256; ++report) {
        iovec part{data, sizeof data};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            return;
    }
}

// One datagram by `send` (a sendto or sendmsg on `fd`): tried again after
// EINTR, and once after meeting an earlier datagram's error.
template <typename SendCall>
int SendDatagram(int fd, SendCall send)
{
    bool earlierMet = false;
    for (;;) {
        const ssize_t sent = send();
        if (sent >= 0)
            return static_cast<int>(sent);
        const int error = errno;
        if (error == EINTR)
            continue;
        if (earlierMet || !FromEarlierDatagram(error))
            return FailCount(error);
        earlierMet = true;
        DropEarlierErrors(fd);
    }
}

int SendMessage(int fd, const msghdr& message)
{
    return SendDatagram(fd, [&] { return ::sendmsg(fd, &message, MSG_NOSIGNAL); });
}

// Failures that say the system will not take IP_PKTINFO on send at all, as
// opposed to a failure of this interface or this datagram.
bool PacketInfoRefused(int error)
{
    return error == EINVAL || error == ENOPROTOOPT || error == EOPNOTSUPP;
}

} // namespace

int PosixSocket::SendTo(const void* data, std::size_t size, std::uint16_t port, const char* host)
{
    sockaddr_in address{};
    if (!Destination(host, port, address))
        return FailCount(EINVAL);

    const Use use(*this);
    if (use.Fd() < 0)
        return -1;
    ReportErrorsOf(use.Fd());
    return SendDatagram(use.Fd(), [&] {
        return ::sendto(use.Fd(), data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
                        sizeof address);
    });
}

void PosixSocket::ReportErrorsOf(int fd)
{
    if (!m_reportsErrors.exchange(true))
        ReportSendErrors(fd);
}

int PosixSocket::SendOutOf(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port,
                           const char* host)
{
    sockaddr_in address{};
    if (!Destination(host, port, address) || interfaceIndex == 0)
        return FailCount(EINVAL);

    const Use use(*this);
    if (use.Fd() < 0)
        return -1;
    ReportErrorsOf(use.Fd());
    {
        std::lock_guard lock(m_mutex);
        if (m_sendPath == SendPath::SocketPerInterface)
            return SendThroughDevice(interfaceIndex, data, size, &address);
    }

    iovec chunk{const_cast<void*>(data), size};
    alignas(cmsghdr) PacketInfoControl control = {};
    msghdr message = OnePartMessage(address, chunk, &control);
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(interfaceIndex);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);

    const int sent = SendMessage(use.Fd(), message);
    if (sent >= 0 || !PacketInfoRefused(errno))
        return sent;
    std::lock_guard lock(m_mutex);
    m_sendPath = SendPath::SocketPerInterface;
    return SendThroughDevice(interfaceIndex, data, size, &address);
}

int PosixSocket::DeviceSocket(unsigned interfaceIndex)
{
    const auto known = m_deviceSockets.find(interfaceIndex);
    if (known != m_deviceSockets.end())
        return known->second;
    char name[IF_NAMESIZE] = {};
    if (::if_indextoname(interfaceIndex, name) == nullptr)
        return FailCount(errno);
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return FailCount(errno);
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, name, static_cast<socklen_t>(std::strlen(name))) != 0) {
        const int error = errno;
        ::close(fd);
        return FailCount(error);
    }
    ReportSendErrors(fd);
    m_deviceSockets.emplace(interfaceIndex, fd);
    return fd;
}

int PosixSocket::SendThroughDevice(unsigned interfaceIndex, const void* data, std::size_t size, const void* address)
{
    const int fd = DeviceSocket(interfaceIndex);
    if (fd < 0)
        return -1;
    iovec chunk{const_cast<void*>(data), size};
    return SendMessage(fd, OnePartMessage(*static_cast<const sockaddr_in*>(address), chunk, nullptr));
}

int PosixSocket::ReceiveFrom(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort)
{
    return Receive(buffer, capacity, from, fromPort, 0);
}

int PosixSocket::ReceiveQueued(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort)
{
    return Receive(buffer, capacity, from, fromPort, MSG_DONTWAIT);
}

int PosixSocket::Receive(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort, int flags)
{
    const Use use(*this);
    if (use.Fd() < 0)
        return -1;

    iovec chunk{buffer, capacity > std::size_t{INT_MAX} ? std::size_t{INT_MAX} : capacity};
    sockaddr_in sender{};
    alignas(cmsghdr) PacketInfoControl control = {};
    msghdr message = OnePartMessage(sender, chunk, &control);

    ssize_t received = 0;
    for (;;) {
        received = ::recvmsg(use.Fd(), &message, flags);
        if (received >= 0)
            break;
        const int error = errno;
        if (error != EINTR && !(m_reportsErrors && FromEarlierDatagram(error)))
            return FailCount(error);
        if (error != EINTR)
            DropEarlierErrors(use.Fd());
        message.msg_namelen = sizeof sender;
        message.msg_controllen = sizeof control;
        message.msg_flags = 0;
    }
    // Close() shuts the socket down, which ends a blocked receive with 0
    // bytes; that is a failure, not an empty datagram.
    if (received == 0) {
        std::lock_guard lock(m_mutex);
        if (m_nFd != use.Fd())
            return FailCount(EBADF);
    }
    if ((message.msg_flags & MSG_TRUNC) != 0)
        return FailCount(EMSGSIZE);

    if (::inet_ntop(AF_INET, &sender.sin_addr, from.text, sizeof from.text) == nullptr)
        from.text[0] = '\0';
    fromPort = ntohs(sender.sin_port);
    from.interfaceIndex = 0;
    from.toThisHost = false;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(header), sizeof info);
            from.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
            // The system names the header's destination as the local address
            // only when it is one (for a broadcast, the interface's own).
            from.toThisHost = info.ipi_addr.s_addr == info.ipi_spec_dst.s_addr;
        }
    }
    return static_cast<int>(received);
}

SocketHandle PosixSocket::Detach()
{
    std::lock_guard lock(m_mutex);
    const int fd = m_nFd;
    m_nFd = -1;
    if (fd < 0)
        PosixSocketLayer::RecordError(EBADF);
    return fd < 0 ? InvalidSocket : fd;
}

void PosixSocket::Close()
{
    int closeNow = -1;
    {
        std::lock_guard lock(m_mutex);
        // The fallback's sockets are used only under the mutex.
        for (const auto& [index, fd] : m_deviceSockets)
            ::close(fd);
        m_deviceSockets.clear();
        if (m_nFd < 0)
            return;
        // Wakes a reader blocked on this socket; close() alone would not.
        ::shutdown(m_nFd, SHUT_RDWR);
        if (m_nUsers > 0)
            m_nPendingClose = m_nFd;
        else
            closeNow = m_nFd;
        m_nFd = -1;
    }
    if (closeNow >= 0)
        ::close(closeNow);
}

int PosixSocket::SetReceiveBufferSize(int bytes)
{
    if (bytes <= 0)
        return FailCount(EINVAL);
    const Use use(*this);
    if (use.Fd() < 0)
        return -1;
    if (::setsockopt(use.Fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0)
        return FailCount(errno);

    int granted = 0;
    socklen_t length = sizeof granted;
    if (::getsockopt(use.Fd(), SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return FailCount(errno);
    // The system caps SO_RCVBUF at its configured maximum and reports twice
    // what it grants (its own bookkeeping); a privileged process may go past
    // that cap.
    if (granted / 2 < bytes && ::geteuid() == 0 &&
        ::setsockopt(use.Fd(), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0) {
        length = sizeof granted;
        if (::getsockopt(use.Fd(), SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
            return FailCount(errno);
    }
    return granted;
}

std::uint16_t PosixSocket::LocalPort() const
{
    const Use use(*this);
    if (use.Fd() < 0)
        return 0;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(use.Fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace pemblor
