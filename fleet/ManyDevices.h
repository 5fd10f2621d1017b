#pragma once
#include "engine/CredentialRoute.h"
#include "engine/EventLoop.h"
#include "engine/NeighbourTable.h"
#include "engine/NetworkInterface.h"
#include "engine/UiDispatcher.h"
#include "engine/JobOutcome.h"
#include "engine/ReversePathWatch.h"
#include "fleet/PlanBack.h"
#include "fleet/Planner.h"
#include "fleet/FleetJob.h"
#include "fleet/PlanJob.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pemblor {

class ISocketLayer;
class Transport;

// One selected device as the window listed it.
struct ManyDevice {
    int number = 0; // the No column
    std::string ssid;
    std::string mac; // upper-case MAC text
    std::string address;
};

// Where a preview row stands. Planned and Refused before Apply; then the
// phases of the job, and Ended with its outcome. After Put back, a device
// the plan back leaves out is LeftOut: nothing is sent to it.
enum class ManyRowState { Planned, Refused, Waiting, Reading, Changing, Rebooting, Ended, Stopped, LeftOut };

struct ManyRow {
    ManyDevice device;
    std::optional<std::string> planned; // the address the plan gives it
    // Before Apply: the addresses the plan skipped just before this one
    // ("198.18.1.52" or "198.18.1.52 - 198.18.1.60"), empty when none.
    std::string skipped;
    // Why the row is refused (the tool's words); nothing is sent to it.
    std::string refused;
    ManyRowState state = ManyRowState::Planned;
    // How its password would travel, as known before any query (the
    // interface it answered on, the other devices heard at its address).
    CredentialRoute route;
    // Rebooting: whole seconds since the reboot was sent.
    int waitedSeconds = 0;
    std::optional<DeviceOutcome> outcome;
    // LeftOut: why (its `row` is no index here).
    std::optional<PlanBack::LeftOut> leftOut;
};

// The logic of "Setup IP for N devices": plans the selected devices' new
// addresses as the inputs change (the fleet planner), then re-addresses
// them with one set of credentials (the re-address job) while the window
// stays responsive, and tells each row's state as it moves. It words
// nothing: the view words the states and the summary.
//
// User-interface thread only. The transport (whose receive thread runs
// while the job does), the dispatcher and the clock outlive it.
class ManyDevices final : private Deadline {
public:
    using Millis = LoopClock::Millis;

    // `heard`: every device listed, the selected ones among them (a device
    // not heard has no interface and shares its address with no one);
    // `reserved`: addresses the plan skips besides theirs.
    ManyDevices(Transport& transport, UiDispatcher& dispatcher, const LoopClock& clock,
                std::vector<ManyDevice> devices, std::vector<HeardDevice> heard,
                std::vector<std::uint32_t> reserved = {});
    ~ManyDevices();
    ManyDevices(const ManyDevices&) = delete;
    ManyDevices& operator=(const ManyDevices&) = delete;

    // The view hears every change of a row (its index) and the end of the
    // job; the window hears each device's outcome as it ends.
    std::function<void(std::size_t row)> rowChanged;
    std::function<void()> finished;
    std::function<void(const DeviceOutcome&)> outcome;
    // Asked, once the job has ended, for each device it held back because it
    // did not answer by unicast (the plan's policy AskIfUnanswered): true
    // lets its password go by broadcast, and the device is changed again;
    // false ends it NeedsBroadcast. Unset: every such device ends so.
    std::function<bool(std::string_view mac, const CredentialRoute& route)> askBroadcast;

    // Called when Apply could not go on: the plan made again once the other
    // hosts on the devices' link were found failed (PlanFailure() says why).
    // Nothing was sent to a device; the plan may be changed and applied again.
    std::function<void()> applyRefused;

    // Other hosts on the devices' link: the plan skips the addresses the
    // neighbour table at `table` holds for a MAC that is no heard device's.
    // The preview reads the table as it is; Apply first prompts address
    // resolution of the planned addresses through `sockets` (when the plan
    // lies in the network of an interface the devices answered on), waits
    // for the kernel, reads the table and plans again, as PlanJob does. Not
    // called: the plan does not look for other hosts. `sockets` outlives the
    // logic.
    void LookForHosts(ISocketLayer& sockets, std::string table);

