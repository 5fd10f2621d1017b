#pragma once
#include "engine/CopyChannel.h"
#include "engine/Request.h"
#include "engine/IReversePathFilter.h"
#include "engine/InterfaceSet.h"
#include "engine/NetworkEndpoint.h"
#include "engine/ReplyEchoes.h"
#include "engine/UiDispatcher.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/PacketHeader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pemblor {

class ISocketLayer;
class ReplyDatagram;

struct TransportConfig {
    std::uint16_t port = DevicePort;            // receive port and destination port
    std::string destination = BroadcastAddress; // every request goes here
    // Starts the receive thread; false when it cannot be created.
    std::function<bool(std::thread&, std::function<void()>)> launchThread;
    // Waits between failed receives; returns false when the thread is to stop.
    // Default: an interruptible wait on the transport's stop signal.
    std::function<bool(std::chrono::milliseconds)> backoffWait;
    std::chrono::milliseconds firstBackoff{10};
    std::chrono::milliseconds maxBackoff{1000};
    // Bound on the wait for the receive thread when the transport stops.
    std::chrono::milliseconds stopTimeout{2000};
    // Kernel receive buffer asked for the receive socket (0: leave it).
    int receiveBufferBytes = 0;
    // Called on the receive thread for every reply it dispatches, before the
    // dispatch; for measurements. Must not block.
    std::function<void()> replyObserver;
    // The computer's interfaces: each request goes out of every usable one
    // (a device's out of the one it answered on). Null, or a list that cannot
    // be read: every request goes where the routes send it. Must outlive the
    // transport.
    IInterfaceList* interfaces = nullptr;
    // Where the kernel's reverse-path drops are read around each listening
    // window; null: they are not. Must outlive the transport.
    IReversePathFilter* reversePath = nullptr;
    // Milliseconds on a clock that never goes back, read on the receive
    // thread to tell a reply's echoes from a new reply; null: the steady
    // clock.
    std::function<std::int64_t()> now;
    // Where the kernel's neighbour table is read (the planner's look for
    // other hosts on the segment); tests name a file of their own.
    const char* neighbourTable = "/proc/net/arp";
    // How the other copies of the tool on this computer name this one (with
    // its process number) when it contests their results.
    std::string programName = "Pemblor";
};

// What a job waits for from its device.
enum class Awaited { Nothing, Detail, Result };

// The side of a job that hears its device. Both calls run on the
// user-interface thread while the receive thread waits; the reply's bytes
// live for the call only.
class ReplyHandler {
public:
    // A query reply whose header MAC is the awaited device's.
    virtual void DetailReply(const ReplyDatagram& reply, unsigned arrival) = 0;
    // A command reply of the device (its MAC, or a zero MAC from the address
    // of the one device whose command is outstanding there).
    virtual void ResultReply(const ReplyDatagram& reply, unsigned arrival) = 0;
    // Such a result while another copy of the tool on this computer,
    // `otherProgram`, commands the same device (or, for a zero MAC, the same
    // address): it may be that copy's, and is nobody's result.
    virtual void ContestedResult(const ReplyDatagram& reply, std::string_view otherProgram) = 0;

protected:
    ~ReplyHandler() = default;
};

// What a listener of the whole traffic (discovery, a fleet of jobs) hears
// from the transport besides the jobs' routing.
class TransportObserver {
public:
    // Receive thread: a query heard, the tool's own among them, on interface
    // `arrival`.
    virtual void QueryHeard(unsigned arrival) = 0;
    // Receive thread: every reply that is not a request, after the jobs'
    // routing; the transport's stop is not yet under way.
    virtual void ReplyReceived(const ReplyDatagram& reply, unsigned arrival) = 0;
    // User-interface thread: the receive thread is not listening.
    virtual void ReceiveFailed(ReceiveFailure failure) = 0;

protected:
    ~TransportObserver() = default;
};

// The result of one send out of the interfaces.
struct SendReport {
    struct Failure {
        std::string interfaceName; // empty when the routes chose
        int error = 0;
    };
    bool sent = false;             // went out of at least one interface
    std::vector<unsigned> sentOn;  // interfaces it went out of (none: by route)
    std::vector<Failure> failures; // in the order tried

