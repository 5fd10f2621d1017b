#pragma once
#include "engine/Conversation.h"

namespace pemblor {

class IToolkit;
class ISocketLayer;

// The application: starts the sockets library and runs the device list
// window as the program's only modal loop.
class CPemblorApp final {
public:
    // Returns false always: the application ends when it returns, whether
    // start-up failed or the window has closed.
    bool InitInstance(IToolkit& toolkit, ISocketLayer& sockets, ConversationConfig config = {});
};

} // namespace pemblor
