#pragma once
#include "ctl/CtlOptions.h"

#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace pemblor {

// The `plan` and `apply` commands of the command line, and their --format
// and --timeout as text until the parse is done.
struct FleetCommands {
    CLI::App* plan = nullptr;
    CLI::App* apply = nullptr;
    std::string formatText;
    std::string timeoutText;
};

// Adds `plan` and `apply` to the command line; `addCredentials` is the other
// commands' --user and password options.
void AddFleetCommands(CLI::App& app, CtlOptions& options, FleetCommands& commands,
                      void (*addCredentials)(CLI::App&, CtlOptions&));

// After a parse: nothing when neither was chosen; else empty text when the
// chosen one is to run (its defaults filled in), or why its options are
// refused.
std::optional<std::string> TakeFleetCommand(const FleetCommands& commands, CtlOptions& options);

} // namespace pemblor
