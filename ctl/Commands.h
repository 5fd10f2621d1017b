#pragma once
#include "ctl/CtlOptions.h"
#include "ctl/DeviceSession.h"

#include <atomic>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace pemblor {

class EventLoop;
class ISocketLayer;

// What a run of pemblorctl reads and writes besides the network.
struct CtlIo {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    // Asks for the password without echo; nothing, with `error` set, when it
    // cannot ask.
    std::function<std::optional<std::string>(std::string& error)> promptPassword;
    // Set (by a signal handler, say) when the user asks to stop; `apply`
    // then stops cleanly. Null: nobody can ask.
    const std::atomic<bool>* interrupted = nullptr;
};

// Runs one parsed command: checks the settings, reads the password, opens
// the network and talks to the devices. Returns the exit status.
int RunCommand(const CtlOptions& options, ISocketLayer& sockets, EventLoop& loop, CtlIo& io,
               SessionConfig config = {});

} // namespace pemblor
