#include "ctl/OutcomeWriter.h"

#include "ctl/OutputText.h"
#include "format/DelimitedRow.h"

#include <array>
#include <iomanip>

namespace pemblor {

namespace {

using Json = nlohmann::ordered_json;

std::optional<OutcomeValues> ValuesOf(const std::optional<DeviceSettings>& settings)
{
    if (!settings)
        return std::nullopt;
    OutcomeValues values{settings->ipAddr, settings->netmask, settings->gateway, std::nullopt};
    if (settings->dhcp)
        values.dhcp = settings->DhcpOn();
    return values;
}

std::optional<OutcomeValues> ValuesOf(const std::optional<DeviceValues>& values)
{
    if (!values)
        return std::nullopt;
    return OutcomeValues{values->ip, values->netmask, values->gateway, values->dhcp};
}

Json JsonValues(const std::optional<OutcomeValues>& values)
{
    if (!values)
        return nullptr;
    Json object;
    object["ip"] = JsonValue(values->ip);
    object["netmask"] = JsonValue(values->netmask);
    object["gateway"] = JsonValue(values->gateway);
    object["dhcp"] = values->dhcp ? Json(*values->dhcp) : Json(nullptr);
    return object;
}

std::array<std::string_view, 4> CsvValues(const std::optional<OutcomeValues>& values)
{
    if (!values)
        return {};
    return {Text(values->ip), Text(values->netmask), Text(values->gateway),
            values->dhcp ? (*values->dhcp ? "on" : "off") : ""};
}

} // namespace

std::string_view OutcomeName(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Stored:
    case JobOutcome::RebootSent:
        return "stored";
    case JobOutcome::Unchanged:
        return "unchanged";
    case JobOutcome::Verified:
        return "verified";
    case JobOutcome::AuthenticationError:
        return "authentication-error";
    case JobOutcome::Timeout:
        return "timeout";
    case JobOutcome::NotFound:
        return "not-found";
    case JobOutcome::UnknownResult:
        return "unknown-result";
    case JobOutcome::NotVerified:
        return "not-verified";
    case JobOutcome::SendFailed:
    case JobOutcome::Stopped:
        break;
    }
    return {};
}

OutcomeRecord MakeOutcome(std::string_view mac, const JobReport& report, std::string_view message)
{
    OutcomeRecord record;
    record.mac = std::string(mac);
    record.result = OutcomeName(report.outcome);
    if (!report.address.empty())
        record.ip = report.address;
    record.before = ValuesOf(report.before);
    record.after = ValuesOf(report.after);
    record.message = std::string(message);
    return record;
}

OutcomeRecord MakeOutcome(const DeviceOutcome& outcome)
{
    return OutcomeRecord{outcome.mac,          ResultName(outcome.result), outcome.ip,
                         ValuesOf(outcome.before), ValuesOf(outcome.after),   outcome.message};
}

void OutcomeWriter::Outcome(const OutcomeRecord& outcome)
{
    switch (m_format) {
    case OutputFormat::Table:
        if (!m_headerDone)
            m_out << std::left << std::setw(18) << "MAC ADDRESS" << std::setw(21) << "RESULT" << std::setw(16)
                  << "IP ADDRESS"
                  << "MESSAGE\n";
        m_out << std::left << std::setw(18) << outcome.mac << std::setw(21) << outcome.result;
        if (outcome.message.empty())
            m_out << Printable(Text(outcome.ip, "-")) << '\n';
        else
            m_out << std::setw(16) << Printable(Text(outcome.ip, "-")) << Printable(outcome.message) << '\n';
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
        const std::array<std::string_view, 12> fields{outcome.mac, outcome.result, Text(outcome.ip),
                                                      before[0],   before[1],      before[2],
                                                      before[3],   after[0],       after[1],
                                                      after[2],    after[3],       outcome.message};
        m_out << CsvRow(fields);
        break;
    }
    case OutputFormat::Json: {
        Json object;
        object["mac"] = outcome.mac;
        object["result"] = std::string(outcome.result);
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
