#include "ctl/DeviceWriter.h"

#include "ctl/OutputText.h"
#include "format/DelimitedRow.h"
#include "common/EngineTexts.h"
#include "common/FillText.h"
#include "common/SettingText.h"
#include "engine/DeviceRegistry.h"

#include <array>
#include <iomanip>

namespace pemblor {

namespace {

std::string Joined(const std::vector<std::string>& addresses)
{
    std::string joined;
    for (const std::string& address : addresses)
        joined += (joined.empty() ? "" : ", ") + address;
    return joined;
}

// The dialog's reading of a DHCP value: its leading integer is 1.
bool DhcpEnabled(const std::string& value)
{
    return LeadingInteger(value) == 1;
}

} // namespace

std::string AlsoAnsweredText(const FoundDevice& device)
{
    return FillText(MsgAlsoAnsweredFrom, {device.mac, Joined(device.alsoAt)});
}

std::string UnlistedText(int unlisted)
{
    return FillText(MsgDevicesUnlisted, {std::to_string(DeviceRegistry::MaxDevices), std::to_string(unlisted)});
}

DeviceWriter::DeviceWriter(std::ostream& out, OutputFormat format, bool withInterface)
    : m_out(out)
    , m_format(format)
    , m_withInterface(withInterface)
{
}

void DeviceWriter::TableLine(std::string_view mac, std::string_view ip, std::string_view netmask,
                             std::string_view channel, std::string_view interfaceName, std::string_view ssid)
{
    m_out << std::left << std::setw(18) << SafeText(mac) << std::setw(16) << SafeText(ip) << std::setw(16)
          << SafeText(netmask) << std::setw(8) << SafeText(channel);
    if (m_withInterface)
        m_out << std::setw(12) << SafeText(interfaceName);
    m_out << SafeText(ssid) << '\n';
}

void DeviceWriter::CsvLine(std::vector<std::string_view> fields)
{
    // The seventh field is the interface's.
    if (!m_withInterface)
        fields.erase(fields.begin() + 6);
    m_out << CsvRow(fields);
}

void DeviceWriter::Device(const FoundDevice& device)
{
    const bool header = !m_headerDone;
    m_headerDone = true;
    switch (m_format) {
    case OutputFormat::Table:
        if (header)
            TableLine("MAC ADDRESS", "IP ADDRESS", "SUBNET MASK", "CHANNEL", "INTERFACE", "SSID");
        TableLine(device.mac, device.ip, Text(device.netmask), Text(device.channel), Text(device.interfaceName),
                  Text(device.ssid));
        break;
    case OutputFormat::Csv:
        if (header)
            CsvLine({"mac", "ssid", "ip", "ip_addr", "netmask", "channel", "interface", "Also at"});
        CsvLine({device.mac, Text(device.ssid), device.ip, Text(device.ipAddr), Text(device.netmask),
                 Text(device.channel), Text(device.interfaceName), Joined(device.alsoAt)});
        break;
    case OutputFormat::Json: {
        nlohmann::ordered_json object;
        object["mac"] = device.mac;
        object["ssid"] = JsonValue(device.ssid);
        object["ip"] = device.ip;
        object["ip_addr"] = JsonValue(device.ipAddr);
        object["netmask"] = JsonValue(device.netmask);
        object["channel"] = JsonValue(device.channel);
        if (m_withInterface)
            object["interface"] = JsonValue(device.interfaceName);
        object["also_at"] = device.alsoAt;
        m_out << JsonLine(object);
        break;
    }
    }
    m_out.flush();
}

void WriteDetail(std::ostream& out, OutputFormat format, std::string_view mac, std::string_view ip,
                 const DeviceSettings& detail)
{
    const std::string dhcp = detail.dhcp ? (DhcpEnabled(*detail.dhcp) ? "on" : "off") : "";
    switch (format) {
    case OutputFormat::Table:
        out << "MAC Address:      " << mac << '\n'
            << "Answered from:    " << SafeText(ip) << '\n'
            << "IP Address:       " << SafeText(Text(detail.ipAddr)) << '\n'
            << "Netmask:          " << SafeText(Text(detail.netmask)) << '\n'
            << "Default Gateway:  " << SafeText(Text(detail.gateway)) << '\n'
            << "DHCP Client:      " << dhcp << '\n';
        break;
    case OutputFormat::Csv: {
        const std::array<std::string_view, 6> names{"mac", "ip", "ip_addr", "netmask", "gateway", "dhcp"};
        const std::array<std::string_view, 6> fields{mac, ip, Text(detail.ipAddr), Text(detail.netmask),
                                                     Text(detail.gateway), dhcp};
        out << CsvRow(names) << CsvRow(fields);
        break;
    }
    case OutputFormat::Json: {
        nlohmann::ordered_json object;
        object["mac"] = mac;
        object["ip"] = ip;
        object["ip_addr"] = JsonValue(detail.ipAddr);
        object["netmask"] = JsonValue(detail.netmask);
        object["gateway"] = JsonValue(detail.gateway);
        object["dhcp"] = detail.dhcp ? nlohmann::ordered_json(DhcpEnabled(*detail.dhcp)) : nlohmann::ordered_json(nullptr);
        out << JsonLine(object);
        break;
    }
    }
    out.flush();
}

} // namespace pemblor
