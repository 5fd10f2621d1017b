#pragma once
#include <cstddef>
#include <cstdint>

namespace pemblor {

// Platform handle of an open socket, as handed from one owner to another.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle InvalidSocket = -1;

// Sender of a received datagram as dotted-decimal text, held by value, the
// index of the interface it arrived on (0: not known), and whether it was
// addressed to one of this computer's own addresses (false for a broadcast,
// which every socket bound to the port is handed).
struct PeerAddress {
    char text[16] = {};
    unsigned interfaceIndex = 0;
    bool toThisHost = false;
};

// A blocking IPv4 datagram socket. Failures return false or a negative
// count; the number behind them is ISocketLayer::LastError() on the calling
// thread. A socket that still owns its handle closes it when destroyed.
class ISocket {
public:
    virtual ~ISocket() = default;

    // Binds to any local address and `port` (0: the system chooses).
    virtual bool Bind(std::uint16_t port) = 0;
    // SO_REUSEADDR at SOL_SOCKET, before Bind: other sockets that set it too,
    // of any user, may then bind the same port. Every one of them is handed
    // each broadcast; a datagram addressed to this computer goes to one.
    virtual bool ShareAddress() = 0;
    // SO_BROADCAST at SOL_SOCKET, set to true.
    virtual bool SetBroadcast() = 0;
    // One datagram to `host` (dotted-decimal text) and `port`. Returns the
    // byte count or a negative failure.
    virtual int SendTo(const void* data, std::size_t size, std::uint16_t port, const char* host) = 0;
    // The same, out of the interface with index `interfaceIndex` whatever the
    // routes say (a limited broadcast then leaves by that interface only).
    // Needs no privilege.
    virtual int SendOutOf(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port,
                          const char* host) = 0;
    // Waits without a time limit for one datagram of at most `capacity`
    // bytes. Returns the byte count (0 for an empty datagram) or a negative
    // failure; `from` and `fromPort` are set on success only.
    virtual int ReceiveFrom(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort) = 0;
    // The same without waiting: fails with EAGAIN when no datagram is queued.
    virtual int ReceiveQueued(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort) = 0;
    // Gives up the handle without closing it; the socket then owns nothing.
    virtual SocketHandle Detach() = 0;
    virtual void Close() = 0;
    // Asks for a kernel receive buffer of `bytes`; returns the size granted,
    // or a negative failure. Only the device table's burst handling uses it.
    virtual int SetReceiveBufferSize(int bytes) = 0;
};

} // namespace pemblor
