#pragma once
#include "ctl/CtlOptions.h"

#include <optional>
#include <ostream>

namespace pemblor {

// Reads pemblorctl's command line into `options`. Returns nothing when the
// command is to run; otherwise the exit status, after printing the help (to
// `out`, status 0) or the error with the command's usage (to `err`, status 1).
std::optional<int> ParseCommandLine(int argc, const char* const* argv, CtlOptions& options, std::ostream& out,
                                    std::ostream& err);

} // namespace pemblor
