#include "tests/fakenet/FakeNetwork.h"

#include "tests/fakenet/FakeInterfaceList.h"
#include "tests/fakenet/FakeNetworkState.h"
#include "tests/fakenet/FakeSocket.h"

#include <algorithm>
#include <cerrno>

namespace pemblor {

namespace {
thread_local int t_nLastError = 0;

std::uint32_t MaskValue(const std::string& netmask)
{
    std::uint32_t value = 0;
    return ParseIpv4(netmask.c_str(), value) ? value : 0xFFFFFF00u;
}
} // namespace

using State = FakeNetwork::State;

// ---- State ----

void FakeNetwork::State::SetLastError(int error)
{
    t_nLastError = error;
}

int FakeNetwork::State::LastError()
{
    return t_nLastError;
}

bool FakeNetwork::State::TakeFailure(const Socket& socket, FakeOp op)
{
    return socket.layer != nullptr && socket.layer->TakeFailure(op);
}

FakeNetwork::State::Interface* FakeNetwork::State::Host::Find(unsigned index)
{
    for (Interface& candidate : interfaces) {
        if (candidate.index == index)
            return &candidate;
    }
    return nullptr;
}

FakeNetwork::State::Interface* FakeNetwork::State::Host::OnSegment(const std::string& segment)
{
    for (Interface& candidate : interfaces) {
        if (candidate.up && candidate.segment == segment)
            return &candidate;
    }
    return nullptr;
}

FakeNetwork::State::Interface* FakeNetwork::State::Host::WithAddress(const std::string& wanted)
{
    for (Interface& candidate : interfaces) {
        if (candidate.up && candidate.address == wanted)
            return &candidate;
    }
    return nullptr;
}

FakeNetwork::State::Interface* FakeNetwork::State::Host::Default()
{
    for (Interface& candidate : interfaces) {
        if (candidate.up)
            return &candidate;
    }
    return nullptr;
}

bool FakeNetwork::State::Host::Drops(std::uint16_t port) const
{
    return std::find(droppedPorts.begin(), droppedPorts.end(), port) != droppedPorts.end();
}

FakeNetwork::State::Host& FakeNetwork::State::HostFor(const std::string& address, const std::string& segment)
{
    auto& host = hosts[address];
    if (!host) {
        host = std::make_unique<Host>();
        host->address = address;
        host->interfaces.push_back(Interface{"eth0", nextInterfaceIndex++, address, 0xFFFFFF00u, segment, true});
    }
    return *host;
}

FakeNetwork::State::Host* FakeNetwork::State::HostWithAddress(const std::string& address)
{
    const auto keyed = hosts.find(address);
    if (keyed != hosts.end() && keyed->second->WithAddress(address))
        return keyed->second.get();
    for (auto& [key, host] : hosts) {
        if (host->WithAddress(address))
            return host.get();
    }
    return nullptr;
}

std::uint16_t FakeNetwork::State::BindEphemeral(Socket& socket)
{
    Host& host = *socket.host;
    constexpr unsigned rangeSize = 65536u - FirstEphemeralPort;
    for (unsigned tried = 0; tried < rangeSize; ++tried) {
        const std::uint16_t port = host.nextEphemeral;
        host.nextEphemeral = port == 65535 ? FirstEphemeralPort : static_cast<std::uint16_t>(port + 1);
        if (host.ports.emplace(port, std::vector<Socket*>{&socket}).second) {
            socket.port = port;
            return port;
        }
    }
    return 0;
}

void FakeNetwork::State::ShutSocket(Socket& socket)
{
    socket.open = false;
    socket.queue.clear();
    if (socket.port != 0) {
        auto found = socket.host->ports.find(socket.port);
        if (found != socket.host->ports.end()) {
            std::erase(found->second, &socket);
            if (found->second.empty())
                socket.host->ports.erase(found);
        }
    }
    socket.arrived.notify_all();
}

void FakeNetwork::State::CloseSocket(Socket& socket)
{
    if (sockets.erase(socket.handle) == 0)
        return;
    ShutSocket(socket);
    socket.busy = false;
}

// ---- FakeNetwork ----

FakeNetwork::FakeNetwork() : m_state(std::make_shared<State>()) {}

FakeNetwork::~FakeNetwork()
{
    // Layers and sockets may outlive the network object; they share the
    // state but find it shut down.
    std::lock_guard lock(m_state->mutex);
    m_state->shutdown = true;
    for (auto& [handle, socket] : m_state->sockets)
        socket->arrived.notify_all();
}

std::unique_ptr<FakeSocketLayer> FakeNetwork::NewLayer(const std::string& hostAddress)
{
    return std::make_unique<FakeSocketLayer>(m_state, hostAddress);
}

unsigned FakeNetwork::AddHost(const std::string& hostAddress, const std::string& segment,
                              const std::string& interfaceName, const std::string& netmask)
{
    std::lock_guard lock(m_state->mutex);
    State::Host& host = m_state->HostFor(hostAddress, segment);
    State::Interface& first = host.interfaces.front();
    first.name = interfaceName;
    first.segment = segment;
    first.netmask = MaskValue(netmask);
    return first.index;
}

unsigned FakeNetwork::AddInterface(const std::string& hostAddress, const std::string& name, const std::string& address,
                                   const std::string& segment, const std::string& netmask)
{
    std::lock_guard lock(m_state->mutex);
    State::Host& host = m_state->HostFor(hostAddress);
    const unsigned index = m_state->nextInterfaceIndex++;
    host.interfaces.push_back(State::Interface{name, index, address, MaskValue(netmask), segment, true});
    return index;
}

void FakeNetwork::SetInterfaceUp(const std::string& hostAddress, const std::string& name, bool up)
{
    std::lock_guard lock(m_state->mutex);
    for (State::Interface& candidate : m_state->HostFor(hostAddress).interfaces) {
        if (candidate.name == name)
            candidate.up = up;
    }
}

void FakeNetwork::SetInterfaceLink(const std::string& hostAddress, const std::string& name, bool link)
{
    std::lock_guard lock(m_state->mutex);
    for (State::Interface& candidate : m_state->HostFor(hostAddress).interfaces) {
        if (candidate.name == name)
            candidate.link = link;
    }
}

void FakeNetwork::DropInbound(const std::string& hostAddress, std::uint16_t port, bool drop)
{
    std::lock_guard lock(m_state->mutex);
    auto& ports = m_state->HostFor(hostAddress).droppedPorts;
    std::erase(ports, port);
    if (drop)
        ports.push_back(port);
}

std::unique_ptr<IInterfaceList> FakeNetwork::InterfaceList(const std::string& hostAddress)
{
    return std::make_unique<FakeInterfaceList>(m_state, hostAddress);
}

bool FakeNetwork::Quiescent() const
{
    std::lock_guard lock(m_state->mutex);
    return std::none_of(m_state->sockets.begin(), m_state->sockets.end(), [](const auto& entry) {
        const State::Socket& socket = *entry.second;
        return socket.busy || (socket.waiters > 0 && !socket.queue.empty());
    });
}

std::vector<FakeNetwork::SentDatagram> FakeNetwork::SentLog() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->sent;
}

