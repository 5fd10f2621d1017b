#pragma once
#include "ctl/CtlOptions.h"
#include "fleet/DeviceOutcome.h"
#include "fleet/PlanRow.h"

#include <ostream>
#include <span>

namespace pemblor {

// Prints a plan: csv is the plan file itself; json one object a line
// ({"mac","ip","netmask","gateway","dhcp"}, null: leave); table aligned
// columns with "-" for a value left as it is.
void WritePlan(std::ostream& out, OutputFormat format, std::span<const PlanRow> rows);

// Prints the outcome of each device as it ends, in one of the three formats:
// - table: a header line, then MAC, result, the address it answers from and
//   the message;
// - csv: a header line, then one record per device with the before and after
//   values;
// - json: the outcome object, one a line (the one `set` prints).
class OutcomeWriter final {
public:
    OutcomeWriter(std::ostream& out, OutputFormat format) : m_out(out), m_format(format) {}

    void Outcome(const DeviceOutcome& outcome);

private:
    std::ostream& m_out;
    OutputFormat m_format;
    bool m_headerDone = false;
};

} // namespace pemblor
