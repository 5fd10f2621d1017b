#include "tests/fakenet/FakeSocket.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

namespace pemblor {

namespace {

using State = FakeNetwork::State;
using Socket = FakeNetwork::State::Socket;

constexpr const char* LoopbackAddress = "127.0.0.1";
constexpr const char* LimitedBroadcast = "255.255.255.255";
constexpr const char* LoopbackBroadcast = "127.255.255.255";

PeerAddress ToPeer(const std::string& address)
{
    PeerAddress peer;
    const std::size_t size = std::min(address.size(), sizeof peer.text - 1);
    std::memcpy(peer.text, address.data(), size);
    return peer;
}

bool Fail(int error)
{
    State::SetLastError(error);
    return false;
}

int FailCount(int error)
{
    State::SetLastError(error);
    return -1;
}

// With the mutex held: the socket, if it can still be used.
Socket* Usable(const State& state, const std::shared_ptr<Socket>& socket)
{
    if (state.shutdown || !socket || !socket->open)
        return nullptr;
    return socket.get();
}

// With the mutex held: the socket, if it can still be used (else EBADF is
// recorded) and no failure of `op` is injected (else that one is).
Socket* Ready(const State& state, const std::shared_ptr<Socket>& socket, FakeOp op)
{
    Socket* usable = Usable(state, socket);
    if (usable == nullptr)
        State::SetLastError(EBADF);
    else if (State::TakeFailure(*usable, op))
        return nullptr;
    return usable;
}

void Deliver(Socket& target, const void* data, std::size_t size, const PeerAddress& from, std::uint16_t fromPort,
             const char* to)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    target.queue.push_back(State::Datagram{{bytes, bytes + size}, from, fromPort, to});
    if (target.waiters > 0)
        target.arrived.notify_one();
}

} // namespace

FakeSocket::FakeSocket(std::shared_ptr<State> state, std::shared_ptr<Socket> socket)
    : m_state(std::move(state)), m_socket(std::move(socket))
{
}

FakeSocket::~FakeSocket()
{
    std::lock_guard lock(m_state->mutex);
    if (m_socket)
        m_state->CloseSocket(*m_socket);
}

bool FakeSocket::Bind(std::uint16_t port)
{
    std::lock_guard lock(m_state->mutex);
    Socket* socket = Ready(*m_state, m_socket, FakeOp::Bind);
    if (socket == nullptr)
        return false;
    if (socket->port != 0)
        return Fail(EINVAL);
    if (port == 0)
        return m_state->BindEphemeral(*socket) != 0 || Fail(EADDRINUSE);
    std::vector<Socket*>& bound = socket->host->ports[port];
    if (!std::all_of(bound.begin(), bound.end(), [&](const Socket* other) { return other->shared && socket->shared; }))
        return Fail(EADDRINUSE);
    bound.push_back(socket);
    socket->port = port;
    return true;
}

bool FakeSocket::ShareAddress()
{
    std::lock_guard lock(m_state->mutex);
    Socket* socket = Usable(*m_state, m_socket);
    if (socket == nullptr)
        return Fail(EBADF);
    socket->shared = true;
    return true;
}

bool FakeSocket::SetBroadcast()
{
    std::lock_guard lock(m_state->mutex);
    Socket* socket = Ready(*m_state, m_socket, FakeOp::SetBroadcast);
    if (socket == nullptr)
        return false;
    socket->broadcast = true;
    return true;
}

int FakeSocket::SendTo(const void* data, std::size_t size, std::uint16_t port, const char* host)
{
    return Send(0, data, size, port, host);
}

int FakeSocket::SendOutOf(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port,
                          const char* host)
{
    if (interfaceIndex == 0)
        return FailCount(EINVAL);
    return Send(interfaceIndex, data, size, port, host);
}

