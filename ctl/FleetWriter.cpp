#include "ctl/FleetWriter.h"

#include "fleet/PlanFile.h"
#include "format/DelimitedRow.h"

#include <nlohmann/json.hpp>

#include <array>
#include <iomanip>

namespace pemblor {

namespace {

std::string_view Cell(const std::optional<std::string>& value, std::string_view absent = {})
{
    return value ? std::string_view(*value) : absent;
}

nlohmann::ordered_json JsonValue(const std::optional<std::string>& value)
{
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json JsonValues(const std::optional<DeviceValues>& values)
{
    if (!values)
        return nullptr;
    nlohmann::ordered_json object;
    object["ip"] = values->ip;
    object["netmask"] = values->netmask;
    object["gateway"] = values->gateway;
    object["dhcp"] = values->dhcp;
    return object;
}

// Device texts are bytes, not necessarily UTF-8: invalid sequences become
// U+FFFD instead of failing the line.
std::string JsonLine(const nlohmann::ordered_json& object)
{
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string Printable(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

} // namespace

void WritePlan(std::ostream& out, OutputFormat format, std::span<const PlanRow> rows)
{
    switch (format) {
    case OutputFormat::Csv:
        WritePlanFile(out, rows);
        break;
    case OutputFormat::Json:
        for (const PlanRow& row : rows) {
            nlohmann::ordered_json object;
            object["mac"] = row.mac;
            object["ip"] = JsonValue(row.ip);
            object["netmask"] = JsonValue(row.netmask);
            object["gateway"] = JsonValue(row.gateway);
            object["dhcp"] = row.dhcp ? nlohmann::ordered_json(*row.dhcp) : nlohmann::ordered_json(nullptr);
            out << JsonLine(object);
        }
        break;
    case OutputFormat::Table:
        out << std::left << std::setw(18) << "MAC ADDRESS" << std::setw(16) << "IP ADDRESS" << std::setw(16)
            << "SUBNET MASK" << std::setw(16) << "GATEWAY"
            << "DHCP\n";
        for (const PlanRow& row : rows)
            out << std::setw(18) << row.mac << std::setw(16) << Cell(row.ip, "-") << std::setw(16)
                << Cell(row.netmask, "-") << std::setw(16) << Cell(row.gateway, "-")
                << (row.dhcp ? (*row.dhcp ? "on" : "off") : "-") << '\n';
        break;
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
            m_out << Printable(Cell(outcome.ip, "-")) << '\n';
        else
            m_out << std::setw(16) << Printable(Cell(outcome.ip, "-")) << Printable(outcome.message) << '\n';
        break;
    case OutputFormat::Csv: {
        if (!m_headerDone) {
            const std::array<std::string_view, 12> names{
                "mac",          "result",        "ip",       "before_ip",     "before_netmask", "before_gateway",
                "before_dhcp",  "after_ip",      "after_netmask", "after_gateway", "after_dhcp",  "message"};
            m_out << CsvRow(names);
        }
        auto values = [](const std::optional<DeviceValues>& v) {
            return v ? std::array<std::string, 4>{v->ip, v->netmask, v->gateway, v->dhcp ? "on" : "off"}
                     : std::array<std::string, 4>{};
        };
        const auto before = values(outcome.before);
        const auto after = values(outcome.after);
        const std::array<std::string_view, 12> fields{outcome.mac, ResultName(outcome.result), Cell(outcome.ip),
                                                      before[0],   before[1],                  before[2],
                                                      before[3],   after[0],                   after[1],
                                                      after[2],    after[3],                   outcome.message};
        m_out << CsvRow(fields);
        break;
    }
    case OutputFormat::Json: {
        nlohmann::ordered_json object;
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
