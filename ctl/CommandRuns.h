#pragma once
#include "ctl/Commands.h"
#include "ctl/DeviceSession.h"
#include "fleet/FleetJob.h"
#include "fleet/PlanRow.h"

#include <span>

namespace pemblor {

class IInterfaceList;

// Each command's run on the opened session: it prints its outcome and
// returns the exit status.

// show, set and reboot: one device's job each. `change` is the checked
// change of set; `password` the one read for set and reboot.
int RunShow(const CtlOptions& options, DeviceSession& session, CtlIo& io);
int RunSet(const CtlOptions& options, DeviceSession& session, CtlIo& io, const SettingsChange& change,
           const std::string& password);
int RunReboot(const CtlOptions& options, DeviceSession& session, CtlIo& io, const std::string& password);

// `plan`: runs the planning job (PlanJob: discovers for the timeout, plans,
// probes), then prints the plan, or why it cannot plan (status 1). The
// session's interfaces tell the network of the interface a device answered
// on and the computer's own addresses. When the plan lies in that network,
// its addresses are probed through `sockets` and looked up in the neighbour
// table `neighbourTable`: another host's address is skipped.
int RunPlan(const CtlOptions& options, DeviceSession& session, EventLoop& loop, CtlIo& io, ISocketLayer& sockets,
            const char* neighbourTable);

// Reads the plan file of `apply`; false, having said why, when it is not a
// plan. A row that cannot be read is kept, refused.
bool ReadApplyPlan(const std::string& path, std::vector<JobRow>& rows, CtlIo& io);

// `apply`: re-addresses the devices of the plan file's `rows` (as
// ReadApplyPlan read them; the file is read once) on the opened session and
// prints each device's outcome as it ends; 0 when every device ended
// verified, stored or unchanged (a dry run: or would-change), else 8.
int RunApply(const CtlOptions& options, DeviceSession& session, EventLoop& loop, CtlIo& io,
             const std::string& password, std::vector<JobRow> rows);

// Prints a plan: csv is the plan file itself; json one object a line
// ({"mac","ip","netmask","gateway","dhcp"}, null: leave); table aligned
// columns with "-" for a value left as it is.
void WritePlan(std::ostream& out, OutputFormat format, std::span<const PlanRow> rows);

// `undo`: reads the result of an apply (its JSON lines or CSV, or the CSV
// the Setup IP window exports) and prints the plan that gives each device
// that took a change, or may have, its before values back: address,
// netmask, gateway and DHCP. Left out, counted on standard error: devices
// that took nothing (unchanged, would-change, invalid, not-found, never
// read), and, named, devices whose before address another device of the
// result had too, or whose before values a plan cannot hold. A file that is
// no such result: the line and why on standard error, nothing on standard
// output, status 1.
int RunUndo(const CtlOptions& options, CtlIo& io);

// How pemblorctl words a password that would go by broadcast (set, reboot,
// apply), naming the device.

// Standard error before the password leaves by broadcast: "pemblorctl:
// warning: DEVICE is outside this computer's networks: its password will be
// broadcast to every host on eth0."
std::string BroadcastWarning(std::string_view device, const CredentialRoute& route);

// What follows the explanation of a password --unicast-only held back
// (BroadcastRefusedText).
inline constexpr const char* UnicastOnlyAdvice = " Run without --unicast-only to send it anyway.";

} // namespace pemblor
