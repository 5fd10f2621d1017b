#pragma once
#include "ctl/CtlOptions.h"
#include "engine/DeviceJob.h"
#include "engine/JobOutcome.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace pemblor {

// How a device's job ended, as every command prints it (`set`, `show` and
// `reboot` from their job's report; `apply` prints the fleet's outcomes as
// they are).
DeviceOutcome MakeOutcome(std::string_view mac, const JobReport& report, std::string_view message = {});

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

    void Outcome(const DeviceOutcome& outcome);

private:
    std::ostream& m_out;
    OutputFormat m_format;
    bool m_headerDone = false;
};

// One line: the outcome object of a device's job.
void WriteOutcome(std::ostream& out, std::string_view mac, const JobReport& report, std::string_view message = {});

} // namespace pemblor
