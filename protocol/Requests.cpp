#include "protocol/Requests.h"

#include "protocol/DatagramType.h"
#include "protocol/MacText.h"

#include <string>
#include <vector>

namespace pemblor {

Datagram BuildDiscoveryRequest()
{
    return EncodeDatagram(TypeQuery, MacBytes{}, {}, {},
                          {"flash get SSID", "flash get IP_ADDR", "flash get CURRENT_SUBNET_MASK",
                           "flash get CHANNEL"});
}

Datagram BuildDetailQuery(std::string_view macText)
{
    return EncodeDatagram(TypeQuery, ParseMacText(macText), {}, {},
                          {"flash get IP_ADDR", "flash get SUBNET_MASK", "flash get DEFAULT_GATEWAY",
                           "flash get DHCP"});
}

Datagram BuildSettingsChange(std::string_view macText, std::string_view userName, std::string_view password,
                             const SettingsChange& change)
{
    std::vector<std::string> owned;
    if (change.ipAddress)
        owned.push_back(std::string("flash set IP_ADDR ").append(*change.ipAddress));
    if (change.subnetMask)
        owned.push_back(std::string("flash set SUBNET_MASK ").append(*change.subnetMask));
    if (change.gateway)
        owned.push_back(std::string("flash set DEFAULT_GATEWAY ").append(*change.gateway));
    if (change.dhcp)
        owned.push_back("flash set DHCP " + std::to_string(*change.dhcp));
    const std::vector<std::string_view> texts(owned.begin(), owned.end());
    return EncodeDatagram(TypeCommand, ParseMacText(macText), userName, password, texts);
}

Datagram BuildRebootRequest(std::string_view macText, std::string_view userName, std::string_view password)
{
    return EncodeDatagram(TypeCommand, ParseMacText(macText), userName, password, {"reboot"});
}

Datagram BuildStopDatagram()
{
    return EncodeDatagram(TypeStop, MacBytes{}, {}, {}, std::span<const std::string_view>{});
}

} // namespace pemblor
