#pragma once
#include "engine/IInterfaceList.h"
#include "engine/ISocketLayer.h"
// The fake network's time: its Quiescent is the clock's quiescence probe.
#include "tests/fakenet/VirtualClock.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pemblor {

class FakeSocketLayer;

// Operations whose failure a test can inject on one socket layer.
enum class FakeOp { StartupProcess, StartupThread, Open, Bind, SetBroadcast, Send, Receive };

// An in-memory LAN of broadcast segments. A host has one or more interfaces,
// each with an IPv4 address on one segment; a host is known by its first
// interface's address, and may run several socket layers (one per simulated
// process) that share its port table. A host made by NewLayer alone has one
// interface, "eth0", netmask 255.255.255.0, on segment "lan", so hosts made
// that way all share one segment. Interface indexes start at 2 (1 is the
// loopback) and are unique across the network.
//
// Delivery: a datagram sent to 255.255.255.255:P out of interface X reaches
// every socket bound to P on every host with an interface up on X's segment,
// the sender's own host included (arriving on X); without a chosen interface
// it leaves by the host's first interface that is up. One sent to
// 127.255.255.255 (with or without interface 1 chosen) reaches every socket
// bound to P on the sender's own host, over loopback. One sent to 127.0.0.1
// or to an address of the sender's own host reaches a socket bound to P on
// that host; one sent to another host's address reaches that host, on the
// interface that has the address. Broadcasting needs the broadcast option on
// the sending socket (else the send fails with EACCES); an interface that is
// down or unknown fails the send with ENODEV, a host without an interface up
// fails it with ENETUNREACH. Binding a port already bound on the host fails
// with EADDRINUSE unless every socket bound to it and the new one asked to
// share it (ShareAddress); a broadcast then reaches each of them, a datagram
// to one address the one bound last. A datagram larger than the receiver's buffer makes that
// receive fail with EMSGSIZE. The sender address a receiver sees is the
// sending interface's address, or 127.0.0.1 for loopback; the arrival
// interface is the receiver's interface on the segment (1 for loopback); the
// address the datagram was sent to, FakeSocket::LastDestination. A unicast
// thus reaches the one host that holds the address, as a switch delivers it.
//
// Thread-safe: receive threads block in ReceiveFrom on a condition variable.
class FakeNetwork final {
public:
    FakeNetwork();
    ~FakeNetwork();
    FakeNetwork(const FakeNetwork&) = delete;
    FakeNetwork& operator=(const FakeNetwork&) = delete;

    // A new socket layer (a process) on the host with this address; the host
    // is created on first use.
    std::unique_ptr<FakeSocketLayer> NewLayer(const std::string& hostAddress);

    // Creates the host with its first interface, `interfaceName`, on
    // `segment` (before any NewLayer for it). Returns the interface index.
    unsigned AddHost(const std::string& hostAddress, const std::string& segment,
                     const std::string& interfaceName = "eth0", const std::string& netmask = "255.255.255.0");
    // One more interface of the host (created on first use); its index.
    unsigned AddInterface(const std::string& hostAddress, const std::string& name, const std::string& address,
                          const std::string& segment, const std::string& netmask = "255.255.255.0");
    // A down interface neither sends nor receives nor is listed as usable.
    void SetInterfaceUp(const std::string& hostAddress, const std::string& name, bool up);
    // Without a link an interface is up but not listed as usable. (An
    // interface added with an empty address has none.)
    void SetInterfaceLink(const std::string& hostAddress, const std::string& name, bool link);
    // The host's firewall drops inbound datagrams to `port` (all but those
    // over loopback), the host's own broadcasts coming back included.
    void DropInbound(const std::string& hostAddress, std::uint16_t port, bool drop = true);
    // The host's usable interfaces as the tool reads them.
    std::unique_ptr<IInterfaceList> InterfaceList(const std::string& hostAddress);

    // True when no socket is between two receives (a thread took a datagram or
    // a handle and has not yet come back to ReceiveFrom) and no blocked reader
    // has a datagram waiting. Tests step virtual time only at such moments.
    bool Quiescent() const;

    // Number of datagrams sent (successfully) so far, and a copy of each, for
    // assertions on the wire bytes.
    struct SentDatagram {
        std::string fromHost; // the sending interface's address (127.0.0.1 over loopback)
        std::string interfaceName; // the interface it left by
        std::uint16_t fromPort;
        std::string toHost;
        std::uint16_t toPort;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<SentDatagram> SentLog() const;

    // Implementation detail shared with the fake sockets.
    struct State;
    State& state() { return *m_state; }

private:
    std::shared_ptr<State> m_state;
};

// The socket layer of one simulated process on one host.
class FakeSocketLayer final : public ISocketLayer {
public:
    FakeSocketLayer(std::shared_ptr<FakeNetwork::State> state, std::string hostAddress);
    ~FakeSocketLayer() override;

    bool StartupProcess() override;
    bool StartupThread() override;
    std::unique_ptr<ISocket> Open() override;
    std::unique_ptr<ISocket> Attach(SocketHandle handle) override;
    int LastError() const override;

    // The next `count` calls of `op` on sockets of this layer fail with
    // `error`, after `skip` calls that succeed. count < 0: fail for ever.
    void InjectFailure(FakeOp op, int error, int skip = 0, int count = 1);
    void ClearFailures();


    // Used by the fake sockets: consumes an injected failure for `op`, if
    // any, and sets the calling thread's last error.
    bool TakeFailure(FakeOp op);
    void SetLastError(int error);

private:
    std::shared_ptr<FakeNetwork::State> m_state;
    std::string m_host;
    struct Failure {
        FakeOp op;
        int error;
        int skip;
        int count;
    };
    mutable std::mutex m_mutex;
    std::vector<Failure> m_failures;
};

} // namespace pemblor
