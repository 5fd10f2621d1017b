#pragma once
#include "engine/DeviceJob.h"
#include "engine/DeviceRegistry.h"
#include "engine/JobOutcome.h"
#include "engine/Transport.h"
#include "engine/UiDispatcher.h"
#include "fleet/PlanRow.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
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
    std::string user;
    std::string password;
    bool reboot = false;
    bool dryRun = false;
    unsigned readTimeoutMs = 5000;
    unsigned changeTimeoutMs = 10000;
    // How long after its reboot a device has to be heard where planned.
    unsigned verifyWindowMs = 90000;
    unsigned roundMs = 2000;
    // Requests awaiting an answer at once (reads and changes).
    std::size_t maxOutstanding = 16;
    // The next change to an address goes out this long after the last
    // device there answered its change or was sent its reboot, so that a
    // late copy of an answer is never taken for the next device's.
    unsigned addressQuietMs = 1000;
    // How the credentials go (DeviceJob's plan).
    CredentialBroadcast broadcast = CredentialBroadcast::AlwaysBroadcast;
    // Devices listed besides the plan's (a window's table): their addresses
    // count as shared as well. Null: only the plan's devices count.
    // Outlives the job.
    const DeviceRegistry* listed = nullptr;
};

enum class DevicePhase { Waiting, Reading, Queued, Changing, Verifying, Done };

// Re-addresses the devices of a plan, one DeviceJob per device. For each
// device: read its detail (the values before and the address it answers
// from); when it holds the plan already, it is unchanged and nothing is
// sent; else send the change (only what differs) with the credentials and
// await its result; with `reboot`, reboot it once it accepted and watch it
// come back by discovery rounds, one every `roundMs` for all the devices
// still awaited, until it answers where planned or `verifyWindowMs` after
// its reboot. Nothing is sent again: a device that does not answer ends
// with that outcome.
//
// Credentials: unless `broadcast` says AlwaysBroadcast, each device's change
// and reboot go by unicast where the network allows (DeviceJob), the devices
// of the plan (all read before any change) and the `listed` ones counting
// for shared addresses; else by broadcast, as `broadcast` allows, after
// telling the owner (TellBroadcasts). A device refused the broadcast ends
// NeedsBroadcast, with its route.
//
// Scheduling: at most `maxOutstanding` reads and changes await an answer at
// once, changes before reads; one change awaits its result per address, so
// that devices sharing an address (and answering with a zero MAC) are
// changed one after another. Each device ends in exactly one outcome,
// `finished` told as it ends.
//
// Threads: the user-interface thread, on the transport's dispatcher; the
// job hears discovery replies as one of the transport's observers from
// Start until it is done.
class FleetJob final : private TransportObserver, private JobListener, private Deadline, private PostedCall {
public:
    using Finished = std::function<void(const DeviceOutcome&)>;
    using Progress = std::function<void(std::string_view mac, DevicePhase phase)>;
    // A device's credentials are about to go by broadcast; told once per
    // device, before they leave.
    using BroadcastNotice = std::function<void(std::string_view mac, const CredentialRoute& route)>;

    FleetJob(Transport& transport, UiDispatcher& ui, JobSettings settings, std::vector<JobRow> rows,
             Finished finished, Progress progress = {});
    // Sends nothing more and tells nothing more.
    ~FleetJob() override;
    FleetJob(const FleetJob&) = delete;
    FleetJob& operator=(const FleetJob&) = delete;

    // Before Start: who hears of credentials about to be broadcast.
    void TellBroadcasts(BroadcastNotice notice) { m_broadcastNotice = std::move(notice); }
    // Reports the refused rows, then sends the first requests.
    void Start();
    // Stops part-way: a device already sent a change ends with its outcome
    // so far; the others, never changed, end without an outcome (counted by
    // Untouched()).
    void Cancel();

    bool Done() const { return m_remaining == 0; }
    std::size_t Untouched() const { return m_untouched; }
    std::size_t Verifying() const;
    // Discovery rounds sent so far.
    int Rounds() const { return m_rounds; }
    // Set when the receive thread stopped listening.
    bool ReceiveStopped() const { return m_receiveStopped.load(); }
    // Why the plan was refused as a whole once every device had been read
    // (it would put a device where another device of the plan answers now,
    // as a swap does); nothing was changed. Empty when it was not.
    const std::string& PlanConflict() const { return m_planConflict; }

private:
    struct Device;

    // TransportObserver
    void QueryHeard(unsigned) override {}
    void ReplyReceived(const ReplyDatagram& reply, unsigned arrival) override;
    void ReceiveFailed(ReceiveFailure) override { m_receiveStopped = true; }
    // JobListener
    void JobProgress(DeviceJob& job, JobStep step, int secondsLeft, int queriesSent) override;
    void JobSendFailed(DeviceJob& job, Request request, int error, std::string_view interfaceName) override;
    void JobBroadcastingCredentials(DeviceJob& job, const CredentialRoute& route) override;
    void JobFinished(DeviceJob& job, const JobReport& report) override;
    // Deadline: the next discovery round.
    void Expired() override;
    // PostedCall: the next requests, outside the call that freed a place.
    void Run() override;

    Device* DeviceOf(const DeviceJob& job);
    void Pump();
    void PumpSoon();
    void SendRead(Device& device);
    void SendChange(Device& device);
    void Read(Device& device, const JobReport& report);
    void Changed(Device& device, const JobReport& report);
    // `route` and `stored`: NeedsBroadcast's route, and whether the device
    // holds its change (held back or refused at the reboot).
    void Finish(Device& device, JobOutcome result, std::optional<std::string> ip, OutcomeCause cause = {},
                std::optional<CredentialRoute> route = std::nullopt, bool stored = false);
    void Enter(Device& device, DevicePhase phase);
    bool AddressBusy(const std::string& address) const;
    // The device answered its change or was sent its reboot: its address
    // stays quiet for addressQuietMs.
    void BeginQuiet(Device& device);
    void EndQuiet(Device& device);
    // Once all are read: a device whose new address is where another device
    // of the plan answered its read waits for that one to be verified
    // elsewhere, when it moves away under a reboot. Refuses the plan when
    // one does not move away, or when the waits make a ring (a swap).
    // True if refused.
    bool RefuseConflicts();
    bool MovesAway(const Device& device) const;
    // A device on a path of waits that comes back to it; null when none.
    const Device* InRing(Device& device);
    // Whether every device it waits for was verified elsewhere (one turning
    // DHCP on: wherever it came back but there); ends it Invalid, unsent,
    // when one ended otherwise.
    bool Unblocked(Device& device);
    bool AddressShared(const Device& device, std::string_view address) const;
    void Round();

    Transport& m_transport;
    UiDispatcher& m_ui;
    JobSettings m_settings;
    std::vector<std::unique_ptr<Device>> m_devices;
    std::map<std::string, Device*, std::less<>> m_byMac;
    Finished m_finished;
    Progress m_progress;
    BroadcastNotice m_broadcastNotice;
    std::size_t m_remaining = 0;
    std::size_t m_outstanding = 0;
    std::size_t m_untouched = 0;
    int m_rounds = 0;
    // The devices whose quiet time runs, per address.
    std::map<std::string, int, std::less<>> m_quiet;
    bool m_readsDone = false;
    std::string m_planConflict;
    // Started, and so one of the transport's observers.
    bool m_started = false;
    bool m_roundDue = false;
    bool m_pumpPosted = false;
    std::atomic<bool> m_receiveStopped{false};
};

} // namespace pemblor
