#pragma once
#include "engine/ConversationState.h"
#include "engine/NetworkInterface.h"
#include "engine/SilenceDiagnosis.h"

#include <string_view>

namespace pemblor {

class ReplyDatagram;

// The requests whose send can fail.
enum class Request { Discovery, DetailQuery, SettingsChange, Reboot, Stop };

// Why the receive thread is not listening.
enum class ReceiveFailure {
    Launch,        // the thread could not be created
    SocketStartup, // the thread could not start the sockets library
};

// What the conversation tells its front end. It holds no text: the front
// end words each event.
//
// Threads: DeviceFound runs on the receive thread; every other call on the
// user-interface thread (from a handler the front end called, from
// Conversation::OnTimer, or through the dispatcher while the receive thread
// waits). None of them may destroy the conversation.
class ConversationListener {
public:
    virtual ~ConversationListener() = default;

    // Receive thread, state Discovering, one reply at a time. True when the
    // reply is a device that this cycle has not counted yet: the count grows
    // by one when the call returns, so inside the call
    // Conversation::DeviceCount() + 1 is its running number. `heardOn` is
    // the interface the reply arrived on (index 0 and no name when not
    // known, as without an interface list).
    virtual bool DeviceFound(const ReplyDatagram& reply, const NetworkInterface& heardOn) = 0;
    // The first timer tick of a discovery cycle; the state is Idle already.
    // With no device, `silence` tells what the tool can about why.
    virtual void DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence) = 0;
    // `request` could not be sent out of the interface `interfaceName`
    // (empty when the routes chose it); `error` is the system's error
    // number. A request that goes out of several interfaces reports each
    // failure once all of them have been tried.
    virtual void SendFailed(Request request, int error, std::string_view interfaceName) = 0;
    // The receive thread is not listening (Launch: from StartReceiveThread;
    // SocketStartup: posted by the thread as it ends).
    virtual void ReceiveFailed(ReceiveFailure failure) = 0;
};

} // namespace pemblor
