#include "ctl/Writers.h"

#include "common/EngineTexts.h"
#include "common/FillText.h"
#include "engine/DeviceRegistry.h"
#include "fleet/PlanFile.h"
#include "format/DelimitedRow.h"

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

using Json = nlohmann::ordered_json;

Json JsonValues(const std::optional<DeviceSettings>& values)
{
    if (!values)
        return nullptr;
    Json object;
    object["ip"] = JsonValue(values->ipAddr);
    object["netmask"] = JsonValue(values->netmask);
    object["gateway"] = JsonValue(values->gateway);
    object["dhcp"] = values->dhcp ? Json(values->DhcpOn()) : Json(nullptr);
    return object;
}

} // namespace

std::string_view Text(const std::optional<std::string>& value, std::string_view absent)
{
    return value ? std::string_view(*value) : absent;
}

nlohmann::ordered_json JsonValue(const std::optional<std::string>& value)
{
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

std::string JsonLine(const nlohmann::ordered_json& object)
{
    const std::string dumped = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // The dump escapes the C0 controls; the C1 controls (U+0080 to U+009F,
    // the bytes C2 80 to C2 9F in valid UTF-8, where C2 is always a lead
    // byte) are escaped too, so that no terminal acts on them.
    std::string line;
    line.reserve(dumped.size() + 1);
    for (std::size_t i = 0; i < dumped.size(); ++i) {
        const auto next = i + 1 < dumped.size() ? static_cast<unsigned char>(dumped[i + 1]) : 0u;
        if (static_cast<unsigned char>(dumped[i]) == 0xC2 && next >= 0x80 && next <= 0x9F) {
            static constexpr char kHex[] = "0123456789abcdef";
            line += "\\u00";
            line += kHex[next >> 4];
            line += kHex[next & 0xF];
            ++i;
            continue;
        }
        line += dumped[i];
    }
    line += '\n';
    return line;
}

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
    const std::string dhcp = detail.dhcp ? (detail.DhcpOn() ? "on" : "off") : "";
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
        object["dhcp"] = detail.dhcp ? Json(detail.DhcpOn()) : Json(nullptr);
        out << JsonLine(object);
        break;
    }
    }
    out.flush();
}

void OutcomeWriter::Outcome(const DeviceOutcome& outcome)
{
    switch (m_format) {
    case OutputFormat::Table:
        if (!m_headerDone)
            m_out << std::left << std::setw(18) << "MAC ADDRESS" << std::setw(21) << "RESULT" << std::setw(16)
                  << "IP ADDRESS"
                  << "MESSAGE\n";
        m_out << std::left << std::setw(18) << outcome.mac << std::setw(21) << ResultName(outcome.result);
        if (outcome.message.empty())
            m_out << SafeText(Text(outcome.ip, "-")) << '\n';
        else
            m_out << std::setw(16) << SafeText(Text(outcome.ip, "-")) << SafeText(outcome.message) << '\n';
        break;
    case OutputFormat::Csv:
        m_out << OutcomeCsv({&outcome, 1}, !m_headerDone);
        break;
    case OutputFormat::Json: {
        Json object;
        object["mac"] = outcome.mac;
        object["result"] = std::string(ResultName(outcome.result));
        object["ip"] = JsonValue(outcome.ip);
        object["before"] = JsonValues(outcome.before);
        object["after"] = JsonValues(outcome.after);
        if (!outcome.message.empty())
            object["message"] = outcome.message;
        m_out << JsonLine(object);
        break;
    }
    }
    m_headerDone = true;
    m_out.flush();
}

} // namespace pemblor
