#pragma once
#include "ctl/CtlOptions.h"
#include "fleet/PlanRow.h"

#include <ostream>
#include <span>

namespace pemblor {

// Prints a plan: csv is the plan file itself; json one object a line
// ({"mac","ip","netmask","gateway","dhcp"}, null: leave); table aligned
// columns with "-" for a value left as it is.
void WritePlan(std::ostream& out, OutputFormat format, std::span<const PlanRow> rows);

} // namespace pemblor
