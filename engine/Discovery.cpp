#include "engine/Discovery.h"

#include "engine/DeviceRegistry.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

namespace pemblor {

namespace {

constexpr unsigned kDiscoveryPeriodMs = 5000;

} // namespace

Discovery::Discovery(Transport& transport, DeviceRegistry& registry, UiDispatcher& ui, DiscoveryListener& listener,
                     Clock now)
    : m_transport(transport)
    , m_registry(registry)
    , m_ui(ui)
    , m_listener(listener)
    , m_now(std::move(now))
{
    m_transport.AddObserver(*this);
}

bool Discovery::Send(Request request, const Datagram& datagram)
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

void Discovery::BeginDiscovery()
{
    m_bQuiet = false;
    m_nDeviceCount = 0;
    m_nState = Discovering;
    if (const InterfaceSet* interfaces = m_transport.Interfaces()) {
        const bool listed = m_transport.RefreshInterfaces();
        m_watch.Begin(interfaces->All(), listed, interfaces->WithoutLink());
    }
    m_reversePath.Begin(m_transport.ReversePathFilter());
}

bool Discovery::SendDiscovery()
{
    m_nState = Discovering;
    m_registry.BeginRound();
    if (!Send(Request::Discovery, BuildDiscoveryRequest()))
        return false;
    m_ui.ArmTimer(kDiscoveryPeriodMs);
    return true;
}

bool Discovery::BeginQuietRound()
{
    ReturnToIdle();
    BeginDiscovery();
    m_bQuiet = true;
    return SendDiscovery();
}

void Discovery::Close()
{
    m_nState = Closing;
    // The flag goes first: the thread ends when its receive returns, woken by
    // the stop datagram below (or by anything else that arrives).
    m_transport.BeginStop();
    Send(Request::Stop, BuildStopDatagram());
}

void Discovery::QueryHeard(unsigned arrival)
{
    // A query heard during a discovery shows that inbound datagrams pass on
    // its interface.
    if (m_nState.load() == Discovering)
        m_watch.Heard(arrival);
}

void Discovery::ReplyReceived(const ReplyDatagram& reply, unsigned arrival)
{
    if (m_nState.load() == Discovering) {
        const std::optional<NetworkInterface> heardOn = m_transport.InterfaceByIndex(arrival);
        if (m_registry.Record(reply, heardOn ? *heardOn : NetworkInterface{}, m_now ? m_now() : 0).added)
            m_nDeviceCount.fetch_add(1);
    }
}

void Discovery::OnTimer()
{
    if (m_nState.load() == Discovering) {
        m_nState = Idle;
        const InterfaceSet* interfaces = m_transport.Interfaces();
        std::optional<ReversePathNote> dropped =
            m_reversePath.End(interfaces ? interfaces->All() : std::vector<NetworkInterface>());
        const int found = m_nDeviceCount.load();
        // Without a receive thread that listens, nothing could be heard, so
        // nothing can be told from what was not. With devices found, the
        // filter's drops are a note that others may be missing.
        SilenceDiagnosis told;
        if (found == 0 && m_transport.Listening())
            told = m_watch.Diagnose(std::move(dropped));
        else
            told.reversePath = std::move(dropped);
        m_listener.DiscoveryEnded(found, told);
    }
    m_nState = Idle;
}

} // namespace pemblor
