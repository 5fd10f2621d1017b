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

namespace {

constexpr unsigned kDiscoveryPeriodMs = 5000;
constexpr unsigned kDetailTimeoutMs = 5000;
constexpr unsigned kSetResultTimeoutMs = 10000;

} // namespace

Conversation::Conversation(ISocketLayer& sockets, UiDispatcher& ui, ConversationListener& listener,
                           ConversationConfig config)
    : m_ui(ui)
    , m_listener(listener)
    , m_transport(sockets, ui, std::move(config))
{
    m_transport.AddObserver(*this);
}

Conversation::~Conversation()
{
    StopReceiveThread();
}

EndpointResult Conversation::Open()
{
    return m_transport.Open();
}

bool Conversation::Send(Request request, const Datagram& datagram, unsigned only)
{
    const SendReport report = m_transport.Send(request, datagram, only);
    if (request == Request::Discovery)
        for (unsigned index : report.sentOn)
            m_watch.Sent(index);
    // Every interface is tried before any failure is told: telling may wait
    // for the user, and the other interfaces must not wait with it.
    for (const SendReport::Failure& failure : report.failures)
        m_listener.SendFailed(request, failure.error, failure.interfaceName);
    return report.sent;
}

void Conversation::BeginDiscovery()
{
    m_nDeviceCount = 0;
    m_nState = Discovering;
    if (const InterfaceSet* interfaces = m_transport.Interfaces()) {
        const bool listed = m_transport.RefreshInterfaces();
        m_watch.Begin(interfaces->All(), listed);
    }
}

std::optional<NetworkInterface> Conversation::InterfaceNamed(std::string_view name) const
{
    return m_transport.InterfaceNamed(name);
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
    m_transport.BeginStop();
    Send(Request::Stop, BuildStopDatagram());
}

bool Conversation::StartReceiveThread()
{
    return m_transport.StartReceiveThread();
}

void Conversation::QueryHeard(unsigned arrival)
{
    // A query heard during a discovery shows that inbound datagrams pass on
    // its interface.
    if (m_nState.load() == Discovering)
        m_watch.Heard(arrival);
}

void Conversation::ReplyReceived(const ReplyDatagram& reply, unsigned arrival)
{
    switch (m_nState.load()) {
    case Discovering: {
        const std::optional<NetworkInterface> heardOn = m_transport.InterfaceByIndex(arrival);
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
        m_listener.DiscoveryEnded(m_nDeviceCount.load(), m_nDeviceCount.load() == 0 && m_transport.Listening()
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
    m_transport.StopReceiveThread();
}

} // namespace pemblor
