#pragma once
#include "fleet/FleetLink.h"
#include "fleet/ReaddressJob.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pemblor {

// Access points as the re-address job meets them, in virtual time: each
// answers the job's requests after `latencyMs`, goes down for `rebootMs`
// after a reboot and comes back with what it stored. Run() drives the job
// from event to event, so 90 virtual seconds take no time.
class FakeFleet final : public FleetLink {
public:
    using Millis = std::int64_t;
    struct Device {
        std::string mac;
        std::string address;
        DeviceSettings values;
        std::string user = "admin";
        std::string password = "secret";
        bool answersRead = true;
        bool answersChange = true;
        int forcedResult = -1; // >= 0: answers every change with it
        bool zeroMacResult = false;
        bool neverReturns = false;
        bool applyImmediately = false;
        Millis latencyMs = 5;
        Millis rebootMs = 30000;

        // What happened to it.
        bool down = false;
        DeviceSettings stored;
        int changes = 0;
        int reboots = 0;
    };

    explicit FakeFleet(std::vector<Device> devices);

    Device& At(const std::string& mac);
    Millis Now() const { return m_now; }
    // Runs `action` on the job at `when`, as a reply from elsewhere would.
    void Inject(Millis when, std::function<void(ReaddressJob&)> action);
    // Starts the job and serves it until it is done or `until` passes.
    void Run(ReaddressJob& job, Millis until = 10 * 60 * 1000);

    // The most changes sent and not yet answered (or given up) at once, and
    // the same counted for devices of one address.
    std::size_t MostChangesInFlight() const { return m_mostInFlight; }
    std::size_t MostChangesInFlightAtOneAddress() const { return m_mostAtOneAddress; }
    std::size_t MostOutstanding() const { return m_mostOutstanding; }
    // The job ended the device (a change it gave up on is no longer in flight).
    void Ended(const std::string& mac);
    int Discoveries() const { return m_discoveries; }

    // FleetLink
    bool SendDetailQuery(std::string_view mac, std::string& error) override;
    bool SendSettingsChange(std::string_view mac, std::string_view user, std::string_view password,
                            const SettingsChange& change, std::string& error) override;
    bool SendReboot(std::string_view mac, std::string_view user, std::string_view password,
                    std::string& error) override;
    bool SendDiscovery(std::string& error) override;
    void Forget(std::string_view) override {}

private:
    void Later(Millis delay, std::function<void(ReaddressJob&)> action);
    void Settled(const std::string& mac);

    std::vector<Device> m_devices;
    std::multimap<Millis, std::function<void(ReaddressJob&)>> m_events;
    Millis m_now = 0;
    std::map<std::string, std::string> m_inFlight; // mac -> address of a change awaiting its answer
    std::size_t m_mostInFlight = 0;
    std::size_t m_mostAtOneAddress = 0;
    std::size_t m_mostOutstanding = 0;
    int m_discoveries = 0;
};

} // namespace pemblor
