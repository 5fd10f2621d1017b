#pragma once

namespace pemblor {

// pemblorctl's exit statuses; scripts rely on them, so the numbers are fixed.
enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,         // bad arguments or invalid settings
    ExitNoDevice = 2,      // discover: nobody answered
    ExitRefused = 3,       // set, reboot: "Authentication Error!"
    ExitTimeOut = 4,       // no answer in time; reboot --wait: the device not back
    ExitPortTaken = 5,     // the device port is held by another program
    ExitNetwork = 6,       // any other network failure
    ExitOtherResult = 7,   // set, reboot: the device answered with another result code
    ExitNotAllDone = 8,    // apply: some device did not end verified, stored or unchanged
    ExitBroadcastRefused = 9, // set, reboot --unicast-only: the password could only have gone by broadcast
};

} // namespace pemblor
