#pragma once
#include "engine/DeviceSettings.h"
#include "engine/EventLoop.h"
#include "engine/fake/FakeNetwork.h"
#include "protocol/Datagram.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pemblor::test {

// Devices as the jobs meet them on the fake network, on the dispatcher's
// virtual clock: each lives at its address (a host of the network; devices
// may share one), answers discovery (with its settings in use), its detail
// query (with its settings as stored) and its commands after `latencyMs`,
// and after an accepted reboot is silent for `rebootMs` and comes back with
// what it stored (or stores what `backAt` and `backNetmask` say instead).
class FleetLan final {
public:
    using Millis = EventLoop::Millis;
    struct Device {
        std::string mac; // MAC text
        std::string address;
        DeviceSettings values; // in use now (stored as well until a change)
        std::string user = "admin"; // empty: any
        std::string password = "secret";
        bool answersRead = true; // false: answers no query at all (a discovery reply would do for a read)
        bool answersChange = true;
        int forcedResult = -1; // >= 0: answers every change with it
        bool zeroMacResult = false;
        bool neverReturns = false;
        // After the reboot: another address or netmask than it stored.
        std::optional<std::string> backAt;
        std::optional<std::string> backNetmask;
        Millis latencyMs = 5;
        // > 0: a copy of each change's result follows this much later (a
        // second interface into the segment, a slow path).
        Millis lateCopyMs = 0;
        Millis rebootMs = 30000;

        // What happened to it.
        bool down = false;
        DeviceSettings stored;
        int changes = 0;
        int reboots = 0;
    };

    FleetLan(FakeNetwork& network, EventLoop& ui, std::string toolHost, std::vector<Device> devices);
    ~FleetLan();
    FleetLan(const FleetLan&) = delete;
    FleetLan& operator=(const FleetLan&) = delete;

    Device& At(const std::string& mac);
    // Sends `datagram` to the tool from `address` (a host made for it).
    void SendFrom(const std::string& address, const Datagram& datagram);

    int Discoveries() const { return m_discoveries; }
    std::size_t MostChangesInFlight() const { return m_mostChanges; }
    std::size_t MostChangesAtOneAddress() const { return m_mostAtOneAddress; }
    std::size_t MostRequestsInFlight() const { return m_mostRequests; }

private:
    struct Host;
    Host& HostAt(const std::string& address);
    // User-interface thread: a request heard on `host`.
    void Heard(const std::string& host, const std::vector<std::uint8_t>& bytes);
    void Later(Device& device, Millis delay, std::function<void(Device&)> action);
    void Answer(const Device& device, const Datagram& reply);
    void Counted(const std::string& mac, const std::string& address, bool change, bool add);

    FakeNetwork& m_network;
    EventLoop& m_ui;
    std::string m_toolHost;
    std::vector<Device> m_devices;
    std::map<std::string, std::unique_ptr<Host>> m_hosts;
    int m_discoveries = 0;
    // Requests received and not yet answered, by MAC: (address, change).
    std::map<std::string, std::pair<std::string, bool>> m_inFlight;
    std::size_t m_mostChanges = 0;
    std::size_t m_mostAtOneAddress = 0;
    std::size_t m_mostRequests = 0;
};

} // namespace pemblor::test
