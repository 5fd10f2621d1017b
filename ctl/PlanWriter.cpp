#include "ctl/PlanWriter.h"

#include "ctl/OutputText.h"
#include "fleet/PlanFile.h"

#include <iomanip>

namespace pemblor {

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
            out << std::setw(18) << row.mac << std::setw(16) << Text(row.ip, "-") << std::setw(16)
                << Text(row.netmask, "-") << std::setw(16) << Text(row.gateway, "-")
                << (row.dhcp ? (*row.dhcp ? "on" : "off") : "-") << '\n';
        break;
    }
    out.flush();
}

} // namespace pemblor
