#pragma once
#include "ctl/CtlOptions.h"
#include "engine/DeviceJob.h"
#include "fleet/DeviceOutcome.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace pemblor {

// The outcome's name in the JSON object ("verified", "authentication-error",
// ...). A reboot sent without waiting counts as "stored"; a job that could
// not send or was stopped has no name (empty).
std::string_view OutcomeName(JobOutcome outcome);

// A device's settings as an outcome shows them; a value the device did not
// report is nothing (null in JSON, empty in csv).
struct OutcomeValues {
    std::optional<std::string> ip;
    std::optional<std::string> netmask;
    std::optional<std::string> gateway;
    std::optional<bool> dhcp;
};

// How one device ended, as every command prints it: `set`, `show` and
// `reboot` from their job's report, `apply` from each device's outcome.
struct OutcomeRecord {
    std::string mac;
    std::string_view result; // a static name: OutcomeName or ResultName
    // Where the device answered from last; nothing when never.
    std::optional<std::string> ip;
    // Nothing when not known.
    std::optional<OutcomeValues> before;
    std::optional<OutcomeValues> after;
    // The tool's text on failure; empty otherwise (and then not printed).
    std::string message;
};

OutcomeRecord MakeOutcome(std::string_view mac, const JobReport& report, std::string_view message = {});
OutcomeRecord MakeOutcome(const DeviceOutcome& outcome);

// Prints outcomes, in one of the three formats:
// - table: a header line, then MAC, result, the address it answers from and
//   the message;
// - csv: a header line, then one record per outcome with the before and
//   after values;
// - json: the outcome object, one a line, keys in the order mac, result, ip,
//   before, after, message (only when there is one); before/after hold ip,
//   netmask, gateway and dhcp (boolean).
class OutcomeWriter final {
public:
    OutcomeWriter(std::ostream& out, OutputFormat format) : m_out(out), m_format(format) {}

    void Outcome(const OutcomeRecord& outcome);

private:
    std::ostream& m_out;
    OutputFormat m_format;
    bool m_headerDone = false;
};

// One line: the outcome object of a device's job.
void WriteOutcome(std::ostream& out, std::string_view mac, const JobReport& report, std::string_view message = {});

} // namespace pemblor
