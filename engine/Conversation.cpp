#include "engine/Conversation.h"

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

bool Conversation::Send(Request request, const Datagram& datagram)
{
    const SendReport report = m_transport.Send(request, datagram);
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
    if (m_nState.load() == Discovering) {
        const std::optional<NetworkInterface> heardOn = m_transport.InterfaceByIndex(arrival);
        if (m_listener.DeviceFound(reply, heardOn ? *heardOn : NetworkInterface{}))
            m_nDeviceCount.fetch_add(1);
    }
}

void Conversation::OnTimer()
{
    if (m_nState.load() == Discovering) {
        m_nState = Idle;
        // Without a receive thread that listens, nothing could be heard, so
        // nothing can be told from what was not.
        m_listener.DiscoveryEnded(m_nDeviceCount.load(), m_nDeviceCount.load() == 0 && m_transport.Listening()
                                                             ? m_watch.Diagnose()
                                                             : SilenceDiagnosis{});
    }
    m_nState = Idle;
}

void Conversation::StopReceiveThread()
{
    m_transport.StopReceiveThread();
}

} // namespace pemblor
