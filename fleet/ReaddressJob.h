#pragma once
#include "engine/JobOutcome.h"
#include "fleet/FleetLink.h"
#include "fleet/PlanRow.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

struct JobRow {
    PlanRow row;
    // Why the row was refused before the job (it could not be read); the
    // job refuses it too. Empty: the job checks the row itself.
    std::string refused;
};

struct JobSettings {
    using Millis = std::int64_t;
    std::string user;
    std::string password;
    bool reboot = false;
    bool dryRun = false;
    Millis readTimeoutMs = 5000;
    Millis changeTimeoutMs = 10000;
    // How long after its reboot a device has to be heard where planned.
    Millis verifyWindowMs = 90000;
    Millis roundMs = 2000;
    // Requests awaiting an answer at once (reads and changes).
    std::size_t maxOutstanding = 16;
};

enum class DevicePhase { Waiting, Reading, Queued, Changing, Verifying, Done };

// Re-addresses the devices of a plan. For each device: read its detail (the
// values before and the address it answers from); when it holds the plan
// already, it is unchanged and nothing is sent; else send the change by MAC
// with the credentials and await its result; with `reboot`, reboot it once
// it accepted and verify it by discovery rounds every `roundMs` until it
// answers from its planned address with its planned netmask or
// `verifyWindowMs` after its reboot. Nothing is sent again: a device that
// does not answer ends with that outcome.
//
// A reply completes a device only when it answers the request the device
// awaits: its MAC, from the address the device answered the read from (or
// its planned address), or a zero MAC from that address while that device
// alone awaits a result there. So devices that share an address are changed
// one after another, and replies to other tools or strays are ignored.
//
// A state machine with no thread or clock of its own: the front end feeds
// it replies and the time (Tick, at NextDeadline() at the latest), all on
// one thread. `finished` is called once per device, as it ends.
class ReaddressJob final {
public:
    using Millis = std::int64_t;
    using Finished = std::function<void(const DeviceOutcome&)>;
    using Progress = std::function<void(std::string_view mac, DevicePhase phase)>;

    ReaddressJob(FleetLink& link, JobSettings settings, std::vector<JobRow> rows, Finished finished,
                 Progress progress = {});
    ~ReaddressJob();
    ReaddressJob(const ReaddressJob&) = delete;
    ReaddressJob& operator=(const ReaddressJob&) = delete;

    // Reports the refused rows, then sends the first requests.
    void Start(Millis now);

    // `mac` is the reply header's MAC text ("00:00:00:00:00:00" for a zero
    // MAC), `sender` the address it came from.
    void DetailHeard(std::string_view mac, std::string_view sender, const DeviceSettings& values, Millis now);
    void ResultHeard(std::string_view mac, std::string_view sender, int code, Millis now);
    // A discovery reply and the netmask it reports (CURRENT_SUBNET_MASK).
    void DiscoveryHeard(std::string_view mac, std::string_view sender, std::optional<std::string_view> netmask,
                        Millis now);
    void Tick(Millis now);

    // Stops part-way: a device already sent a change ends with its outcome
    // so far; the others, never changed, end without an outcome (counted by
    // Untouched()).
    void Cancel();

    bool Done() const { return m_remaining == 0; }
    // When Tick must run next; nothing while only replies can move the job.
    std::optional<Millis> NextDeadline() const;
    std::size_t Outstanding() const { return m_outstanding; }
    std::size_t Untouched() const { return m_untouched; }
    std::size_t Verifying() const;

private:
    struct Device;

    void Pump(Millis now);
    void SendRead(Device& device, Millis now);
    void SendChange(Device& device, Millis now);
    void Accepted(Device& device, Millis now);
    void Finish(Device& device, JobOutcome result, std::optional<std::string> ip, std::string message = {});
    void Enter(Device& device, DevicePhase phase);
    bool AddressBusy(const std::string& address) const;
    Device* Awaiting(DevicePhase phase, std::string_view mac, std::string_view sender);

    FleetLink& m_link;
    JobSettings m_settings;
    std::vector<Device> m_devices;
    Finished m_finished;
    Progress m_progress;
    std::size_t m_remaining = 0;
    std::size_t m_outstanding = 0;
    std::size_t m_untouched = 0;
    std::optional<Millis> m_nextRound;
};

} // namespace pemblor
