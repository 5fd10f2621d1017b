#include "engine/Conversation.h"

#include "engine/DetailEntries.h"
#include "engine/DetailTarget.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <system_error>

namespace pemblor {

// What the receive thread shares with the conversation. Held by both through
// a shared pointer, so that a thread the conversation could not wait for
// never touches freed memory.
struct Conversation::ThreadContext {
    std::mutex mutex;
    std::condition_variable cv;
    bool attached = false; // the thread holds the receive socket (or gave up)
    bool ended = false;
    // Set by this process only: its own close, or the conversation ending.
    std::atomic<bool> stop{false};
    // Held while a datagram is dispatched; `abandoned` is set under it when
    // the conversation stops waiting for the thread.
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
        std::unique_lock lock(mutex);
        cv.wait_for(lock, delay, [&] { return stop.load(); });
        return !stop.load();
    }
};

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
constexpr unsigned kDiscoveryPeriodMs = 5000;
constexpr unsigned kDetailTimeoutMs = 5000;
constexpr unsigned kSetResultTimeoutMs = 10000;
constexpr unsigned kStopServeSliceMs = 10;

} // namespace

Conversation::Conversation(ISocketLayer& sockets, UiDispatcher& ui, ConversationListener& listener,
                           ConversationConfig config)
    : m_sockets(sockets)
    , m_ui(ui)
    , m_listener(listener)
    , m_config(std::move(config))
    , m_endpoint(sockets, m_config.port)
    , m_startupFailure(listener)
{
    if (!m_config.launchThread)
        m_config.launchThread = LaunchStdThread;
    if (m_config.interfaces)
        m_interfaces.emplace(*m_config.interfaces);
}

Conversation::~Conversation()
{
    StopReceiveThread();
    m_ui.Cancel(m_startupFailure);
}

EndpointResult Conversation::Open()
{
    return m_endpoint.Open(g_hRecvSocket);
}

bool Conversation::SendByRoute(Request request, const Datagram& datagram)
{
    if (m_endpoint.SendTo(datagram.data(), datagram.size, m_config.port, m_config.destination.c_str()) >= 0)
        return true;
    m_listener.SendFailed(request, m_endpoint.LastError(), {});
    return false;
}

bool Conversation::Send(Request request, const Datagram& datagram, unsigned only)
{
    if (m_interfaces && !m_interfacesRead) {
        m_interfacesListed = m_interfaces->Refresh();
        m_interfacesRead = true;
    }
    if (!m_interfaces || !m_interfacesListed)
        return SendByRoute(request, datagram);
    std::vector<NetworkInterface> targets = m_interfaces->All();
    if (only != 0 && std::any_of(targets.begin(), targets.end(), [&](const auto& usable) { return usable.index == only; }))
        std::erase_if(targets, [&](const NetworkInterface& usable) { return usable.index != only; });

    // Every interface is tried before any failure is told: telling may wait
    // for the user, and the other interfaces must not wait with it.
    struct Failure {
        std::string name;
        int error;
    };
    std::vector<Failure> failures;
    bool sent = targets.empty() && request == Request::Discovery;
    for (const NetworkInterface& target : targets) {
        if (m_endpoint.SendOutOf(target.index, datagram.data(), datagram.size, m_config.port,
                                 m_config.destination.c_str()) >= 0) {
            sent = true;
            if (request == Request::Discovery)
                m_watch.Sent(target.index);
        } else {
            failures.push_back({target.name, m_endpoint.LastError()});
        }
    }
    for (const Failure& failure : failures)
        m_listener.SendFailed(request, failure.error, failure.name);
    return sent;
}

void Conversation::BeginDiscovery()
{
    m_nDeviceCount = 0;
    m_nState = Discovering;
    if (m_interfaces) {
        m_interfacesListed = m_interfaces->Refresh();
        m_interfacesRead = true;
        m_watch.Begin(m_interfaces->All(), m_interfacesListed);
    }
}

std::optional<NetworkInterface> Conversation::InterfaceNamed(std::string_view name) const
{
    return m_interfaces ? m_interfaces->ByName(name) : std::nullopt;
}

unsigned Conversation::DeviceInterface() const
{
    std::lock_guard lock(m_deviceLock);
    return m_deviceInterface;
}

bool Conversation::SendDiscovery()
{
    m_nState = Discovering;
    if (!Send(Request::Discovery, BuildDiscoveryRequest()))
        return false;
    m_ui.ArmTimer(kDiscoveryPeriodMs);
    return true;
}

void Conversation::ReturnToIdle()
{
    m_nState = Idle;
}

void Conversation::DisarmTimer()
{
    m_ui.DisarmTimer();
}