    // Nothing went out, only for want of room: the kernel's buffers or its
    // neighbour table were full. Worth trying again shortly.
    bool NoRoomNow() const;
};

// The tool's sockets, its receive thread and the routing of replies: the
// endpoint (m_skSend and m_skRecv), the thread that owns the receive socket,
// and, for every job that waits for its device, the routing of that device's
// replies to it.
//
// Routing: a query reply goes to the job that awaits a detail reply of the
// device whose MAC its header carries; a command reply to the job that
// awaits a result of that MAC, or, when the header MAC is all zero, to the
// one job that awaits a result and whose device answers from the reply's
// sender address (none when two such jobs share the address: nobody can tell
// whose it is). Anything else completes no job. A result that another copy
// of the tool contests (CopyChannel) goes to ContestedResult instead.
//
// Threads: every method runs on the user-interface thread unless it says
// otherwise. Handlers run on that thread through the dispatcher.
class Transport final {
public:
    Transport(ISocketLayer& sockets, UiDispatcher& ui, TransportConfig config = {});
    // Stops the receive thread (a bounded wait).
    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Any number of observers, each added once. Both may be called while the
    // receive thread runs. Once RemoveObserver has returned, the receive
    // thread calls `observer` no more: it waits, serving the dispatcher, for
    // a call already under way, unless it is made from inside a call that
    // the observer itself made into the user-interface thread (the observer
    // is then on the stack and must outlive that call).
    void AddObserver(TransportObserver& observer);
    void RemoveObserver(TransportObserver& observer);

    // Opens the send socket and the receive socket; on failure the endpoint
    // has no sockets and every send fails.
    EndpointResult Open();
    // Starts the receive thread unless it runs already; false (after
    // ReceiveFailed(Launch)) when it cannot be started.
    bool StartReceiveThread();
    bool ThreadStarted() const { return m_bThreadStarted; }
    // Whether the receive thread holds its socket and waits on it.
    bool Listening() const { return m_listening.load(); }
    int ReceiveBufferGranted() const { return m_receiveBufferGranted.load(); }
    // Any thread: datagrams dropped because they were larger than any reply
    // (ReceiveBufferSize); a host on the LAN may send them at will.
    std::uint64_t OversizedDropped() const { return m_oversizedDropped.load(); }

    // Re-reads the interfaces (each discovery); false when they could not be
    // listed.
    bool RefreshInterfaces();
    bool InterfacesListed() const { return m_interfacesListed; }
    // Any thread: null without an interface list.
    IReversePathFilter* ReversePathFilter() const { return m_config.reversePath; }
    const InterfaceSet* Interfaces() const { return m_interfaces ? &*m_interfaces : nullptr; }
    std::optional<NetworkInterface> InterfaceByIndex(unsigned index) const;
    std::optional<NetworkInterface> InterfaceNamed(std::string_view name) const;

    // Sends out of every interface of the last reading, or out of `only`
    // when it is one of them (0: all); every interface is tried before the
    // report is returned. Without interfaces it goes by route. A discovery
    // with no interface at all counts as sent.
    SendReport Send(Request request, const Datagram& datagram, unsigned only = 0);
    // One datagram by unicast to `host` (dotted decimal), out of the
    // interface `interfaceIndex` when it is one of the last reading, else
    // where the routes send it. A switch hands it to that host alone.
    SendReport SendUnicast(const Datagram& datagram, std::string_view host, unsigned interfaceIndex);

    // Routing of one job's device: `handler` hears the replies of `mac`
    // described in the class comment while it awaits `what`; `address` is
    // where the device answers from (empty: not known, and zero-MAC results
    // then never reach it). Calling it again replaces the entry. The owner
    // calls StopAwaiting before `handler` goes.
    void Await(ReplyHandler& handler, const MacBytes& mac, std::string_view address, Awaited what);
    void StopAwaiting(ReplyHandler& handler);

    // Marks the stop as under way: the receive thread ends at its next
    // datagram and calls into the user-interface thread no more.
    void BeginStop();
    // Stops the receive thread with a bounded wait, serving the dispatcher
    // meanwhile: it shuts the thread's socket down, which wakes it whatever
    // reaches the shared port. The destructor calls it.
    void StopReceiveThread();

