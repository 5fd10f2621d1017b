#include "fleet/PlanFile.h"

#include "format/DelimitedRow.h"
#include "fleet/SettingsCheck.h"
#include "engine/NetworkInterface.h"
#include "protocol/MacText.h"

#include <array>
#include <cctype>
#include <map>

namespace pemblor {

namespace {

std::optional<std::string> Cell(const std::string& text)
{
    return text.empty() ? std::nullopt : std::optional(text);
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string CheckMacText(const std::string& mac)
{
    // Written in the one form FormatMacText writes, in either case.
    const std::string upper = Upper(mac);
    if (FormatMacText(ParseMacText(upper)).view() != upper)
        return "MAC address must look like 00:0A:FF:10:2B:C4: " + mac;
    if (!ParseDeviceMac(upper))
        return "MAC address " + mac + " names no single device";
    return {};
}

bool ReadPlanFile(std::istream& in, std::vector<PlanFileRow>& rows, std::string& error)
{
    rows.clear();
    std::vector<std::string> cells;
    int lines = 0;
    bool unclosed = false;
    if (!ReadCsvRecord(in, cells, lines, unclosed)) {
        error = unclosed ? "the header line has an unclosed quote" : "the file is empty; a plan starts with the "
                                                                     "line " + std::string(PlanHeader);
        return false;
    }
    std::string header;
    for (std::size_t i = 0; i < cells.size(); ++i)
        header += (i ? "," : "") + cells[i];
    // A byte order mark, as some editors write one.
    if (header.rfind("\xEF\xBB\xBF", 0) == 0)
        header.erase(0, 3);
    if (header != PlanHeader) {
        error = "line 1 is not the plan's header " + std::string(PlanHeader);
        return false;
    }
    for (;;) {
        const int startLine = lines + 1;
        if (!ReadCsvRecord(in, cells, lines, unclosed))
            break;
        if (cells.size() == 1 && cells[0].empty())
            continue;
        PlanFileRow read;
        read.line = startLine;
        read.row.mac = Upper(cells[0]);
        if (cells.size() != 5) {
            read.problem = "line " + std::to_string(startLine) + " has " + std::to_string(cells.size()) +
                           " cells; a plan row has 5";
        } else {
            read.row.ip = Cell(cells[1]);
            read.row.netmask = Cell(cells[2]);
            read.row.gateway = Cell(cells[3]);
            const std::string dhcp = Upper(cells[4]);
            if (dhcp == "ON")
                read.row.dhcp = true;
            else if (dhcp == "OFF")
                read.row.dhcp = false;
            else if (!dhcp.empty())
                read.problem = "the dhcp cell is on, off or empty, not " + cells[4];
        }
        rows.push_back(std::move(read));
    }
    if (unclosed) {
        error = "a quote opened on line " + std::to_string(lines) + " is never closed";
        return false;
    }
    return true;
}

void WritePlanFile(std::ostream& out, std::span<const PlanRow> rows)
{
    out << PlanHeader << '\n';
    for (const PlanRow& row : rows) {
        auto cell = [](const std::optional<std::string>& value) {
            return value ? std::string_view(*value) : std::string_view();
        };
        const std::array<std::string_view, 5> cells{row.mac, cell(row.ip), cell(row.netmask), cell(row.gateway),
                                                    row.dhcp ? (*row.dhcp ? "on" : "off") : ""};
        out << CsvRow(cells);
    }
}

namespace {

// The plan's own rules beyond the dialog's: a netmask that makes a LAN, and
// a gateway inside the row's network that is not the row's own address.
std::string CheckRowNetwork(const ValidationOutcome& settings)
{
    std::uint32_t netmask = 0;
    if (!settings.subnetMask || !ParseIpv4(settings.subnetMask->c_str(), netmask))
        return {};
    if (!IsPlannableNetmask(netmask))
        return "The netmask " + *settings.subnetMask + " is no network prefix from /8 to /30.";
    std::uint32_t ip = 0, gateway = 0;
    if (!settings.ipAddress || !ParseIpv4(settings.ipAddress->c_str(), ip) || !settings.gateway ||
        !ParseIpv4(settings.gateway->c_str(), gateway) || gateway == 0)
        return {};
    if (gateway == ip)
        return *settings.ipAddress + " is the gateway.";
    if ((gateway & netmask) != (ip & netmask))
        return "The gateway " + *settings.gateway + " is outside the network of " + *settings.ipAddress + ".";
    return {};
}

} // namespace

std::vector<std::string> CheckPlan(std::span<const PlanRow> rows)
{
    std::vector<std::string> failures(rows.size());
    std::map<std::string, std::size_t> macs;
    std::map<std::string, std::size_t> addresses;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const PlanRow& row = rows[i];
        failures[i] = CheckMacText(row.mac);
        if (!failures[i].empty())
            continue;
        const ValidationOutcome settings = CheckSettingTexts(row.ip, row.netmask, row.gateway, row.dhcp);
        if (!settings.Accepted()) {
            failures[i] = settings.failure;
            continue;
        }
        const auto [mac, newMac] = macs.emplace(Upper(row.mac), i);
        if (!newMac) {
            failures[i] = row.mac + " is listed twice.";
            failures[mac->second] = failures[i];
            continue;
        }
        if (const std::string why = CheckRowNetwork(settings); !why.empty()) {
            failures[i] = why;
            continue;
        }
        if (!settings.ipAddress)
            continue;
        const auto [address, newAddress] = addresses.emplace(*settings.ipAddress, i);
        if (!newAddress) {
            failures[i] = *settings.ipAddress + " is planned for " + rows[address->second].mac + " too.";
            failures[address->second] = *settings.ipAddress + " is planned for " + row.mac + " too.";
        }
    }
    return failures;
}

std::string OutcomeCsv(std::span<const DeviceOutcome> outcomes, bool header)
{
    const std::array<std::string_view, 12> names{"mac",          "result",        "ip",          "before_ip",
                                                 "before_netmask", "before_gateway", "before_dhcp", "after_ip",
                                                 "after_netmask", "after_gateway", "after_dhcp",  "message"};
    std::string file = header ? CsvRow(names) : std::string();
    auto text = [](const std::optional<std::string>& value) { return value ? std::string_view(*value) : ""; };
    auto values = [&text](const std::optional<DeviceSettings>& v) {
        if (!v)
            return std::array<std::string_view, 4>{};
        return std::array<std::string_view, 4>{text(v->ipAddr), text(v->netmask), text(v->gateway),
                                               v->dhcp ? (v->DhcpOn() ? "on" : "off") : ""};
    };
    for (const DeviceOutcome& o : outcomes) {
        const auto before = values(o.before);
        const auto after = values(o.after);
        const std::array<std::string_view, 12> fields{o.mac,     ResultName(o.result), text(o.ip), before[0],
                                                      before[1], before[2],            before[3],          after[0],
                                                      after[1],  after[2],             after[3],           o.message};
        file += CsvRow(fields);
    }
    return file;
}

} // namespace pemblor
