#pragma once
#include "ctl/CtlOptions.h"

#include <optional>
#include <ostream>
#include <string>

namespace pemblor {

// Reads pemblorctl's command line into `options`. Returns nothing when the
// command is to run; otherwise the exit status, after printing the help (to
// `out`, status 0) or the error with the command's usage (to `err`, status 1).
// The checks of --format and --timeout given as text, for every command that
// takes them, and their messages. A number is not a format; names are read
// in either case. A time-out is a decimal number of seconds from 0.1 to 3600.
inline constexpr const char* FormatMessage = "--format must be table, csv or json";
inline constexpr const char* FormatMessageNoCsv = "--format must be table or json";
inline constexpr const char* TimeoutMessage = "--timeout must be a number of seconds between 0.1 and 3600";
bool ReadFormat(std::string text, bool csvAllowed, OutputFormat& format);
bool ReadTimeout(const std::string& text, double& seconds);

std::optional<int> ParseCommandLine(int argc, const char* const* argv, CtlOptions& options, std::ostream& out,
                                    std::ostream& err);

} // namespace pemblor
