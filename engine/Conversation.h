#pragma once
#include "engine/ConversationListener.h"
#include "engine/ConversationState.h"
#include "engine/DiscoveryWatch.h"
#include "engine/InterfaceSet.h"
#include "engine/NetworkEndpoint.h"
#include "engine/Transport.h"
#include "engine/UiDispatcher.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/PacketHeader.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace pemblor {

class ISocketLayer;
class ReplyDatagram;

// The conversation's sockets, receive thread and interfaces are its
// transport's: it hands its configuration on as it is.
using ConversationConfig = TransportConfig;

// The tool's discovery of the devices, over the transport (the two sockets
// and the receive thread, which it shares with the jobs): the conversation
// state, which reply is taken when, and the discovery's time-out. A front end owns it, drives
// it through the methods below and hears from it through its
// ConversationListener; it reaches the front end's user-interface thread only
// through the UiDispatcher.
//
// Threads: every method is for the user-interface thread unless it says
// otherwise. The receive thread reads the state and calls the listener as
// that interface states.
class Conversation final : private TransportObserver {
public:
    Conversation(ISocketLayer& sockets, UiDispatcher& ui, ConversationListener& listener,
                 ConversationConfig config = {});
    // Stops the receive thread (a bounded wait).
    ~Conversation();
    Conversation(const Conversation&) = delete;
    Conversation& operator=(const Conversation&) = delete;

    // Opens the send socket and the receive socket; on failure the endpoint
    // has no sockets and every send fails.
    EndpointResult Open();
    // Starts the receive thread unless it runs already; false (after
    // ReceiveFailed(Launch)) when it cannot be started.
    bool StartReceiveThread();

    // Discovery: a new cycle (count 0, state Discovering), then the request.
    // The send arms the timer for 5000 ms; false after SendFailed.
    void BeginDiscovery();
    bool SendDiscovery();
    // State Idle.
    void ReturnToIdle();
    void DisarmTimer();

    // State Closing and the stop datagram, which ends this conversation's
    // receive thread (and no other's).
    void Close();

    // A tick of the dispatcher's timer.
    void OnTimer();

    // Any thread.
    ConversationState State() const { return static_cast<ConversationState>(m_nState.load()); }
    int DeviceCount() const { return m_nDeviceCount.load(); }
    bool ThreadStarted() const { return m_transport.ThreadStarted(); }
    // Any thread: the interface of this name as read at the last discovery.
    std::optional<NetworkInterface> InterfaceNamed(std::string_view name) const;
    // Receive buffer the kernel granted the receive socket (0: not asked).
    int ReceiveBufferGranted() const { return m_transport.ReceiveBufferGranted(); }

    // The sockets and the receive thread, for the jobs that share them with
    // this conversation.
    Transport& GetTransport() { return m_transport; }

    // Stops the receive thread with a bounded wait, serving the dispatcher
    // meanwhile. The destructor calls it; a front end calls it earlier when
    // the receive thread must stop calling it first.
    void StopReceiveThread();

private:
    // TransportObserver
    void QueryHeard(unsigned arrival) override;
    void ReplyReceived(const ReplyDatagram& reply, unsigned arrival) override;
    void ReceiveFailed(ReceiveFailure failure) override { m_listener.ReceiveFailed(failure); }

    // Out of every interface of the last discovery; true when it went out
    // of at least one (a discovery with no interface at all counts as sent:
    // its cycle ends with the diagnosis).
    bool Send(Request request, const Datagram& datagram);

    UiDispatcher& m_ui;
    ConversationListener& m_listener;
    Transport m_transport;
    DiscoveryWatch m_watch;

    std::atomic<int> m_nState{Idle};
    std::atomic<int> m_nDeviceCount{0};
};

} // namespace pemblor
