#pragma once
#include "ctl/DeviceRecords.h"
#include "ctl/EventLoop.h"
#include "engine/ConversationState.h"
#include "engine/DiscoveryWatch.h"
#include "engine/InterfaceSet.h"
#include "engine/ISocketLayer.h"
#include "protocol/DatagramType.h"
#include "protocol/Requests.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace pemblor {

class CNetworkEndpoint;

struct SessionConfig {
    std::uint16_t port = DevicePort;
    std::string destination = BroadcastAddress;
    // Many devices answer a discovery at once; their replies wait in the
    // kernel while the receive thread works through them.
    int receiveBufferBytes = 8 * 1024 * 1024;
    // The computer's interfaces: every request goes out of each usable one.
    // Null: one send, out of the interface the routes pick.
    IInterfaceList* interfaces = nullptr;
};

// The command line's conversation with the devices: the tool's two sockets,
// a receive thread, and the conversation state that decides what a reply
// means. Requests go out exactly as the windows send them.
//
// Threads: every method runs on the event loop's thread. The receive thread
// decodes replies and hands them to the loop with one posted task per batch;
// routing and the listener calls happen on the loop's thread.
class DeviceSession final {
public:
    DeviceSession(ISocketLayer& sockets, EventLoop& loop, SessionConfig config = {});
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    struct OpenResult {
        bool ok = false;
        bool portTaken = false; // the device port is bound by another program
        std::string message;    // the failing step's message, as the window words it
    };
    // Opens both sockets and starts the receive thread.
    OpenResult Open();

    // Each Begin sets the state, then sends out of every usable interface.
    // `error` collects the failure of each interface that could not send, one
    // line each ("skSend.SendTo: 19 (eth1)"); false when nothing went out.
    bool BeginDiscovery(std::function<void(const FoundDevice&)> onDevice, std::string& error);
    bool BeginDetailQuery(const std::string& mac, std::string& error);
    bool BeginSettingsChange(const std::string& mac, const std::string& user, const std::string& password,
                             const SettingsChange& change, std::string& error);
    // Sets no state; no answer is awaited.
    bool SendReboot(const std::string& mac, const std::string& user, const std::string& password,
                    std::string& error);
    void ReturnToIdle() { m_state = Idle; }

    ConversationState State() const { return m_state; }
    // Why the last discovery may have found nothing.
    SilenceDiagnosis Diagnose() const { return m_watch.Diagnose(); }
    bool NamesInterfaces() const { return m_interfaceSet != nullptr; }
    int DeviceCount() const { return static_cast<int>(m_seen.size()); }
    // The addressed device's detail reply has been taken (Detail() holds it).
    bool DetailReady() const { return m_state == DetailReceived; }
    // The last detail reply taken, and the last command result.
    const std::optional<DeviceDetail>& Detail() const { return m_detail; }
    std::optional<int> Result() const { return m_result; }

private:
    struct Reply {
        std::uint32_t type = 0;
        std::string mac;
        std::string sender;
        int resultCode = -1;
        unsigned interfaceIndex = 0;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    struct DrainTask : EventLoop::Task {
        DeviceSession* owner = nullptr;
    };
    bool Send(const Datagram& datagram, const char* format, std::string& error, bool discovery = false);
    void Receive();
    static void DrainNow(EventLoop::Task& task);
    void Drain();
    void Route(const Reply& reply);

    ISocketLayer& m_sockets;
    EventLoop& m_loop;
    SessionConfig m_config;
    std::unique_ptr<CNetworkEndpoint> m_endpoint;
    std::unique_ptr<InterfaceSet> m_interfaceSet; // lookups from both threads
    DiscoveryWatch m_watch;                        // Heard from the receive thread
    std::unique_ptr<ISocket> m_recvSocket;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    // Receive thread to loop thread.
    std::mutex m_inboxMutex;
    std::vector<Reply> m_inbox;
    bool m_drainPosted = false;
    DrainTask m_drainTask;

    // Loop thread only.
    ConversationState m_state = Idle;
    std::function<void(const FoundDevice&)> m_onDevice;
    std::set<std::string> m_seen;
    std::string m_queriedMac; // detail replies and results count from this device only
    std::optional<DeviceDetail> m_detail;
    std::optional<int> m_result;
    std::vector<Reply> m_draining;
};

} // namespace pemblor
