#pragma once
#include <optional>
#include <string>

namespace pemblor {

// One device's line of a plan: the values it is to hold. A value left out
// (nullopt, an empty cell in the plan file) stays as the device has it.
// Addresses are texts as written, checked by CheckPlanRow before use.
struct PlanRow {
    std::string mac;
    std::optional<std::string> ip;
    std::optional<std::string> netmask;
    std::optional<std::string> gateway;
    std::optional<bool> dhcp;

    bool operator==(const PlanRow&) const = default;
};

} // namespace pemblor
