#pragma once
#include "engine/ConversationState.h"
#include "engine/DiscoveryListener.h"
#include "engine/DiscoveryWatch.h"
#include "engine/ReversePathWatch.h"
#include "engine/Transport.h"
#include "engine/UiDispatcher.h"
#include "protocol/Datagram.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace pemblor {

class DeviceRegistry;
class ReplyDatagram;

// The discovery of the devices over the session's transport: the cycles and
// the quiet rounds of the live view, the conversation state the window
// shows, which reply is a device when, the discovery's time-out and the
// diagnosis of a silent network. Every reply taken goes to the registry.
// It hears the transport for itself, as one of its observers, from
// construction to destruction, and reaches the front end's user-interface
// thread only through the UiDispatcher.
//
// Threads: every method is for the user-interface thread unless it says
// otherwise. The receive thread reads the state and records replies.
class Discovery final : private TransportObserver {
public:
    using Clock = std::function<std::int64_t()>;

    // `now` stamps the records (null: 0). Everything given outlives it.
    Discovery(Transport& transport, DeviceRegistry& registry, UiDispatcher& ui, DiscoveryListener& listener,
              Clock now = {});
    // Hears the transport no more.
    ~Discovery() { m_transport.RemoveObserver(*this); }
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // A new cycle (count 0, state Discovering; the registry is the front
    // end's to clear), then the request. The send arms the timer for
    // 5000 ms; false after SendFailed.
    void BeginDiscovery();
    bool SendDiscovery();
    // A quiet round of the live view: state Idle, then a new cycle and its
    // request at once. It ends as a cycle does, but Quiet() tells the front
    // end to say nothing of it. False after SendFailed.
    bool BeginQuietRound();
    // Whether the cycle under way, or the last one, is a quiet round.
    bool Quiet() const { return m_bQuiet; }
    // State Idle.
    void ReturnToIdle() { m_nState = Idle; }
    void DisarmTimer() { m_ui.DisarmTimer(); }
    // State Closing and the stop datagram, which ends this session's receive
    // thread (and no other's).
    void Close();

    // A tick of the dispatcher's timer.
    void OnTimer();

    // Any thread.
    ConversationState State() const { return static_cast<ConversationState>(m_nState.load()); }
    // Devices this cycle added to the registry.
    int DeviceCount() const { return m_nDeviceCount.load(); }

private:
    // TransportObserver
    void QueryHeard(unsigned arrival) override;
    void ReplyReceived(const ReplyDatagram& reply, unsigned arrival) override;
    void ReceiveFailed(ReceiveFailure failure) override { m_listener.ReceiveFailed(failure); }

    // Out of every interface of the last discovery; true when it went out
    // of at least one (a discovery with no interface at all counts as sent:
    // its cycle ends with the diagnosis).
    bool Send(Request request, const Datagram& datagram);

    Transport& m_transport;
    DeviceRegistry& m_registry;
    UiDispatcher& m_ui;
    DiscoveryListener& m_listener;
    Clock m_now;
    DiscoveryWatch m_watch;
    ReversePathWatch m_reversePath;
    bool m_bQuiet = false; // user-interface thread only

    std::atomic<int> m_nState{Idle};
    std::atomic<int> m_nDeviceCount{0};
};

} // namespace pemblor
