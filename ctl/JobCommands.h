#pragma once
#include "ctl/Commands.h"
#include "ctl/DeviceSession.h"

namespace pemblor {

// show, set and reboot: one device's job each. `change` is the checked
// change of set; `password` the one read for set and reboot. Each prints
// its outcome and returns the exit status.
int RunShow(const CtlOptions& options, DeviceSession& session, CtlIo& io);
int RunSet(const CtlOptions& options, DeviceSession& session, CtlIo& io, const SettingsChange& change,
           const std::string& password);
int RunReboot(const CtlOptions& options, DeviceSession& session, CtlIo& io, const std::string& password);

} // namespace pemblor
