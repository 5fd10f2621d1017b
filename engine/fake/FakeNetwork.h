#pragma once
#include "engine/ISocketLayer.h"

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

// An in-memory LAN. Hosts have one IPv4 address each; a host may run several
// socket layers (one per simulated process) that share its port table.
//
// Delivery: a datagram sent to 255.255.255.255:P reaches every socket bound to
// P on every host, the sender's own host included; one sent to a host's own
// address or to 127.0.0.1 reaches the sockets bound to P on the sender's host;
// one sent to another host's address reaches that host. Broadcasting needs the
// broadcast option on the sending socket (else the send fails with EACCES).
// Binding a port already bound on the host fails with EADDRINUSE. A datagram
// larger than the receiver's buffer makes that receive fail with EMSGSIZE.
// The sender address a receiver sees is the sending host's address, or
// 127.0.0.1 for loopback.
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

    // True when no socket is between two receives (a thread took a datagram or
    // a handle and has not yet come back to ReceiveFrom) and no blocked reader
    // has a datagram waiting. Tests step virtual time only at such moments.
    bool Quiescent() const;

    // Number of datagrams sent (successfully) so far, and a copy of each, for
    // assertions on the wire bytes.
    struct SentDatagram {
        std::string fromHost;
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
