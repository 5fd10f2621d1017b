#pragma once
#include "ctl/Commands.h"

namespace pemblor {

class DeviceSession;
class IInterfaceList;

// Before the network is touched: what `plan` or `apply` can refuse from its
// arguments and files alone. Nothing when they can go on; else the status.
std::optional<int> CheckPlanArguments(const CtlOptions& options, CtlIo& io);

// `plan`: discovers for the timeout, then prints the plan, or why it cannot
// plan (status 1). `interfaces` (may be null) tells the network of the
// interface a device answered on and the computer's own addresses.
int RunPlan(const CtlOptions& options, DeviceSession& session, EventLoop& loop, CtlIo& io,
            IInterfaceList* interfaces);

} // namespace pemblor
