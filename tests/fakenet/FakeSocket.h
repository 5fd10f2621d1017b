#pragma once
#include "engine/ISocket.h"
#include "tests/fakenet/FakeNetworkState.h"

#include <memory>
#include <string>

namespace pemblor {

// A socket object of the fake network. Several objects may refer to one
// socket over time (Detach, then Attach); only one owns it at once.
class FakeSocket final : public ISocket {
public:
    FakeSocket(std::shared_ptr<FakeNetwork::State> state, std::shared_ptr<FakeNetwork::State::Socket> socket);
    ~FakeSocket() override;
    FakeSocket(const FakeSocket&) = delete;
    FakeSocket& operator=(const FakeSocket&) = delete;

    bool Bind(std::uint16_t port) override;
    bool ShareAddress() override;
    bool SetBroadcast() override;
    int SendTo(const void* data, std::size_t size, std::uint16_t port, const char* host) override;
    int SendOutOf(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port,
                  const char* host) override;
    int ReceiveFrom(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort) override;
    int ReceiveQueued(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort) override;
    SocketHandle Detach() override;
    void Close() override;
    int SetReceiveBufferSize(int bytes) override;

    // The bound port, or 0.
    std::uint16_t LocalPort() const;
    // The destination the datagram last received was sent to (an address,
    // or 255.255.255.255); for the thread that receives.
    const std::string& LastDestination() const { return m_lastDestination; }

private:
    // interfaceIndex 0: the routes choose.
    int Send(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port, const char* host);
    int Receive(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort, bool wait);

    std::shared_ptr<FakeNetwork::State> m_state;
    // Null once closed or given up; guarded by the network's mutex.
    std::shared_ptr<FakeNetwork::State::Socket> m_socket;
    std::string m_lastDestination;
};

} // namespace pemblor
