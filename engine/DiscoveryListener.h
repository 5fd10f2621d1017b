#pragma once
#include "engine/Request.h"
#include "engine/SilenceDiagnosis.h"

#include <string_view>

namespace pemblor {

// What the discovery tells its front end. It holds no text: the front end
// words each event. The devices found go to the session's registry, which
// tells its own listeners.
//
// Threads: every call on the user-interface thread (from a handler the front
// end called, from Discovery::OnTimer, or posted by the receive thread).
// None of them may destroy the session.
class DiscoveryListener {
public:
    virtual ~DiscoveryListener() = default;

    // The first timer tick of a discovery cycle; the state is Idle already.
    // With no device, `silence` tells what the tool can about why.
    virtual void DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence) = 0;
    // `request` (the discovery or the stop datagram) could not be sent out of
    // the interface `interfaceName` (empty when the routes chose it); `error`
    // is the system's error number. A request that goes out of several
    // interfaces reports each failure once all of them have been tried.
    virtual void SendFailed(Request request, int error, std::string_view interfaceName) = 0;
    // The receive thread is not listening (Launch: from StartReceiveThread;
    // SocketStartup: posted by the thread as it ends).
    virtual void ReceiveFailed(ReceiveFailure failure) = 0;
};

} // namespace pemblor
