#include "ctl/OutcomeWriter.h"

#include "ctl/OutputText.h"
#include "format/DelimitedRow.h"

#include <array>
#include <iomanip>

namespace pemblor {

namespace {

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

std::array<std::string_view, 4> CsvValues(const std::optional<DeviceSettings>& values)
{
    if (!values)
        return {};
    return {Text(values->ipAddr), Text(values->netmask), Text(values->gateway),
            values->dhcp ? (values->DhcpOn() ? "on" : "off") : ""};
}

} // namespace

DeviceOutcome MakeOutcome(std::string_view mac, const JobReport& report, std::string_view message)
{
    DeviceOutcome record;
    record.mac = std::string(mac);
    record.result = report.outcome;
    if (!report.address.empty())
        record.ip = report.address;
    record.before = report.before;
    record.after = report.after;
    record.message = std::string(message);
    return record;
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
    case OutputFormat::Csv: {
        if (!m_headerDone) {
            const std::array<std::string_view, 12> names{
                "mac",          "result",        "ip",       "before_ip",     "before_netmask", "before_gateway",
                "before_dhcp",  "after_ip",      "after_netmask", "after_gateway", "after_dhcp",  "message"};
            m_out << CsvRow(names);
        }
        const auto before = CsvValues(outcome.before);
        const auto after = CsvValues(outcome.after);
        const std::array<std::string_view, 12> fields{outcome.mac, ResultName(outcome.result), Text(outcome.ip),
                                                      before[0],   before[1],      before[2],
                                                      before[3],   after[0],       after[1],
                                                      after[2],    after[3],       outcome.message};
        m_out << CsvRow(fields);
        break;
    }
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

void WriteOutcome(std::ostream& out, std::string_view mac, const JobReport& report, std::string_view message)
{
    OutcomeWriter(out, OutputFormat::Json).Outcome(MakeOutcome(mac, report, message));
}

} // namespace pemblor