    // Plans again for the inputs of `request` (not while the job runs): the
    // start address (empty or incomplete: no plan), and the netmask, gateway
    // and DHCP (nothing: leave). Its MACs are the rows' that are not refused.
    void Replan(PlanRequest request);
    const std::vector<ManyRow>& Rows() const { return m_rows; }
    // Why nothing could be planned; empty while the plan stands.
    const std::string& PlanFailure() const { return m_planFailure; }
    bool CanApply() const { return !m_job && !m_applied && !Probing() && m_planned; }

    // Starts the job with the plan as it stands, with the credentials, the
    // reboot and the timings of `settings` (a dry run is never asked here).
    void Apply(JobSettings settings);
    // Applying: looking for other hosts first, or the job running.
    bool Running() const { return m_job != nullptr || Probing(); }
    bool Applied() const { return m_applied; }
    // Stops part-way: a device already sent a change ends with its outcome
    // so far, the others are told Stopped.
    void Stop();

    // After Apply's job: whether any device took a change or may have taken
    // one, and so would be put back (once only).
    bool CanPutBack() const;
    // Runs the plan back of the job's outcomes, as `pemblorctl undo` makes
    // it, with Apply's credentials, reboot and policy: the devices it puts
    // back become Waiting and end again with their outcome, the others
    // LeftOut; finished is told again at its end.
    void PutBack();
    bool PuttingBack() const { return m_puttingBack; }

    // After the job: the kernel's reverse-path drops while it ran, when
    // they rose (the view tells them below the rows).
    const std::optional<ReversePathNote>& ReversePathDropped() const { return m_dropped; }

    // After the job: how many devices ended with `result`, and how many were
    // stopped before anything was sent.
    std::size_t CountOf(JobOutcome result) const;
    std::size_t StoppedCount() const { return CountIn(ManyRowState::Stopped); }
    std::size_t CountIn(ManyRowState state) const;
    // The outcomes as CSV, the columns `pemblorctl apply --format csv` prints.
    std::string OutcomeCsv() const;

private:
    void Expired() override;
    // Shows the rows of `result`, the plan of m_inputs.request.
    void Show(const PlanResult& result);
    bool Probing() const { return m_planJob && !m_planJob->Done(); }
    // The planning job of Apply has ended.
    void Planned();
    void Launch();
    void Drive();
    void Progress(std::string_view mac, DevicePhase phase);
    void Ended(const DeviceOutcome& outcome);
    // The row has ended with `ended`: told to the view and the window.
    void EndRow(std::size_t index, const DeviceOutcome& ended);
    void Finish();
    // The plan back of the rows' outcomes; `rowOf` maps its result rows to
    // the rows here.
    PlanBack MakePlanBack(std::vector<std::size_t>& rowOf) const;
    // The job has ended: asks about the devices held back, and runs those
    // allowed again by broadcast. False when nothing is left to run.
    bool RetryByBroadcast();
    void StartJob(std::vector<JobRow> rows);
    void TickSoon();
    ManyRow* RowOf(std::string_view mac, std::size_t* index = nullptr);
    void Changed(std::size_t row);

    Transport& m_transport;
    UiDispatcher& m_dispatcher;
    const LoopClock& m_clock;
    std::vector<ManyRow> m_rows;
    std::vector<PlanRow> m_plan;
    PlanInputs m_inputs;
    // Apply's planning: looks for the other hosts, then settles.
    std::unique_ptr<PlanJob> m_planJob;
    std::string m_planFailure;
    bool m_planned = false;
    bool m_applied = false;
    std::vector<Millis> m_rebootSent; // per row; 0: not yet
    std::unique_ptr<FleetJob> m_job;
    JobSettings m_settings;
    // As Apply was given them: Put back runs with the same.
    JobSettings m_applySettings;
    bool m_puttingBack = false;
    ReversePathWatch m_reversePath;
    std::optional<ReversePathNote> m_dropped;
    // The devices held back until the job ends, with their outcome.
    std::vector<DeviceOutcome> m_heldBack;
    bool m_retried = false;
};

} // namespace pemblor
