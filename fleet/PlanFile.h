#pragma once
#include "engine/JobOutcome.h"
#include "fleet/PlanRow.h"

#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace pemblor {

// The plan file: CSV, the header line exactly `mac,ip,netmask,gateway,dhcp`,
// then one row per device. An empty cell leaves that value as the device
// has it; a dhcp cell is `on`, `off` or empty.
inline constexpr std::string_view PlanHeader = "mac,ip,netmask,gateway,dhcp";

struct PlanFileRow {
    PlanRow row;
    int line = 0;        // where the row starts in the file, from 1
    std::string problem; // why the row cannot be read as a plan row; empty: it can
};

// Reads a whole plan. A row that cannot be read (a wrong cell count, a
// dhcp cell other than on/off/empty) is kept with its problem, so that it is
// reported as that device's outcome. False, with `error` set, when the file
// as a whole is not a plan (no header, another header, an unclosed quote).
bool ReadPlanFile(std::istream& in, std::vector<PlanFileRow>& rows, std::string& error);

// Empty when `mac` (either case) names one device, else why not.
std::string CheckMacText(const std::string& mac);

void WritePlanFile(std::ostream& out, std::span<const PlanRow> rows);

// The outcome file, how each device of a plan ended (`pemblorctl apply
// --format csv`, the window's "Export result..."): the header record
// `mac,result,ip,before_ip,before_netmask,before_gateway,before_dhcp,
// after_ip,after_netmask,after_gateway,after_dhcp,message` when `header` is
// set, then one record per outcome. A value not known is an empty cell; a
// dhcp cell is `on` or `off`.
std::string OutcomeCsv(std::span<const DeviceOutcome> outcomes, bool header = true);

// Checks every row before anything is sent: the MAC names one device, the
// values pass the Setup IP dialog's check (with its messages), no device is
// listed twice and no address is planned for two devices (both rows are
// refused). One text per row; empty for a row that passes.
std::vector<std::string> CheckPlan(std::span<const PlanRow> rows);

} // namespace pemblor
