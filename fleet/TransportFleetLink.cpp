#include "fleet/TransportFleetLink.h"

#include "engine/DetailEntries.h"
#include "fleet/ReaddressJob.h"
#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"
#include "common/SettingText.h"

namespace pemblor {

class TransportFleetLink::Route final : public ReplyHandler {
public:
    Route(TransportFleetLink& owner, std::string mac)
        : m_owner(owner)
        , m_mac(std::move(mac))
        , m_bytes(ParseDeviceMac(m_mac).value_or(MacBytes{}))
    {
    }

    void DetailReply(const ReplyDatagram& reply, unsigned) override
    {
        EntryTextBuffer work;
        DeviceSettings values = ReadSettings(reply, work);
        // The fleet's records hold every field: a value the reply lacks is
        // empty, and the DHCP flag is the dialog's reading of it.
        values.ipAddr = values.ipAddr.value_or("");
        values.netmask = values.netmask.value_or("");
        values.gateway = values.gateway.value_or("");
        values.dhcp = values.DhcpOn() ? "1" : "0";
        address.assign(reply.sender());
        if (m_owner.m_job)
            m_owner.m_job->DetailHeard(FormatMacText(reply.macAddress()).view(), reply.sender(), values,
                                       m_owner.m_now());
    }
    void ResultReply(const ReplyDatagram& reply, unsigned) override
    {
        if (m_owner.m_job)
            m_owner.m_job->ResultHeard(FormatMacText(reply.macAddress()).view(), reply.sender(), reply.resultCode(),
                                       m_owner.m_now());
    }

    const std::string& Mac() const { return m_mac; }
    const MacBytes& Bytes() const { return m_bytes; }
    // Where the device answered its detail query from.
    std::string address;

private:
    TransportFleetLink& m_owner;
    std::string m_mac;
    MacBytes m_bytes;
};

TransportFleetLink::TransportFleetLink(Transport& transport, Clock now) : m_transport(transport), m_now(std::move(now))
{
}

TransportFleetLink::~TransportFleetLink()
{
    for (const auto& [mac, route] : m_routes)
        m_transport.StopAwaiting(*route);
}

TransportFleetLink::Route& TransportFleetLink::RouteOf(std::string_view mac)
{
    auto it = m_routes.find(mac);
    if (it == m_routes.end())
        it = m_routes.emplace(std::string(mac), std::make_unique<Route>(*this, std::string(mac))).first;
    return *it->second;
}

bool TransportFleetLink::Sent(Request request, const Datagram& datagram, std::string& error)
{
    const SendReport report = m_transport.Send(request, datagram);
    for (const SendReport::Failure& failure : report.failures) {
        if (!error.empty())
            error += "; ";
        error += "skSend.SendTo: " + std::to_string(failure.error);
        if (!failure.interfaceName.empty())
            error += " (" + failure.interfaceName + ")";
    }
    return report.sent;
}

bool TransportFleetLink::SendDetailQuery(std::string_view mac, std::string& error)
{
    Route& route = RouteOf(mac);
    m_transport.Await(route, route.Bytes(), {}, Awaited::Detail);
    return Sent(Request::DetailQuery, BuildDetailQuery(mac), error);
}

bool TransportFleetLink::SendSettingsChange(std::string_view mac, std::string_view user, std::string_view password,
                                            const SettingsChange& change, std::string& error)
{
    Route& route = RouteOf(mac);
    m_transport.Await(route, route.Bytes(), route.address, Awaited::Result);
    return Sent(Request::SettingsChange, BuildSettingsChange(mac, user, password, change), error);
}

bool TransportFleetLink::SendReboot(std::string_view mac, std::string_view user, std::string_view password,
                                    std::string& error)
{
    return Sent(Request::Reboot, BuildRebootRequest(mac, user, password), error);
}

bool TransportFleetLink::SendDiscovery(std::string& error)
{
    // Interfaces come and go; every round reads them afresh.
    m_transport.RefreshInterfaces();
    return Sent(Request::Discovery, BuildDiscoveryRequest(), error);
}

void TransportFleetLink::Forget(std::string_view mac)
{
    const auto it = m_routes.find(mac);
    if (it != m_routes.end())
        m_transport.StopAwaiting(*it->second);
}

void TransportFleetLink::ReplyReceived(const ReplyDatagram& reply, unsigned)
{
    if (reply.type() == TypeCommandReply)
        return;
    EntryTextBuffer work;
    const std::optional<std::string> netmask = DiscoveredNetmask(reply, work);
    const MacText mac = FormatMacText(reply.macAddress());
    m_transport.CallUi([&] {
        if (m_job)
            m_job->DiscoveryHeard(mac.view(), reply.sender(), netmask, m_now());
    });
}

} // namespace pemblor
