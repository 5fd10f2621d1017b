#pragma once
#include "ctl/CtlOptions.h"

#include <optional>
#include <ostream>

namespace pemblor {

// Reads pemblorctl's command line into `options`. Returns nothing when the
// command is to run; otherwise the exit status, after printing the help (to
// `out`, status 0) or the error with the command's usage (to `err`, status 1).
// --format and --timeout are read as text and checked once the line is
// parsed, so that their messages say what is wanted: a number is not a
// format, names are read in either case, and a time-out is a decimal number
// of seconds from 0.1 to 3600.
std::optional<int> ParseCommandLine(int argc, const char* const* argv, CtlOptions& options, std::ostream& out,
                                    std::ostream& err);

} // namespace pemblor
