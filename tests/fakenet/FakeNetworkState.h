#pragma once
#include "tests/fakenet/FakeNetwork.h"

#include <unordered_map>

namespace pemblor {

// The shared state of one fake network. Everything in it is guarded by
// `mutex`; a socket layer's own failure list is locked only while `mutex` is
// held or on its own, never the other way round.
struct FakeNetwork::State {
    struct Host;

    struct Datagram {
        std::vector<std::uint8_t> bytes;
        PeerAddress from; // with the receiver's arrival interface
        std::uint16_t fromPort = 0;
        std::string to; // the destination as sent: an address, or a broadcast one
    };

    struct Interface {
        std::string name;
        unsigned index = 0;
        std::string address;
        std::uint32_t netmask = 0;
        std::string segment;
        bool up = true;
        bool link = true;
    };

    // One socket, whichever object owns its handle at the moment.
    struct Socket {
        SocketHandle handle = InvalidSocket;
        Host* host = nullptr;
        // The layer whose failures apply; null once that layer is gone.
        FakeSocketLayer* layer = nullptr;
        std::uint16_t port = 0; // 0: not bound
        bool broadcast = false;
        bool shared = false; // ShareAddress, asked before binding
        bool open = true;
        bool owned = true; // false between Detach and Attach
        // Between a hand-over or a receive and the owner's next receive.
        bool busy = false;
        int waiters = 0;
        int receiveBuffer = 212992;
        std::deque<Datagram> queue;
        std::condition_variable arrived;
    };

    struct Host {
        std::string address; // the key: the first interface's address
        std::vector<Interface> interfaces;
        // The sockets bound to each port, oldest first.
        std::unordered_map<std::uint16_t, std::vector<Socket*>> ports;
        std::uint16_t nextEphemeral = FirstEphemeralPort;
        // Ports whose inbound datagrams the host's firewall drops (all but
        // those that come over loopback).
        std::vector<std::uint16_t> droppedPorts;

        Interface* Find(unsigned index);
        Interface* OnSegment(const std::string& segment);
        Interface* WithAddress(const std::string& address);
        // The interface a datagram without a chosen interface leaves by: the
        // first one that is up (where the default route points).
        Interface* Default();
        bool Drops(std::uint16_t port) const;
    };

    static constexpr const char* DefaultSegment = "lan";
    static constexpr unsigned LoopbackIndex = 1;

    static constexpr std::uint16_t FirstEphemeralPort = 49152;
    static constexpr std::size_t MaxDatagram = 65507;

    // The calling thread's last error, shared by all fake layers.
    static void SetLastError(int error);
    static int LastError();
    // Consumes an injected failure of `op` on the socket's layer. Mutex held.
    static bool TakeFailure(const Socket& socket, FakeOp op);

    // The host with this key address, created on first use with one
    // interface "eth0" on `segment`. Mutex held.
    Host& HostFor(const std::string& address, const std::string& segment = DefaultSegment);
    // The host that has an interface with this address, or null. Mutex held.
    Host* HostWithAddress(const std::string& address);
    // Binds `socket` to a free port from the ephemeral range; 0 when none is
    // free. Mutex held.
    std::uint16_t BindEphemeral(Socket& socket);
    // Takes `socket` off its port and wakes its readers, which fail; it
    // stays in the table. Mutex held.
    void ShutSocket(Socket& socket);
    // Takes `socket` off its host and wakes its readers. Mutex held.
    void CloseSocket(Socket& socket);

    mutable std::mutex mutex;
    bool shutdown = false;
    std::unordered_map<std::string, std::unique_ptr<Host>> hosts;
    std::unordered_map<SocketHandle, std::shared_ptr<Socket>> sockets;
    SocketHandle nextHandle = 3;
    unsigned nextInterfaceIndex = LoopbackIndex + 1;
    std::vector<SentDatagram> sent;
};

} // namespace pemblor
