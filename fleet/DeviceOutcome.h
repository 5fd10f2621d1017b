#pragma once
#include "fleet/PlanRow.h"

#include <optional>
#include <string>
#include <string_view>

namespace pemblor {

// How one device of a re-address job ended.
enum class DeviceResult {
    Verified,            // answers from its planned address with its planned netmask
    Stored,              // accepted the change; not rebooted, so not verified
    Unchanged,           // held the plan already; nothing was sent
    AuthenticationError, // refused the credentials
    Timeout,             // no result for the change
    NotFound,            // did not answer the read
    UnknownResult,       // answered the change with another result, or the job stopped first
    NotVerified,         // accepted, but was not heard where planned in time
    Invalid,             // the plan row was refused; nothing was sent
    WouldChange,         // a dry run: the device does not hold the plan
};

// The name scripts read: "verified", "authentication-error", ...
std::string_view ResultName(DeviceResult result);
// Whether the device ended as planned (or needed nothing).
bool Succeeded(DeviceResult result);

struct DeviceOutcome {
    std::string mac;
    DeviceResult result = DeviceResult::NotFound;
    // The address the device answers from at the end; for NotVerified the
    // last one it was heard from. Nothing when it was never heard.
    std::optional<std::string> ip;
    // As read; nothing when it was not read.
    std::optional<DeviceValues> before;
    // What it reported when heard again, else what it should hold.
    std::optional<DeviceValues> after;
    // Why it failed, in the tool's words; empty on success.
    std::string message;
};

} // namespace pemblor
