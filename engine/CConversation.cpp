#include "engine/CConversation.h"

#include "engine/DetailEntries.h"
#include "engine/FormatError.h"
#include "protocol/EntryText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"
#include "toolkit/IToolkit.h"

#include <array>
#include <condition_variable>
#include <system_error>

namespace pemblor {

// What the receive thread shares with the window. Held by both through a
// shared pointer, so that a thread the window could not wait for never
// touches freed memory.
struct CConversation::ThreadContext {
    std::mutex mutex;
    std::condition_variable cv;
    bool attached = false; // the thread holds the receive socket (or gave up)
    bool ended = false;
    std::atomic<bool> stop{false};
    // Held while a datagram is dispatched; `abandoned` is set under it when
    // the window stops waiting for the thread.
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

} // namespace

CConversation::CConversation(IToolkit& toolkit, ISocketLayer& sockets, ConversationConfig config)
    : m_toolkit(toolkit)
    , m_sockets(sockets)
    , m_config(std::move(config))
    , m_endpoint(sockets, m_config.port)
{
    if (!m_config.launchThread)
        m_config.launchThread = LaunchStdThread;
}

CConversation::~CConversation()
{
    StopReceiveThread();
}

bool CConversation::OpenEndpoint(IWindow& window)
{
    m_pWindow = &window;
    return m_endpoint.Open(g_hRecvSocket, [this](const std::string& message) { m_toolkit.MessageBox(m_pWindow, message); });
}

int CConversation::SendRequest(const Datagram& datagram)
{
    return m_endpoint.SendTo(datagram.data(), datagram.size, m_config.port, m_config.destination.c_str());
}

int CConversation::LastError() const
{
    return m_endpoint.LastError();
}

void CConversation::ArmTimer(unsigned periodMs)
{
    if (m_pWindow)
        m_nTimerId = m_toolkit.SetTimer(*m_pWindow, 1, periodMs);
}

void CConversation::DisarmTimer()
{
    if (m_pWindow)
        m_toolkit.KillTimer(*m_pWindow, m_nTimerId.load());
}

void CConversation::AttachSetupIpDlg(SetupIpTarget* dialog, const std::string& ipAddress)
{
    std::lock_guard lock(m_dialogLock);
    dialog->m_strIpAddress = ipAddress;
    m_pSetupIpDlg.store(dialog);
}

std::string CConversation::DetachSetupIpDlg()
{
    // Waits for a detail reply that is being stored, so the address read here
    // is the last one the device answered from.
    std::lock_guard lock(m_dialogLock);
    SetupIpTarget* dialog = m_pSetupIpDlg.exchange(nullptr);
    return dialog ? dialog->m_strIpAddress : std::string();
}

bool CConversation::CallWindow(FunctionRef<void()> call)
{
    if (StopRequested())
        return false;
    bool ran = false;
    auto guarded = [&] {
        if (m_pWindow) {
            call();
            ran = true;
        }
    };
    return m_toolkit.InvokeOnUiThread(guarded) && ran;
}

void CConversation::PostToWindow(std::function<void()> call)
{
    std::weak_ptr<int> alive = m_alive;
    m_toolkit.PostToUiThread([this, alive, call = std::move(call)] {
        if (alive.lock() && m_pWindow)
            call();
    });
}

bool CConversation::StopRequested() const
{
    return m_context && m_context->stop.load();
}

bool CConversation::StartReceiveThread()
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
        m_toolkit.MessageBox(m_pWindow, "Cannot Create ServiceSocket Thread");
        return false;
    }
    m_bThreadStarted = true;
    // Wait until the thread holds the socket: from then on every datagram
    // queued for it is the thread's to take.
    std::unique_lock lock(context->mutex);
    context->cv.wait_for(lock, kThreadStartBound, [&] { return context->attached || context->ended; });
    return true;
}

