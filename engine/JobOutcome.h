#pragma once
#include "engine/CredentialRoute.h"
#include "engine/DeviceSettings.h"
#include "engine/Request.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// How a device's job ended: the one outcome of the single-device path and
// of the fleet, and the one table of the names pemblorctl prints for them.
enum class JobOutcome {
    Stored,              // the change was accepted (no reboot asked)
    Unchanged,           // read; nothing to change, nothing sent
    Verified,            // back after the reboot, where it was expected
    AuthenticationError, // result 1 to the change or the reboot
    Timeout,             // no detail reply or no result in time
    NotFound,            // did not answer the read (the fleet; a job never ends so)
    UnknownResult,       // another non-zero result (the fleet: or stopped before the result)
    NotVerified,         // not back after the reboot, or only somewhere else
    RebootSent,          // reboot without verify: no refusal within its wait
    SendFailed,          // the request went out of no interface
    Stopped,             // the owner stopped it
    Invalid,             // the fleet refused the plan row; nothing was sent
    WouldChange,         // a dry run: the device does not hold the plan
    RebootNotSent,       // the fleet: the change was stored, its reboot went out of no interface
    NeedsBroadcast,      // its credentials could only go by broadcast, which the owner did not allow; not sent
};

// The name scripts read: "verified", "authentication-error", ... A reboot
// sent without waiting counts as "stored"; an outcome with no name of its
// own (could not send, stopped) is empty.
std::string_view ResultName(JobOutcome outcome);
// Whether the device ended as asked (or needed nothing).
bool Succeeded(JobOutcome outcome);

// A request that could not go out of `interfaceName` (empty: the routes
// chose).
struct SendFailure {
    Request request = Request::Discovery;
    int error = 0;
    std::string interfaceName;
};

// Why a device ended as it did, beyond its result: what its explanation
// (common/OutcomeText.h) is told from.
struct OutcomeCause {
    // The device's non-zero result to its change or reboot.
    int result = 0;
    // After a reboot: the address and netmask it was expected back with
    // (empty: any, as with DHCP on), where it answered from before the
    // restart, whether it answered after it and which netmask it told.
    std::string expectedAddress;
    std::string expectedNetmask;
    std::string oldAddress;
    bool heardAfterRestart = false;
    std::optional<std::string> heardNetmask;
    // Its owner stopped it before its change was answered, or before it was
    // seen back.
    bool stopped = false;
    std::vector<SendFailure> sendFailures;
    // Invalid: why its plan row was refused (a marked text, or the words of
    // a plan conflict).
    std::string refused;
};

// How one device ended, as every front end tells it.
struct DeviceOutcome {
    std::string mac;
    JobOutcome result = JobOutcome::NotFound;
    // Where the device answered from last; nothing when never.
    std::optional<std::string> ip;
    // As read, and as heard again or as it should hold now; nothing when
    // not known.
    std::optional<DeviceSettings> before;
    std::optional<DeviceSettings> after;
    // Why it failed, in the tool's words; empty otherwise.
    std::string message;
    // NeedsBroadcast: why its credentials would have had to be broadcast,
    // and on which interface.
    std::optional<CredentialRoute> route;
    OutcomeCause cause;
};

} // namespace pemblor
