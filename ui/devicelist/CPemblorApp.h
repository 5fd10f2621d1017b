#pragma once
#include "engine/Session.h"
#include "ui/setupip/ManySetupIp.h"

namespace pemblor {

class IToolkit;
class ISocketLayer;
class UiDispatcher;

// The application: starts the sockets library and runs the device list
// window as the program's only modal loop.
class CPemblorApp final {
public:
    // Returns false always: the application ends when it returns, whether
    // start-up failed or the window has closed.
    // `manySetupIp` shows "Setup IP for N devices" (none: Setup IP serves
    // one device only). `dispatcher` is the user-interface thread's, for the
    // window's session.
    bool InitInstance(IToolkit& toolkit, UiDispatcher& dispatcher, ISocketLayer& sockets, SessionConfig config = {},
                      ManySetupIpView manySetupIp = {});
};

} // namespace pemblor
