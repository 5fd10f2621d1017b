#pragma once
#include "engine/fake/FakeNetwork.h"
#include "protocol/Datagram.h"
#include "protocol/PacketHeader.h"
#include "toolkit/fake/FakeToolkit.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pemblor {

class ISocket;

// A device's configuration agent on the fake LAN: its own host, a socket on
// the device port, and answers after scripted virtual delays. A request is
// heard on the agent's thread; the answer is scheduled on the toolkit's
// clock (as an external event) and sent, to the requester's host, when the
// clock gets there.
//
// Answers: a discovery request (type 0, all-zero MAC) with `discoveryEntries`
// (`discoveryReplies` times); a detail query (type 0, this device's MAC) with
// `detailEntries`; a settings change (type 2, this device's MAC, not
// "reboot") with a command reply carrying `commandResult`. A reboot is never
// answered.
class FakeAccessPoint final {
public:
    using Millis = FakeToolkit::Millis;

    struct Profile {
        MacBytes mac{};
        std::vector<std::string> discoveryEntries;
        std::vector<std::string> detailEntries;
        int commandResult = 0;
        std::uint32_t replyType = 1;
        int discoveryReplies = 1;
        Millis discoveryDelay = 100;
        Millis detailDelay = 100;
        Millis commandDelay = 100;
        bool answerDiscovery = true;
        bool answerDetail = true;
        bool answerCommands = true;
        // Written into the discovery reply's entryCount field instead of the
        // number of entries, when not negative.
        int discoveryEntryCountField = -1;
    };

    // The usual agent: SSID, IP_ADDR (its host address), CURRENT_SUBNET_MASK
    // and CHANNEL for discovery; IP_ADDR, SUBNET_MASK, DEFAULT_GATEWAY and
    // DHCP for the detail query.
    static Profile Standard(const std::string& host, const MacBytes& mac, const std::string& ssid = "lab");

    FakeAccessPoint(FakeNetwork& network, FakeToolkit& toolkit, std::string host, Profile profile);
    ~FakeAccessPoint();
    FakeAccessPoint(const FakeAccessPoint&) = delete;
    FakeAccessPoint& operator=(const FakeAccessPoint&) = delete;

    const std::string& Host() const { return m_strHost; }
    std::string MacText() const;
    void SetProfile(const Profile& profile);
    Profile GetProfile() const;

    // Sends `datagram` from the device at once, to `toHost` on the device port.
    void Send(const Datagram& datagram, const std::string& toHost);

    struct Request {
        std::uint32_t type;
        MacBytes mac;
        std::vector<std::string> entries;
    };
    // Every request heard so far (types 0 and 2), in order.
    std::vector<Request> Requests() const;

private:
    // An answer heard on the agent's thread, waiting to be scheduled on the
    // clock by the user-interface thread.
    struct Pending {
        Datagram reply;
        std::string toHost;
        Millis delay;
        int times;
    };
    struct ScheduleCall final : PostedCall {
        FakeAccessPoint* owner = nullptr;
        void Run() override { owner->ScheduleAnswers(); }
    };
    void Run();
    // With m_mutex held.
    void Answer(const Datagram& reply, const std::string& toHost, Millis delay, int times);
    void ScheduleAnswers();

    FakeToolkit& m_toolkit;
    ScheduleCall m_scheduleCall;
    std::vector<Pending> m_pending; // guarded by m_mutex
    std::string m_strHost;
    std::unique_ptr<FakeSocketLayer> m_layer;
    std::unique_ptr<ISocket> m_socket;
    mutable std::mutex m_mutex;
    Profile m_profile;
    std::vector<Request> m_requests;
    std::condition_variable m_started;
    bool m_bStarted = false; // guarded by m_mutex
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

} // namespace pemblor