void Conversation::SelectDevice(std::string_view macText, DetailTarget& target, std::string address,
                                std::string_view interfaceName)
{
    const std::optional<NetworkInterface> heardOn = InterfaceNamed(interfaceName);
    std::lock_guard lock(m_deviceLock);
    m_deviceInterface = heardOn ? heardOn->index : 0;
    m_deviceSelected = true;
    m_deviceMacText.assign(macText);
    m_deviceMac = ParseMacText(macText);
    m_deviceAddress = std::move(address);
    m_target = &target;
}

std::string Conversation::ReleaseDevice()
{
    std::lock_guard lock(m_deviceLock);
    m_deviceSelected = false;
    m_target = nullptr;
    return m_deviceAddress;
}

std::string Conversation::DeviceAddress() const
{
    std::lock_guard lock(m_deviceLock);
    return m_deviceAddress;
}

void Conversation::ExpectDetail()
{
    m_nState = QueryingDetail;
}

bool Conversation::DeviceRequestAllowed(Request request)
{
    // Without a device the MAC would be all zero, which every agent takes as
    // its own.
    if (m_deviceSelected)
        return true;
    m_listener.SendFailed(request, EDESTADDRREQ, {});
    return false;
}

bool Conversation::BeginDetailQuery(bool armTimeout)
{
    m_nState = QueryingDetail;
    if (!DeviceRequestAllowed(Request::DetailQuery) ||
        !Send(Request::DetailQuery, BuildDetailQuery(m_deviceMacText), DeviceInterface()))
        return false;
    if (armTimeout)
        m_ui.ArmTimer(kDetailTimeoutMs);
    return true;
}

bool Conversation::BeginSettingsChange(std::string_view userName, std::string_view password,
                                       const SettingsChange& change)
{
    m_nState = AwaitingSetResult;
    if (!DeviceRequestAllowed(Request::SettingsChange) ||
        !Send(Request::SettingsChange, BuildSettingsChange(m_deviceMacText, userName, password, change),
              DeviceInterface()))
        return false;
    m_ui.ArmTimer(kSetResultTimeoutMs);
    return true;
}

bool Conversation::SendReboot(std::string_view userName, std::string_view password)
{
    return DeviceRequestAllowed(Request::Reboot) &&
           Send(Request::Reboot, BuildRebootRequest(m_deviceMacText, userName, password), DeviceInterface());
}

void Conversation::Close()
{
    m_nState = Closing;
    // The flag goes first: the thread ends when its receive returns, woken by
    // the stop datagram below (or by anything else that arrives).
    if (m_context)
        m_context->stop = true;
    Send(Request::Stop, BuildStopDatagram());
}

bool Conversation::StartReceiveThread()
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
        m_listener.ReceiveFailed(ReceiveFailure::Launch);
        return false;
    }
    m_bThreadStarted = true;
    // Wait until the thread holds the socket: from then on every datagram
    // queued for it is the thread's to take.
    std::unique_lock lock(context->mutex);
    context->cv.wait_for(lock, kThreadStartBound, [&] { return context->attached || context->ended; });
    return true;
}

bool Conversation::CallUi(FunctionRef<void()> call)
{
    if (m_context && m_context->stop.load())
        return false;
    return m_ui.Invoke(call);
}

void Conversation::ServiceSocketThread(std::shared_ptr<ThreadContext> context)
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
    context->Signal(context->attached);

    // Without a socket nothing can ever arrive: end at once rather than fail
    // receives for ever. The tool then behaves as when no device answers.
    std::array<std::uint8_t, ReceiveBufferSize> buffer;
    std::chrono::milliseconds backoff{0};
    while (socket && !context->stop.load()) {
        buffer.fill(0);
        std::uint16_t port = 0;
        const int received = socket->ReceiveFrom(buffer.data(), buffer.size(), sender, port);
        if (context->stop.load())
            break;
        if (received < 0) {
            // A socket that keeps failing must not spin: wait longer after
            // every failure, up to the bound.
            backoff = backoff.count() == 0 ? context->firstBackoff : std::min(backoff * 2, context->maxBackoff);
            if (!context->Backoff(backoff))
                break;
            continue;
        }
        backoff = std::chrono::milliseconds{0};
        if (received == 0)
            continue;
        const ReplyDatagram reply(buffer.data(), static_cast<std::size_t>(received), sender.text);
        const std::uint32_t type = reply.type();
        // Requests are the tool's own broadcasts (or another copy's). A stop
        // datagram ends nothing here: only this process's own close does,
        // through the stop flag, so another copy closing, or anyone sending
        // these bytes, cannot silence this one. A query heard during a
        // discovery shows that inbound datagrams pass on its interface.
        if (type == TypeQuery && m_nState.load() == Discovering)
            m_watch.Heard(sender.interfaceIndex);
        if (type == TypeQuery || type == TypeCommand || type == TypeStop)
            continue;
        std::lock_guard dispatching(context->dispatchMutex);
        if (context->abandoned)
            break;
        if (m_config.replyObserver)
            m_config.replyObserver();
        Dispatch(reply, sender.interfaceIndex);
    }
    m_listening = false;
    // Ended is told while the socket is still held: the owner joins the
    // thread after it, and the join waits for the close. Until then the
    // socket counts as busy, so a virtual clock that moves only while every
    // socket is idle cannot run ahead while this thread winds down.
    context->Signal(context->ended);
    socket.reset();
}