// ---- FakeSocketLayer ----

FakeSocketLayer::FakeSocketLayer(std::shared_ptr<FakeNetwork::State> state, std::string hostAddress)
    : m_state(std::move(state)), m_host(std::move(hostAddress))
{
    std::lock_guard lock(m_state->mutex);
    m_state->HostFor(m_host);
}

FakeSocketLayer::~FakeSocketLayer()
{
    // Sockets of this layer may live on; they stop consulting its failures.
    std::lock_guard lock(m_state->mutex);
    for (auto& [handle, socket] : m_state->sockets) {
        if (socket->layer == this)
            socket->layer = nullptr;
    }
}

bool FakeSocketLayer::StartupProcess()
{
    return !TakeFailure(FakeOp::StartupProcess);
}

bool FakeSocketLayer::StartupThread()
{
    return !TakeFailure(FakeOp::StartupThread);
}

std::unique_ptr<ISocket> FakeSocketLayer::Open()
{
    if (TakeFailure(FakeOp::Open))
        return nullptr;
    std::lock_guard lock(m_state->mutex);
    if (m_state->shutdown) {
        SetLastError(ENETDOWN);
        return nullptr;
    }
    auto socket = std::make_shared<FakeNetwork::State::Socket>();
    socket->handle = m_state->nextHandle++;
    socket->host = &m_state->HostFor(m_host);
    socket->layer = this;
    m_state->sockets.emplace(socket->handle, socket);
    return std::make_unique<FakeSocket>(m_state, std::move(socket));
}

std::unique_ptr<ISocket> FakeSocketLayer::Attach(SocketHandle handle)
{
    std::lock_guard lock(m_state->mutex);
    auto found = m_state->sockets.find(handle);
    // A handle passes between threads of one process, never between hosts,
    // and has one owner at a time.
    if (m_state->shutdown || found == m_state->sockets.end() || found->second->owned ||
        found->second->host->address != m_host) {
        SetLastError(EBADF);
        return nullptr;
    }
    auto socket = found->second;
    socket->owned = true;
    socket->busy = true;
    socket->layer = this;
    return std::make_unique<FakeSocket>(m_state, std::move(socket));
}

int FakeSocketLayer::LastError() const
{
    return State::LastError();
}

void FakeSocketLayer::InjectFailure(FakeOp op, int error, int skip, int count)
{
    if (count == 0)
        return;
    std::lock_guard lock(m_mutex);
    m_failures.push_back(Failure{op, error, skip, count});
}

void FakeSocketLayer::ClearFailures()
{
    std::lock_guard lock(m_mutex);
    m_failures.clear();
}

bool FakeSocketLayer::TakeFailure(FakeOp op)
{
    std::lock_guard lock(m_mutex);
    // Only the oldest injection for `op` counts the calls; later ones for the
    // same operation wait until it is used up.
    auto found = std::find_if(m_failures.begin(), m_failures.end(),
                              [op](const Failure& failure) { return failure.op == op; });
    if (found == m_failures.end())
        return false;
    if (found->skip > 0) {
        --found->skip;
        return false;
    }
    SetLastError(found->error);
    if (found->count > 0 && --found->count == 0)
        m_failures.erase(found);
    return true;
}

void FakeSocketLayer::SetLastError(int error)
{
    State::SetLastError(error);
}

} // namespace pemblor
