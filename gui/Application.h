#pragma once
#include "engine/EventLoop.h"
#include "engine/Session.h"

namespace pemblor {

class ISocketLayer;
class UiDispatcher;

// The application's icon, embedded in the program, for every window.
void InstallApplicationIcon();

// The application once the QApplication exists: starts the sockets
// library, then shows the device list window and runs Qt's loop until the
// window has closed. Returns the process's exit status, 0 also when the
// sockets library cannot start (the message says so and no window opens).
int RunApplication(UiDispatcher& dispatcher, const LoopClock& clock, ISocketLayer& sockets, SessionConfig config = {});

} // namespace pemblor