void CConversation::ServiceSocketThread(std::shared_ptr<ThreadContext> context)
{
    PeerAddress sender{};
    if (!m_sockets.StartupThread()) {
        PostToWindow([this] { m_toolkit.MessageBox(m_pWindow, "Socket Init Error"); });
        context->Signal(context->attached);
        context->Signal(context->ended);
        return;
    }
    const SocketHandle handle = g_hRecvSocket.exchange(InvalidSocket);
    std::unique_ptr<ISocket> socket = handle == InvalidSocket ? nullptr : m_sockets.Attach(handle);
    if (socket && m_config.receiveBufferBytes > 0)
        m_nReceiveBufferGranted = socket->SetReceiveBufferSize(m_config.receiveBufferBytes);
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
        if (type == TypeQuery || type == TypeCommand)
            continue;
        if (type == TypeStop)
            break;
        std::lock_guard dispatching(context->dispatchMutex);
        if (context->abandoned)
            break;
        if (m_config.replyObserver)
            m_config.replyObserver();
        Dispatch(reply);
    }
    socket.reset();
    context->Signal(context->ended);
}

void CConversation::Dispatch(const ReplyDatagram& reply)
{
    switch (m_nState.load()) {
    case Discovering:
        AddDiscoveredDevice(reply);
        break;
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

void CConversation::TakeDetailReply(const ReplyDatagram& reply)
{
    // The re-read loop waits for DetailReceived without serving this thread's
    // calls, so the state goes first, before any call to the window.
    int expected = QueryingDetail;
    m_nState.compare_exchange_strong(expected, DetailReceived);

    bool stored = false;
    {
        std::lock_guard lock(m_dialogLock);
        if (SetupIpTarget* dialog = m_pSetupIpDlg.load()) {
            dialog->m_strIpAddress.assign(reply.sender());
            EntryTextBuffer work;
            ForEachSetting(reply, work, [&](std::string_view name, std::string_view value) {
                dialog->SetSetting(name, value);
            });
            stored = true;
        }
    }
    if (!stored)
        return;
    // Disarming and filling happen together on the user-interface thread and
    // only while a dialog is still open there; a dialog that closed meanwhile
    // has been detached and is not touched.
    CallWindow([this] {
        if (SetupIpTarget* dialog = m_pSetupIpDlg.load()) {
            DisarmTimer();
            dialog->FillControls();
        }
    });
}

void CConversation::TakeCommandResult(const ReplyDatagram& reply)
{
    if (reply.type() == TypeCommandReply && m_pSetupIpDlg.load()) {
        CallWindow([this] {
            if (m_pSetupIpDlg.load())
                DisarmTimer();
        });
        std::lock_guard lock(m_dialogLock);
        if (SetupIpTarget* dialog = m_pSetupIpDlg.load())
            dialog->m_nResult.store(reply.resultCode());
    }
    // The poll reads the result only after the state has left
    // AwaitingSetResult; the result above is stored first.
    int expected = AwaitingSetResult;
    m_nState.compare_exchange_strong(expected, Idle);
}

void CConversation::OnTimer(unsigned /*id*/)
{
    switch (m_nState.load()) {
    case Discovering:
        ReturnToIdle();
        if (m_nDeviceCount.load() == 0)
            m_toolkit.MessageBox(m_pWindow, "Find no devices!");
        break;
    case QueryingDetail:
        ReturnToIdle();
        if (SetupIpTarget* dialog = m_pSetupIpDlg.load()) {
            m_toolkit.MessageBox(dialog->GetWindow(), "Time Out!");
            dialog = m_pSetupIpDlg.load();
            if (dialog && dialog->GetWindow())
                m_toolkit.PostClose(*dialog->GetWindow());
        }
        break;
    case AwaitingSetResult:
        ReturnToIdle();
        if (SetupIpTarget* dialog = m_pSetupIpDlg.load()) {
            m_toolkit.MessageBox(dialog->GetWindow(), "Time Out!");
            if ((dialog = m_pSetupIpDlg.load()))
                dialog->FillControls();
        }
        break;
    default:
        break;
    }
    m_nState = Idle;
}

void CConversation::SendStopDatagram()
{
    m_nState = Closing;
    if (SendRequest(BuildStopDatagram()) < 0)
        m_toolkit.MessageBox(m_pWindow, FormatError("skSend.SendTo: %d\n", LastError()));
}

void CConversation::StopReceiveThread()
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
        m_toolkit.WaitOnUiThread(10);
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