void Conversation::Dispatch(const ReplyDatagram& reply, unsigned arrival)
{
    switch (m_nState.load()) {
    case Discovering: {
        std::optional<NetworkInterface> heardOn;
        if (m_interfaces && arrival != 0)
            heardOn = m_interfaces->ByIndex(arrival);
        if (m_listener.DeviceFound(reply, heardOn ? *heardOn : NetworkInterface{}))
            m_nDeviceCount.fetch_add(1);
        break;
    }
    case QueryingDetail:
        TakeDetailReply(reply);
        break;
    case AwaitingSetResult:
        TakeCommandResult(reply);
        break;
    default:
        break;
    }
}

// Replies are told apart by the MAC in their header. A command result may
// carry a zero MAC (what agents put there is not settled); such a reply is
// the device's when it comes from the address the device answered from.
bool Conversation::FromSelectedDevice(const ReplyDatagram& reply, bool zeroMacFromItsAddress) const
{
    if (!m_deviceSelected)
        return false;
    const MacBytes mac = reply.macAddress();
    if (mac == m_deviceMac)
        return true;
    return zeroMacFromItsAddress && mac == MacBytes{} && reply.sender() == m_deviceAddress;
}

void Conversation::TakeDetailReply(const ReplyDatagram& reply)
{
    {
        std::lock_guard lock(m_deviceLock);
        if (!FromSelectedDevice(reply, false))
            return;
        // The re-read loop waits for DetailReceived without serving this
        // thread's calls, so the state goes first, before any call to the
        // user-interface thread.
        int expected = QueryingDetail;
        if (!m_nState.compare_exchange_strong(expected, DetailReceived))
            return;
        m_deviceAddress.assign(reply.sender());
        if (m_target) {
            EntryTextBuffer work;
            ForEachSetting(reply, work,
                           [&](std::string_view name, std::string_view value) { m_target->SetSetting(name, value); });
        }
    }
    // Disarming and telling happen together on the user-interface thread and
    // only while the device is still selected there; a dialog that closed
    // meanwhile has released it and hears nothing.
    CallUi([this] {
        bool selected = false;
        {
            std::lock_guard lock(m_deviceLock);
            selected = m_deviceSelected;
        }
        if (!selected)
            return;
        m_ui.DisarmTimer();
        m_listener.DetailStored();
    });
}

void Conversation::TakeCommandResult(const ReplyDatagram& reply)
{
    if (reply.type() != TypeCommandReply)
        return;
    {
        std::lock_guard lock(m_deviceLock);
        if (!FromSelectedDevice(reply, true))
            return;
    }
    const int result = reply.resultCode();
    // The result reaches the listener before the state leaves
    // AwaitingSetResult: a poll that sees the state changed finds it there.
    CallUi([&] {
        if (m_nState.load() != AwaitingSetResult)
            return;
        m_ui.DisarmTimer();
        m_listener.CommandResult(result);
    });
    int expected = AwaitingSetResult;
    m_nState.compare_exchange_strong(expected, Idle);
}

void Conversation::OnTimer()
{
    const int state = m_nState.load();
    switch (state) {
    case Discovering:
        m_nState = Idle;
        // Without a receive thread that listens, nothing could be heard, so
        // nothing can be told from what was not.
        m_listener.DiscoveryEnded(m_nDeviceCount.load(), m_nDeviceCount.load() == 0 && m_listening.load()
                                                             ? m_watch.Diagnose()
                                                             : SilenceDiagnosis{});
        break;
    case QueryingDetail:
    case AwaitingSetResult:
        m_nState = Idle;
        m_listener.TimedOut(static_cast<ConversationState>(state));
        break;
    default:
        break;
    }
    m_nState = Idle;
}

void Conversation::StopReceiveThread()
{
    std::shared_ptr<ThreadContext> context = m_context;
    if (!context || !m_recvThread.joinable())
        return;
    context->stop = true;
    {
        std::lock_guard lock(context->mutex);
        context->cv.notify_all();
    }
    auto ended = [&] {
        std::lock_guard lock(context->mutex);
        return context->ended;
    };
    if (!ended()) {
        // The stop datagram of the close may have been lost (or never sent):
        // wake a receive that is still waiting with one over loopback.
        const Datagram stop = BuildStopDatagram();
        m_endpoint.SendTo(stop.data(), stop.size, m_config.port, "127.0.0.1");
    }
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
