#pragma once
#include "engine/EventLoop.h"
#include "engine/Session.h"

namespace pemblor {

class IInterfaceList;
class ISocketLayer;
class UiDispatcher;

// The session settings of the desktop application: requests go out of every
// usable interface of `interfaces`, and the receive buffer holds a burst of
// replies (many devices answer a discovery at once) while the receive
// thread works through them.
SessionConfig DesktopSessionConfig(IInterfaceList& interfaces);

// The application's icon, embedded in the program, for every window.
void InstallApplicationIcon();

// The application once the QApplication exists: starts the sockets
// library, then shows the device list window and runs Qt's loop until the
// window has closed. Returns the process's exit status, 0 also when the
// sockets library cannot start (the message says so and no window opens).
int RunApplication(UiDispatcher& dispatcher, const LoopClock& clock, ISocketLayer& sockets, SessionConfig config = {});

} // namespace pemblor
