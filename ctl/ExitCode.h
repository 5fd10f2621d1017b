#pragma once

namespace pemblor {

// pemblorctl's exit statuses; scripts rely on them, so the numbers are fixed.
enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,         // bad arguments or invalid settings
    ExitNoDevice = 2,      // discover: nobody answered
    ExitRefused = 3,       // set: "Authentication Error!"
    ExitTimeOut = 4,       // no answer in time
    ExitPortTaken = 5,     // the device port is held by another program
    ExitNetwork = 6,       // any other network failure
    ExitOtherResult = 7,   // set: the device answered with another result code
    ExitNotAllDone = 8,    // apply: some device did not end verified, stored or unchanged
};

} // namespace pemblor
