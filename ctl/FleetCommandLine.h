#pragma once
#include "ctl/CtlOptions.h"

namespace CLI {
class App;
}

namespace pemblor {

struct FleetCommands {
    CLI::App* plan = nullptr;
    CLI::App* apply = nullptr;
};

// Adds `plan` and `apply` to the command line. `addFormat` and
// `addCredentials` are the other commands' option helpers.
FleetCommands AddFleetCommands(CLI::App& app, CtlOptions& options, void (*addCredentials)(CLI::App&, CtlOptions&));

// After a parse: the command chosen among them, if any, with its defaults.
bool TakeFleetCommand(const FleetCommands& commands, CtlOptions& options);

} // namespace pemblor
