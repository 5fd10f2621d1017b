#pragma once
#include "engine/EventLoop.h"
#include "engine/ISocket.h"
#include "engine/fake/FakeNetwork.h"
#include "protocol/PacketHeader.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pemblor {

// An access point's agent on the fake network, answering at once on its own
// thread: discovery, detail query, settings change (checking the
// credentials) and reboot (answered only when refused, with result 1). After a reboot it is silent until the clock
// reaches the end of the restart, and then answers from its new address if a
// change moved it.
class FakeAgent final {
public:
    struct Settings {
        MacBytes mac{};
        std::string ssid = "lab";
        std::string mask = "255.255.255.0";
        std::string gateway = "10.0.0.254";
        std::string dhcp = "0";
        std::string user = "admin";
        std::string password = "admin";
        int discoveryReplies = 1;
        bool answerDetail = true;
        bool answerCommands = true;
        LoopClock::Millis rebootMs = 20000;
        // Results (the answers to changes and refused reboots) carry a zero
        // MAC in their header.
        bool zeroMacResult = false;
        // An accepted change of IP_ADDR moves the agent at its reboot.
        bool moveOnReboot = true;
    };

    // `host` is the agent's address; `movedHost` the address it answers from
    // after a change of IP_ADDR and a reboot (its own host on the network).
    FakeAgent(FakeNetwork& network, const LoopClock& clock, std::string host, Settings settings,
              std::string movedHost = {});
    ~FakeAgent();
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    std::string Mac() const;
    // The texts of every request heard, one string per request, entries
    // joined by '|', prefixed with the type and the credentials.
    std::vector<std::string> Requests() const;

private:
    void Run();
    void Reply(std::uint32_t type, const std::vector<std::string>& texts, const std::string& to,
               bool zeroMac = false);

    const LoopClock& m_clock;
    std::string m_host;
    std::string m_movedHost;
    std::unique_ptr<FakeSocketLayer> m_layer;
    std::unique_ptr<FakeSocketLayer> m_movedLayer;
    std::unique_ptr<ISocket> m_socket;
    std::unique_ptr<ISocket> m_movedSocket;
    mutable std::mutex m_mutex;
    Settings m_settings;
    std::string m_ip;
    std::string m_pendingIp;
    LoopClock::Millis m_backAt = -1;
    std::vector<std::string> m_requests;
    std::condition_variable m_startedCv;
    bool m_started = false; // written under m_mutex; read unlocked by the agent's thread only
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace pemblor