    // Receive thread: runs `call` on the user-interface thread unless the
    // stop is under way.
    bool CallUi(FunctionRef<void()> call);

private:
    struct ThreadContext;
    class StartupFailure final : public PostedCall {
    public:
        explicit StartupFailure(Transport& owner) : m_owner(owner) {}
        void Run() override { m_owner.TellReceiveFailed(ReceiveFailure::SocketStartup); }

    private:
        Transport& m_owner;
    };
    struct Route {
        ReplyHandler* handler;
        MacBytes mac;
        std::string address;
        Awaited what;
        std::uint64_t generation;
    };

    void ServiceSocketThread(std::shared_ptr<ThreadContext> context);
    // Receive thread: hands the reply to the job it belongs to, if any.
    void RouteReply(const ReplyDatagram& reply, unsigned arrival, std::int64_t nowMs);
    // Receive thread: a datagram from `sender` that is not the channel's
    // (or a reply another copy passed on) to the jobs and observers, and on
    // to the other copies when it reached this one alone. False when the
    // thread is to end.
    bool Dispatch(ThreadContext& context, ISocket& socket, std::span<const std::uint8_t> datagram,
                  const PeerAddress& sender, std::int64_t nowMs);
    // Receive thread: a message of the copies' channel from `sender`, and
    // every reply it passes on through Dispatch. False when the thread is to
    // end.
    bool ThroughChannel(ThreadContext& context, ISocket& socket, std::span<const std::uint8_t> message,
                        const PeerAddress& sender, std::int64_t nowMs);
    // Receive thread: sends the replies gathered to pass on, if any, to the
    // other copies, unless none is left.
    void PassOnGathered(ISocket& socket);
    // Tells the other copies through `socket` (null: the send socket).
    void TellCopies(const CopyChannel::Message& message, ISocket* socket = nullptr);
    // Routes lock held: the announcement for a route that awaits, or awaited,
    // a result.
    void AnnounceResultRoute(const Route& route, bool awaits);
    std::int64_t NowMs() const;
    SendReport SendByRoute(const Datagram& datagram);
    // Receive thread: `tell` for every observer added, one at a time,
    // without the observers' lock held during the call.
    template <typename Tell>
    void EachObserver(Tell&& tell);
    // User-interface thread.
    void TellReceiveFailed(ReceiveFailure failure);

    ISocketLayer& m_sockets;
    UiDispatcher& m_ui;
    TransportConfig m_config;
    CNetworkEndpoint m_endpoint;
    // Observers: written on the user-interface thread, read by the receive
    // thread. `m_calling` is the one the receive thread is calling now;
    // `m_uiCallDepth` counts the calls CallUi is running (user-interface
    // thread only).
    std::mutex m_observersLock;
    std::condition_variable m_observerCallEnded;
    std::vector<TransportObserver*> m_observers;
    TransportObserver* m_calling = nullptr;
    std::vector<TransportObserver*> m_observerSnapshot; // receive thread only
    int m_uiCallDepth = 0;
    std::optional<InterfaceSet> m_interfaces;
    // Whether the interfaces could be read at the last reading, and whether
    // they have been read at all: a front end that addresses a device it did
    // not discover in this run sends before any discovery, and its requests
    // must go out of every interface too.
    bool m_interfacesListed = false;
    bool m_interfacesRead = false;

    // Written on the user-interface thread, read by the receive thread.
    mutable std::mutex m_routesLock;
    std::vector<Route> m_routes;
    std::uint64_t m_routeGeneration = 0;

    bool m_bThreadStarted = false;
    StartupFailure m_startupFailure{*this};
    std::thread m_recvThread;
    std::shared_ptr<ThreadContext> m_context;
    std::atomic<int> m_receiveBufferGranted{0};
    std::atomic<std::uint64_t> m_oversizedDropped{0};
    CopyChannel m_copies;
    // Receive thread only.
    ReplyEchoes m_echoes;
    CopyChannel::Message m_passing; // replies gathered to pass on (a Passed message)
    std::atomic<bool> m_listening{false};
};

} // namespace pemblor
