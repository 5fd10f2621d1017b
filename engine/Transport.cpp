#include "engine/Transport.h"

#include "engine/DetailEntries.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <system_error>

namespace pemblor {

// What the receive thread shares with the transport. Held by both through a
// shared pointer, so that a thread the transport could not wait for never
// touches freed memory.
struct Transport::ThreadContext {
    std::mutex mutex;
    std::condition_variable cv;
    bool attached = false; // the thread holds the receive socket (or gave up)
    bool ended = false;
    // The thread's socket while it holds it, for the stop to shut it down.
    ISocket* socket = nullptr;
    // Set by this process only: its own close, or the transport ending.
    std::atomic<bool> stop{false};
    // Held while a datagram is dispatched; `abandoned` is set under it when
    // the transport stops waiting for the thread.
    std::mutex dispatchMutex;
    bool abandoned = false;
    std::function<bool(std::chrono::milliseconds)> backoffWait;
    std::chrono::milliseconds firstBackoff{10};
    std::chrono::milliseconds maxBackoff{1000};

    void Signal(bool& flag)
    {
        std::lock_guard lock(mutex);
        flag = true;
        cv.notify_all();
    }
    // False when the thread is to stop.
    bool Backoff(std::chrono::milliseconds delay)
    {
        if (backoffWait)
            return backoffWait(delay) && !stop.load();
        return Pause(delay);
    }
    // Waits `delay`, or until the stop flag is set; false then.
    bool Pause(std::chrono::milliseconds delay)
    {
        std::unique_lock lock(mutex);
        cv.wait_for(lock, delay, [&] { return stop.load(); });
        return !stop.load();
    }
};

namespace {

// How long a receive thread waits for more of a burst while another copy
// listens (see the receive loop).
constexpr std::chrono::milliseconds BurstPause{1};

} // namespace

namespace {

bool LaunchStdThread(std::thread& thread, std::function<void()> body)
{
    try {
        thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

constexpr std::chrono::seconds kThreadStartBound{5};
constexpr unsigned kStopServeSliceMs = 10;

} // namespace

Transport::Transport(ISocketLayer& sockets, UiDispatcher& ui, TransportConfig config)
    : m_sockets(sockets)
    , m_ui(ui)
    , m_config(std::move(config))
    , m_endpoint(sockets, m_config.port)
    , m_copies(m_config.programName)
{
    if (!m_config.launchThread)
        m_config.launchThread = LaunchStdThread;
    if (m_config.interfaces)
        m_interfaces.emplace(*m_config.interfaces);
}

Transport::~Transport()
{
    StopReceiveThread();
    m_ui.Cancel(m_startupFailure);
}

EndpointResult Transport::Open()
{
    return m_endpoint.Open(g_hRecvSocket);
}

bool Transport::RefreshInterfaces()
{
    if (!m_interfaces)
        return false;
    m_interfacesListed = m_interfaces->Refresh();
    m_interfacesRead = true;
    return m_interfacesListed;
}

std::optional<NetworkInterface> Transport::InterfaceByIndex(unsigned index) const
{
    return m_interfaces && index != 0 ? m_interfaces->ByIndex(index) : std::nullopt;
}

std::optional<NetworkInterface> Transport::InterfaceNamed(std::string_view name) const
{
    return m_interfaces ? m_interfaces->ByName(name) : std::nullopt;
}

bool SendReport::NoRoomNow() const
{
    return !sent && !failures.empty() && std::all_of(failures.begin(), failures.end(), [](const Failure& failure) {
        return failure.error == ENOBUFS || failure.error == ENOMEM || failure.error == EAGAIN ||
               failure.error == EWOULDBLOCK;
    });
}

SendReport Transport::SendByRoute(const Datagram& datagram)
{
    SendReport report;
    if (m_endpoint.SendTo(datagram.data(), datagram.size, m_config.port, m_config.destination.c_str()) >= 0)
        report.sent = true;
    else
        report.failures.push_back({{}, m_endpoint.LastError()});
    return report;
}

SendReport Transport::SendUnicast(const Datagram& datagram, std::string_view host, unsigned interfaceIndex)
{
    if (m_interfaces && !m_interfacesRead)
        RefreshInterfaces();
    const std::string destination(host);
    const std::optional<NetworkInterface> via = InterfaceByIndex(interfaceIndex);
    SendReport report;
    const int sent = via ? m_endpoint.SendOutOf(via->index, datagram.data(), datagram.size, m_config.port,
                                                destination.c_str())
                         : m_endpoint.SendTo(datagram.data(), datagram.size, m_config.port, destination.c_str());
    if (sent >= 0) {
        report.sent = true;
        if (via)
            report.sentOn.push_back(via->index);
    } else {
        report.failures.push_back({via ? via->name : std::string(), m_endpoint.LastError()});
    }
    return report;
}

SendReport Transport::Send(Request request, const Datagram& datagram, unsigned only)
{
    if (m_interfaces && !m_interfacesRead)
        RefreshInterfaces();
    if (!m_interfaces || !m_interfacesListed)
        return SendByRoute(datagram);
    std::vector<NetworkInterface> targets = m_interfaces->All();
    if (only != 0 && std::any_of(targets.begin(), targets.end(), [&](const auto& usable) { return usable.index == only; }))
        std::erase_if(targets, [&](const NetworkInterface& usable) { return usable.index != only; });

    SendReport report;
    report.sent = targets.empty() && request == Request::Discovery;
    for (const NetworkInterface& target : targets) {
        if (m_endpoint.SendOutOf(target.index, datagram.data(), datagram.size, m_config.port,
                                 m_config.destination.c_str()) >= 0) {
            report.sent = true;
            report.sentOn.push_back(target.index);
        } else {
            report.failures.push_back({target.name, m_endpoint.LastError()});
        }
    }
    return report;
}

void Transport::Await(ReplyHandler& handler, const MacBytes& mac, std::string_view address, Awaited what)
{
    std::lock_guard lock(m_routesLock);
    const Route awaiting{&handler, mac, std::string(address), what, ++m_routeGeneration};
    const auto known = std::find_if(m_routes.begin(), m_routes.end(),
                                    [&](const Route& route) { return route.handler == &handler; });
    if (known != m_routes.end() && known->what == Awaited::Result && (what != Awaited::Result || known->mac != mac))
        AnnounceResultRoute(*known, false);
    if (what == Awaited::Result)
        AnnounceResultRoute(awaiting, true);
    if (known != m_routes.end())
        *known = awaiting;
    else
        m_routes.push_back(awaiting);
}

void Transport::StopAwaiting(ReplyHandler& handler)
{
    std::lock_guard lock(m_routesLock);
    for (const Route& route : m_routes) {
        if (route.handler == &handler && route.what == Awaited::Result)
            AnnounceResultRoute(route, false);
    }
    std::erase_if(m_routes, [&](const Route& route) { return route.handler == &handler; });
}

void Transport::AnnounceResultRoute(const Route& route, bool awaits)
{
    if (!m_copies.OthersListen())
        return;
    TellCopies(awaits ? m_copies.Commanding(route.mac, route.address) : m_copies.Settled(route.mac, route.address));
}

void Transport::TellCopies(const CopyChannel::Message& message, ISocket* socket)
{
    if (socket)
        socket->SendOutOf(CopyChannel::LoopbackInterface, message.data(), message.size(), m_config.port,
                          CopyChannel::Address);
    else
        m_endpoint.SendOutOf(CopyChannel::LoopbackInterface, message.data(), message.size(), m_config.port,
                             CopyChannel::Address);
}

void Transport::AddObserver(TransportObserver& observer)
{
    std::lock_guard lock(m_observersLock);
    if (std::find(m_observers.begin(), m_observers.end(), &observer) == m_observers.end())
        m_observers.push_back(&observer);
}

void Transport::RemoveObserver(TransportObserver& observer)
{
    std::unique_lock lock(m_observersLock);
    std::erase(m_observers, &observer);
    // Inside a call the receive thread waits for, that thread cannot end its
    // call to the observer before this returns.
    if (m_uiCallDepth > 0)
        return;
    while (m_calling == &observer) {
        lock.unlock();
        m_ui.WaitServing(1);
        lock.lock();
    }
}

template <typename Tell>
void Transport::EachObserver(Tell&& tell)
{
    {
        std::lock_guard lock(m_observersLock);
        m_observerSnapshot.assign(m_observers.begin(), m_observers.end());
    }
    for (TransportObserver* observer : m_observerSnapshot) {
        {
            std::lock_guard lock(m_observersLock);
            // Removed since the snapshot: not called again.
            if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
                continue;
            m_calling = observer;
        }
        tell(*observer);
        std::lock_guard lock(m_observersLock);
        m_calling = nullptr;
    }
}

void Transport::TellReceiveFailed(ReceiveFailure failure)
{
    std::vector<TransportObserver*> observers;
    {
        std::lock_guard lock(m_observersLock);
        observers = m_observers;
    }
    for (TransportObserver* observer : observers) {
        std::unique_lock lock(m_observersLock);
        if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
            continue;
        lock.unlock();
        observer->ReceiveFailed(failure);
    }
}

void Transport::RouteReply(const ReplyDatagram& reply, unsigned arrival, std::int64_t nowMs)
{
    const bool isResult = reply.type() == TypeCommandReply;
    const Awaited kind = isResult ? Awaited::Result : Awaited::Detail;
    const MacBytes mac = reply.macAddress();
    const bool zeroMac = mac == MacBytes{};
    ReplyHandler* target = nullptr;
    std::uint64_t generation = 0;
    MacBytes awaitedMac{};
    {
        std::lock_guard lock(m_routesLock);
        int fromAddress = 0;
        for (const Route& route : m_routes) {
            if (route.what != kind)
                continue;
            if (route.mac == mac && !zeroMac) {
                target = route.handler;
                generation = route.generation;
                awaitedMac = route.mac;
                fromAddress = 1;
                break;
            }
            if (isResult && zeroMac && !route.address.empty() && route.address == reply.sender()) {
                if (++fromAddress == 1) {
                    target = route.handler;
                    generation = route.generation;
                    awaitedMac = route.mac;
                }
            }
        }
        // A zero-MAC result from an address with two commands outstanding
        // could be either's.
        if (fromAddress != 1)
            target = nullptr;
    }
    if (!target)
        return;
    if (!isResult) {
        EntryTextBuffer work;
        if (!AnswersDetailQuery(reply, work))
            return;
    }
    const std::optional<std::string> contender =
        isResult ? m_copies.Contender(mac, awaitedMac, reply.sender(), nowMs) : std::nullopt;
    // The entry is looked up again on the user-interface thread: the job may
    // have moved on (or gone) since, and only the same awaiting may hear it.
    CallUi([&] {
        {
            std::lock_guard lock(m_routesLock);
            const auto it = std::find_if(m_routes.begin(), m_routes.end(),
                                         [&](const Route& route) { return route.handler == target; });
            if (it == m_routes.end() || it->generation != generation)
                return;
        }
        if (contender)
            target->ContestedResult(reply, *contender);
        else if (isResult)
            target->ResultReply(reply, arrival);
        else
            target->DetailReply(reply, arrival);
    });
}

bool Transport::StartReceiveThread()
{
    if (m_bThreadStarted)
        return true;
    auto context = std::make_shared<ThreadContext>();
    context->backoffWait = m_config.backoffWait;
    context->firstBackoff = m_config.firstBackoff;
    context->maxBackoff = m_config.maxBackoff;
    m_context = context;
    if (!m_config.launchThread(m_recvThread, [this, context] { ServiceSocketThread(context); })) {
        m_context.reset();
        TellReceiveFailed(ReceiveFailure::Launch);
        return false;
    }
    m_bThreadStarted = true;
    // Wait until the thread holds the socket: from then on every datagram
    // queued for it is the thread's to take.
    {
        std::unique_lock lock(context->mutex);
        context->cv.wait_for(lock, kThreadStartBound, [&] { return context->attached || context->ended; });
    }
    if (m_listening)
        TellCopies(m_copies.Hello());
    return true;
}

bool Transport::CallUi(FunctionRef<void()> call)
{
    if (m_context && m_context->stop.load())
        return false;
    return m_ui.Invoke([&] {
        ++m_uiCallDepth;
        call();
        --m_uiCallDepth;
    });
}

void Transport::BeginStop()
{
    // The flag goes first: the thread ends when its receive returns, woken by
    // the stop datagram the owner sends, by anything else that arrives, or
    // by StopReceiveThread.
    if (m_context)
        m_context->stop = true;
}

void Transport::ServiceSocketThread(std::shared_ptr<ThreadContext> context)
{
    PeerAddress sender{};
    if (!m_sockets.StartupThread()) {
        m_ui.Post(m_startupFailure);
        context->Signal(context->attached);
        context->Signal(context->ended);
        return;
    }
    const SocketHandle handle = g_hRecvSocket.exchange(InvalidSocket);
    std::unique_ptr<ISocket> socket = handle == InvalidSocket ? nullptr : m_sockets.Attach(handle);
    if (socket && m_config.receiveBufferBytes > 0)
        m_receiveBufferGranted = socket->SetReceiveBufferSize(m_config.receiveBufferBytes);
    m_listening = socket != nullptr;
    {
        std::lock_guard lock(context->mutex);
        context->socket = socket.get();
    }
    context->Signal(context->attached);

    // Without a socket nothing can ever arrive: end at once rather than fail
    // receives for ever. The tool then behaves as when no device answers.
    // The buffer has room for any reply and any message of another copy;
    // what the last receive may have written is cleared before the next.
    std::array<std::uint8_t, CopyChannel::MessageMax> buffer{};
    std::size_t written = 0;
    std::chrono::milliseconds backoff{0};
    // While another copy listens, every broadcast wakes each copy: in a
    // burst of answers, a thread that has just emptied its queue waits a
    // moment and then takes what came meanwhile at once, rather than waking
    // for each datagram, so that the copies (and, on one computer, whoever
    // sends) share the processors. A lone answer is still taken at once.
    bool burst = false;
    bool paused = false;
    while (socket && !context->stop.load()) {
        std::fill_n(buffer.begin(), written, std::uint8_t{0});
        std::uint16_t port = 0;
        // Replies gathered to pass on wait only while more are queued.
        const int received = m_passing.empty() && !burst
                                 ? socket->ReceiveFrom(buffer.data(), buffer.size(), sender, port)
                                 : socket->ReceiveQueued(buffer.data(), buffer.size(), sender, port);
        const int error = received < 0 ? m_sockets.LastError() : 0;
        written = received < 0 ? buffer.size() : static_cast<std::size_t>(received);
        if (received < 0 && !m_passing.empty()) {
            PassOnGathered(*socket);
            if (error == EAGAIN && !burst)
                continue;
        }
        if (received < 0 && error == EAGAIN && burst) {
            burst = !std::exchange(paused, true);
            if (burst && !context->Pause(BurstPause))
                break;
            continue;
        }
        paused = false;
        burst = received >= 0 && m_copies.OthersListen();
        if (context->stop.load())
            break;
        const std::int64_t nowMs = NowMs();
        const std::span<const std::uint8_t> datagram(buffer.data(), received > 0 ? written : 0);
        if (CopyChannel::IsMessage(datagram)) {
            backoff = std::chrono::milliseconds{0};
            if (!ThroughChannel(*context, *socket, datagram, sender, nowMs))
                break;
            continue;
        }
        if ((received < 0 && error == EMSGSIZE) || datagram.size() > ReceiveBufferSize) {
            // A datagram too large for any reply was read and dropped: the
            // socket is well, and the replies queued behind it must not wait.
            m_oversizedDropped.fetch_add(1, std::memory_order_relaxed);
            backoff = std::chrono::milliseconds{0};
            continue;
        }
        if (received < 0) {
            // A socket that keeps failing must not spin: wait longer after
            // every failure, up to the bound.
            backoff = backoff.count() == 0 ? context->firstBackoff : std::min(backoff * 2, context->maxBackoff);
            if (!context->Backoff(backoff))
                break;
            continue;
        }
        backoff = std::chrono::milliseconds{0};
        if (!Dispatch(*context, *socket, datagram, sender, nowMs))
            break;
    }
    if (socket)
        PassOnGathered(*socket);
    m_listening = false;
    // Ended is told while the socket is still held: the owner joins the
    // thread after it, and the join waits for the close. Until then the
    // socket counts as busy, so a virtual clock that moves only while every
    // socket is idle cannot run ahead while this thread winds down.
    {
        std::lock_guard lock(context->mutex);
        context->socket = nullptr;
    }
    context->Signal(context->ended);
    socket.reset();
}

std::int64_t Transport::NowMs() const
{
    return m_config.now ? m_config.now()
                        : std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
}

bool Transport::Dispatch(ThreadContext& context, ISocket& socket, std::span<const std::uint8_t> datagram,
                         const PeerAddress& sender, std::int64_t nowMs)
{
    if (datagram.empty())
        return true;
    const ReplyDatagram reply(datagram.data(), datagram.size(), sender.text);
    const std::uint32_t type = reply.type();
    // Requests are the tool's own broadcasts (or another copy's). A stop
    // datagram ends nothing here: only this process's own close does,
    // through the stop flag, so another copy closing, or anyone sending
    // these bytes, cannot silence this one.
    if (type == TypeQuery)
        EachObserver([&](TransportObserver& observer) { observer.QueryHeard(sender.interfaceIndex); });
    if (type == TypeQuery || type == TypeCommand || type == TypeStop)
        return true;
    // Addressed to this computer, it reached this copy alone.
    if (sender.toThisHost && m_copies.OthersListen() && !m_copies.Pass(m_passing, datagram, sender)) {
        PassOnGathered(socket);
        m_copies.Pass(m_passing, datagram, sender);
    }
    if (m_echoes.IsEcho(datagram, sender, nowMs))
        return true;
    std::lock_guard dispatching(context.dispatchMutex);
    if (context.abandoned)
        return false;
    if (m_config.replyObserver)
        m_config.replyObserver();
    RouteReply(reply, sender.interfaceIndex, nowMs);
    EachObserver([&](TransportObserver& observer) { observer.ReplyReceived(reply, sender.interfaceIndex); });
    return true;
}

void Transport::PassOnGathered(ISocket& socket)
{
    if (m_passing.empty())
        return;
    // The last other copy may have said Bye since.
    if (m_copies.OthersListen())
        TellCopies(m_passing, &socket);
    m_passing.clear();
}

bool Transport::ThroughChannel(ThreadContext& context, ISocket& socket, std::span<const std::uint8_t> message,
                               const PeerAddress& sender, std::int64_t nowMs)
{
    if (sender.interfaceIndex != CopyChannel::LoopbackInterface)
        return true;
    bool more = true;
    m_copies.Take(
        message, nowMs, [&](const CopyChannel::Message& answer) { TellCopies(answer, &socket); },
        [&] {
            std::lock_guard lock(m_routesLock);
            for (const Route& route : m_routes) {
                if (route.what == Awaited::Result)
                    TellCopies(m_copies.Commanding(route.mac, route.address), &socket);
            }
        },
        [&](std::span<const std::uint8_t> reply, const PeerAddress& from) {
            more = Dispatch(context, socket, reply, from, nowMs);
            return more;
        });
    return more;
}

void Transport::StopReceiveThread()
{
    std::shared_ptr<ThreadContext> context = m_context;
    if (!context || !m_recvThread.joinable())
        return;
    context->stop = true;
    if (m_listening)
        TellCopies(m_copies.Bye());
    {
        // A datagram to the shared port could wake another copy instead.
        std::lock_guard lock(context->mutex);
        if (context->socket)
            context->socket->Close();
        context->cv.notify_all();
    }
    auto ended = [&] {
        std::lock_guard lock(context->mutex);
        return context->ended;
    };
    const auto deadline = std::chrono::steady_clock::now() + m_config.stopTimeout;
    while (!ended() && std::chrono::steady_clock::now() < deadline) {
        // Serves a call the thread may be waiting on.
        m_ui.WaitServing(kStopServeSliceMs);
    }
    if (ended()) {
        m_recvThread.join();
    } else {
        {
            std::lock_guard lock(context->dispatchMutex);
            context->abandoned = true;
        }
        m_recvThread.detach();
    }
}

} // namespace pemblor
