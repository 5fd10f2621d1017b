#pragma once
#include "engine/DeviceJob.h"

#include <ostream>
#include <string>
#include <string_view>

namespace pemblor {

// The outcome's name in the JSON object ("verified", "authentication-error",
// ...). A reboot sent without waiting counts as "stored"; a job that could
// not send or was stopped has no name (empty).
std::string_view OutcomeName(JobOutcome outcome);

// One line: the outcome object of a device's job, keys in the order mac,
// result, ip, before, after, message (only when `message` is not empty).
// `ip` is where the device answered from last (null when never);
// before/after hold ip, netmask, gateway (text, null when the device did not
// say) and dhcp (boolean), or are null when not known.
void WriteOutcome(std::ostream& out, std::string_view mac, const JobReport& report, std::string_view message = {});

} // namespace pemblor
