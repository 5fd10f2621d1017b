#pragma once
#include "engine/ISocket.h"

#include <atomic>
#include <map>
#include <mutex>

namespace pemblor {

// An IPv4 UDP socket on the POSIX sockets interface. Failures leave their
// errno in PosixSocketLayer::LastError() of the calling thread.
//
// Close() may be called from another thread while a reader is blocked in
// ReceiveFrom(): the reader wakes and fails with EBADF.
class PosixSocket final : public ISocket {
public:
    // How SendOutOf picks its interface: IP_PKTINFO on this socket's own
    // sendmsg, or a socket of its own per interface (bound to the device).
    // PacketInfo falls back to the second where the system refuses the first.
    enum class SendPath { PacketInfo, SocketPerInterface };

    // Takes ownership of `fd`.
    explicit PosixSocket(int fd, SendPath path = SendPath::PacketInfo);
    ~PosixSocket() override;
    PosixSocket(const PosixSocket&) = delete;
    PosixSocket& operator=(const PosixSocket&) = delete;

    bool Bind(std::uint16_t port) override;
    bool ShareAddress() override;
    bool SetBroadcast() override;
    // `host` is read as inet_addr reads it. Text that is not an address fails
    // with EINVAL rather than becoming the broadcast address.
    int SendTo(const void* data, std::size_t size, std::uint16_t port, const char* host) override;
    int SendOutOf(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port,
                  const char* host) override;
    // A datagram larger than `capacity` is consumed and the call fails with
    // EMSGSIZE.
    // `from.interfaceIndex` comes from IP_PKTINFO, which the layer turns on
    // for every socket it opens.
    int ReceiveFrom(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort) override;
    int ReceiveQueued(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort) override;
    SocketHandle Detach() override;
    void Close() override;
    int SetReceiveBufferSize(int bytes) override;

    // The local port the socket is bound to, or 0.
    std::uint16_t LocalPort() const;

private:
    // Every call that uses the descriptor holds it between Acquire() and
    // Release(); a Close() meanwhile shuts the socket down at once (which
    // wakes a blocked reader) and leaves the close() to the last user, so
    // that the number is never reused under a running call.
    int Acquire() const;
    void Release() const;
    class Use;
    // The fallback's socket for one interface, opened on first use; -1 with
    // the error recorded when it cannot be had. Under m_mutex.
    int DeviceSocket(unsigned interfaceIndex);
    int SendThroughDevice(unsigned interfaceIndex, const void* data, std::size_t size, const void* address);
    // ReceiveFrom with recvmsg's `flags`.
    int Receive(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort, int flags);
    // Turns on the report of send errors the first time the socket sends;
    // from then on its receives set aside the errors of earlier datagrams.
    void ReportErrorsOf(int fd);

    mutable std::mutex m_mutex;
    int m_nFd;
    mutable int m_nUsers = 0;
    mutable int m_nPendingClose = -1;
    SendPath m_sendPath;
    std::map<unsigned, int> m_deviceSockets; // interface index -> descriptor
    std::atomic<bool> m_reportsErrors{false};
};

} // namespace pemblor