int FakeSocket::Send(unsigned interfaceIndex, const void* data, std::size_t size, std::uint16_t port, const char* host)
{
    std::lock_guard lock(m_state->mutex);
    // Injected send failures are for the requests: the copies' channel is
    // spared, so that they fail the same sends with or without it.
    const bool loopbackBroadcast = host != nullptr && std::strcmp(host, LoopbackBroadcast) == 0;
    Socket* socket = loopbackBroadcast ? Usable(*m_state, m_socket) : Ready(*m_state, m_socket, FakeOp::Send);
    if (socket == nullptr)
        return loopbackBroadcast ? FailCount(EBADF) : -1;
    if (host == nullptr || port == 0)
        return FailCount(EINVAL);
    if (size > State::MaxDatagram)
        return FailCount(EMSGSIZE);
    const bool broadcast = std::strcmp(host, LimitedBroadcast) == 0;
    if ((broadcast || loopbackBroadcast) && !socket->broadcast)
        return FailCount(EACCES);

    State::Host& own = *socket->host;
    const bool loopback = std::strcmp(host, LoopbackAddress) == 0 || loopbackBroadcast;
    if (interfaceIndex == State::LoopbackIndex && !loopback)
        return FailCount(ENETUNREACH);
    State::Interface* via = nullptr;
    if (interfaceIndex != 0 && interfaceIndex != State::LoopbackIndex) {
        via = own.Find(interfaceIndex);
        if (via == nullptr || !via->up)
            return FailCount(ENODEV);
    } else if (!loopback) {
        via = own.Default();
        if (via == nullptr)
            return FailCount(ENETUNREACH);
    }
    if (socket->port == 0 && m_state->BindEphemeral(*socket) == 0)
        return FailCount(EADDRINUSE);

    // A broadcast reaches every socket bound to the port; a datagram to one
    // address, the one bound last, as Linux hands it among shared sockets.
    const auto deliver = [&](State::Host& target, unsigned arrival, const std::string& from) {
        auto bound = target.ports.find(port);
        if (bound == target.ports.end() || (arrival != State::LoopbackIndex && target.Drops(port)))
            return;
        PeerAddress peer = ToPeer(from);
        peer.interfaceIndex = arrival;
        peer.toThisHost = !broadcast && !loopbackBroadcast;
        if (!peer.toThisHost) {
            for (Socket* each : bound->second)
                Deliver(*each, data, size, peer, socket->port, host);
            return;
        }
        Deliver(*bound->second.back(), data, size, peer, socket->port, host);
    };
    if (broadcast) {
        for (auto& [address, target] : m_state->hosts) {
            if (State::Interface* arrival = target->OnSegment(via->segment))
                deliver(*target, target.get() == &own ? via->index : arrival->index, via->address);
        }
    } else if (loopback || own.WithAddress(host)) {
        deliver(own, State::LoopbackIndex, loopback ? LoopbackAddress : host);
    } else if (State::Host* destination = m_state->HostWithAddress(host)) {
        // A host that does not exist, or a port nobody is bound to, loses the
        // datagram without telling the sender, as UDP does. A chosen
        // interface reaches only its own segment.
        State::Interface* arrival = destination->WithAddress(host);
        State::Interface* near = own.OnSegment(arrival->segment);
        if (interfaceIndex == 0 || near == via)
            deliver(*destination, arrival->index, (near ? near : via)->address);
    }

    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::string fromAddress = via ? via->address : loopback ? LoopbackAddress : own.address;
    const std::string interfaceName = via ? via->name : std::string("lo");
    m_state->sent.push_back(
        FakeNetwork::SentDatagram{fromAddress, interfaceName, socket->port, host, port, {bytes, bytes + size}});
    return static_cast<int>(size);
}

int FakeSocket::ReceiveFrom(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort)
{
    return Receive(buffer, capacity, from, fromPort, true);
}

int FakeSocket::ReceiveQueued(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort)
{
    return Receive(buffer, capacity, from, fromPort, false);
}

int FakeSocket::Receive(void* buffer, std::size_t capacity, PeerAddress& from, std::uint16_t& fromPort, bool wait)
{
    State::Datagram datagram;
    {
        std::unique_lock lock(m_state->mutex);
        const std::shared_ptr<Socket> socket = m_socket;
        if (Usable(*m_state, socket) == nullptr)
            return FailCount(EBADF);
        // A look that does not wait leaves the socket busy: its owner is
        // not idle until it waits.
        if (!wait && socket->queue.empty())
            return FailCount(EAGAIN);
        socket->busy = false;
        if (State::TakeFailure(*socket, FakeOp::Receive)) {
            socket->busy = true;
            return -1;
        }
        ++socket->waiters;
        socket->arrived.wait(lock, [&] { return !socket->queue.empty() || !socket->open || m_state->shutdown; });
        --socket->waiters;
        if (!socket->open || m_state->shutdown)
            return FailCount(EBADF);
        datagram = std::move(socket->queue.front());
        socket->queue.pop_front();
        socket->busy = true;
    }
    // Like the platform, a datagram that does not fit is consumed and lost.
    if (datagram.bytes.size() > capacity)
        return FailCount(EMSGSIZE);
    if (!datagram.bytes.empty())
        std::memcpy(buffer, datagram.bytes.data(), datagram.bytes.size());
    from = datagram.from;
    fromPort = datagram.fromPort;
    m_lastDestination = std::move(datagram.to);
    return static_cast<int>(datagram.bytes.size());
}

SocketHandle FakeSocket::Detach()
{
    std::lock_guard lock(m_state->mutex);
    if (!m_socket) {
        State::SetLastError(EBADF);
        return InvalidSocket;
    }
    m_socket->owned = false;
    m_socket->busy = false;
    const SocketHandle handle = m_socket->handle;
    m_socket.reset();
    return handle;
}

void FakeSocket::Close()
{
    std::lock_guard lock(m_state->mutex);
    if (!m_socket)
        return;
    // Like shutdown() on the platform: a reader blocked meanwhile fails, and
    // a socket in use (blocked in a receive, or between two) counts as busy
    // until its owner lets it go.
    if (m_socket->open && (m_socket->waiters > 0 || m_socket->busy)) {
        m_state->ShutSocket(*m_socket);
        m_socket->busy = true;
        return;
    }
    m_state->CloseSocket(*m_socket);
    m_socket.reset();
}

int FakeSocket::SetReceiveBufferSize(int bytes)
{
    std::lock_guard lock(m_state->mutex);
    Socket* socket = Usable(*m_state, m_socket);
    if (socket == nullptr)
        return FailCount(EBADF);
    if (bytes <= 0)
        return FailCount(EINVAL);
    socket->receiveBuffer = bytes;
    return bytes;
}

std::uint16_t FakeSocket::LocalPort() const
{
    std::lock_guard lock(m_state->mutex);
    return m_socket ? m_socket->port : 0;
}

} // namespace pemblor
