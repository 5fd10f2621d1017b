#include "protocol/Requests.h"

#include "protocol/DatagramType.h"
#include "protocol/MacText.h"

#include <array>
#include <string>

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
    std::array<std::string, 4> owned;
    std::array<std::string_view, 4> texts;
    std::size_t count = 0;
    const auto add = [&](std::string text) {
        owned[count] = std::move(text);
        texts[count] = owned[count];
        ++count;
    };
    if (change.ipAddress)
        add(std::string("flash set IP_ADDR ").append(*change.ipAddress));
    if (change.subnetMask)
        add(std::string("flash set SUBNET_MASK ").append(*change.subnetMask));
    if (change.gateway)
        add(std::string("flash set DEFAULT_GATEWAY ").append(*change.gateway));
    if (change.dhcp)
        add("flash set DHCP " + std::to_string(*change.dhcp));
    return EncodeDatagram(TypeCommand, ParseMacText(macText), userName, password,
                          std::span<const std::string_view>(texts.data(), count));
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
