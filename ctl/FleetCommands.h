#pragma once
#include "ctl/Commands.h"
#include "fleet/FleetJob.h"

namespace pemblor {

class ISocketLayer;

class DeviceSession;
class IInterfaceList;

// `plan`: discovers for the timeout, then prints the plan, or why it cannot
// plan (status 1). `interfaces` (may be null) tells the network of the
// interface a device answered on and the computer's own addresses. When the
// plan lies in that network, its addresses are probed through `sockets` and
// looked up in the neighbour table `neighbourTable`: another host's address
// is skipped.
int RunPlan(const CtlOptions& options, DeviceSession& session, EventLoop& loop, CtlIo& io,
            IInterfaceList* interfaces, ISocketLayer& sockets, const char* neighbourTable);

// Reads the plan file of `apply`; false, having said why, when it is not a
// plan. A row that cannot be read is kept, refused.
bool ReadApplyPlan(const std::string& path, std::vector<JobRow>& rows, CtlIo& io);

// `apply`: reads the plan file, then re-addresses its devices (the
// re-address job) on the opened session and prints each device's outcome as
// it ends; 0 when every device ended verified, stored or unchanged (a dry
// run: or would-change), else 8. A plan file that cannot be read is status 1.
int RunApply(const CtlOptions& options, DeviceSession& session, EventLoop& loop, CtlIo& io,
             const std::string& password);

} // namespace pemblor
