#include "fleet/FleetJob.h"

#include "common/OutcomeText.h"
#include "engine/DetailEntries.h"
#include "engine/NetworkInterface.h"
#include "fleet/PlanFile.h"
#include "fleet/SettingsCheck.h"
#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace pemblor {

namespace {

// The fleet's records hold every field: a value the reply lacks is empty,
// and the DHCP flag is the dialog's reading of it.
DeviceSettings Complete(DeviceSettings values)
{
    values.ipAddr = values.ipAddr.value_or("");
    values.netmask = values.netmask.value_or("");
    values.gateway = values.gateway.value_or("");
    values.dhcp.emplace(1, values.DhcpOn() ? '1' : '0');
    return values;
}

OutcomeCause RefusedFor(std::string why)
{
    OutcomeCause cause;
    cause.refused = std::move(why);
    return cause;
}

OutcomeCause SendsFailed(std::vector<SendFailure> failures)
{
    OutcomeCause cause;
    cause.sendFailures = std::move(failures);
    return cause;
}

// Cancelled before its change was answered, or before it was seen back.
OutcomeCause StoppedCause()
{
    OutcomeCause cause;
    cause.stopped = true;
    return cause;
}

} // namespace

// A device of the plan. Its deadline is the quiet time of its address after
// its change.
struct FleetJob::Device final : Deadline {
    explicit Device(FleetJob& owner) : fleet(owner) {}
    void Expired() override { fleet.EndQuiet(*this); }

    FleetJob& fleet;
    PlanRow row;
    std::string refused;
    DevicePhase phase = DevicePhase::Waiting;
    // The checked plan values, as the request carries them.
    ValidationOutcome plan;
    std::unique_ptr<DeviceJob> job;
    // Where it answered the read from.
    std::string address;
    // As read, and with the plan applied; once read, every field is set
    // (Complete).
    std::optional<DeviceSettings> before;
    DeviceSettings target;
    // Where the last request could not go out.
    std::vector<SendFailure> sendFailures;
    std::string quietAddress; // empty: no quiet time runs
    bool broadcastTold = false;
    // With a reboot: the devices of the plan that answer now from its new
    // address; it is changed once each of them has been verified elsewhere.
    std::vector<Device*> waitsFor;
    // Where it was verified (a DHCP client: wherever it came back).
    std::optional<std::string> verifiedAt;
    // The search for a ring of waits: 1 on the path, 2 done.
    int mark = 0;
};

FleetJob::FleetJob(Transport& transport, UiDispatcher& ui, JobSettings settings, std::vector<JobRow> rows,
                   Finished finished, Progress progress)
    : m_transport(transport)
    , m_ui(ui)
    , m_settings(std::move(settings))
    , m_finished(std::move(finished))
    , m_progress(std::move(progress))
{
    std::vector<PlanRow> plan;
    for (const JobRow& row : rows)
        plan.push_back(row.row);
    const std::vector<std::string> refused = CheckPlan(plan);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto device = std::make_unique<Device>(*this);
        device->row = std::move(rows[i].row);
        device->refused = !rows[i].refused.empty() ? rows[i].refused : refused[i];
        if (device->refused.empty()) {
            device->plan = CheckSettingTexts(device->row.ip, device->row.netmask, device->row.gateway, device->row.dhcp);
            device->job = std::make_unique<DeviceJob>(m_transport, m_ui, static_cast<JobListener&>(*this), device->row.mac);
            m_byMac.emplace(device->row.mac, device.get());
        }
        m_devices.push_back(std::move(device));
    }
    m_remaining = m_devices.size();
}

FleetJob::~FleetJob()
{
    if (m_started)
        m_transport.RemoveObserver(*this);
    m_ui.Cancel(static_cast<Deadline&>(*this));
    m_ui.Cancel(static_cast<PostedCall&>(*this));
    for (const auto& device : m_devices) {
        if (device->job)
            device->job->Stop();
        m_ui.Cancel(*device);
    }
}

void FleetJob::Start()
{
    if (m_started)
        return;
    m_started = true;
    // Discovery replies are heard from the first reboot on; listening from
    // the start keeps the observers' list still while devices come back.
    m_transport.AddObserver(*this);
    for (const auto& device : m_devices) {
        if (!device->refused.empty())
            Finish(*device, JobOutcome::Invalid, std::nullopt, RefusedFor(device->refused));
    }
    Pump();
}

std::size_t FleetJob::Verifying() const
{
    return static_cast<std::size_t>(std::count_if(m_devices.begin(), m_devices.end(), [](const auto& device) {
        return device->phase == DevicePhase::Verifying;
    }));
}

FleetJob::Device* FleetJob::DeviceOf(const DeviceJob& job)
{
    const auto it = m_byMac.find(job.MacText());
    return it != m_byMac.end() && it->second->job.get() == &job ? it->second : nullptr;
}

void FleetJob::Enter(Device& device, DevicePhase phase)
{
    device.phase = phase;
    if (m_progress)
        m_progress(device.row.mac, phase);
}

void FleetJob::Finish(Device& device, JobOutcome result, std::optional<std::string> ip, OutcomeCause cause,
                      std::optional<CredentialRoute> route, bool stored)
{
    if (device.phase == DevicePhase::Done)
        return;
    if (device.phase == DevicePhase::Reading || device.phase == DevicePhase::Changing)
        --m_outstanding;
    DeviceOutcome outcome{device.row.mac, result,           std::move(ip), device.before, std::nullopt, {},
                          std::move(route),  std::move(cause)};
    // What it holds now: the plan's values once it stored them.
    const bool holdsPlan = result != JobOutcome::Unchanged &&
                           ((result != JobOutcome::AuthenticationError && result != JobOutcome::NeedsBroadcast) ||
                            stored);
    if (result != JobOutcome::NotFound && result != JobOutcome::Invalid)
        outcome.after = holdsPlan ? device.target : device.before;
    if (result == JobOutcome::Verified)
        device.verifiedAt = ip;
    Enter(device, DevicePhase::Done);
    --m_remaining;
    if (m_remaining == 0 && m_started) {
        m_ui.Cancel(static_cast<Deadline&>(*this));
        m_roundDue = false;
    }
    outcome.message = OutcomeText(outcome);
    if (m_finished)
        m_finished(outcome);
}

bool FleetJob::AddressShared(const Device& device, std::string_view address) const
{
    if (m_settings.listed && AddressSharedInRegistry(*m_settings.listed, ParseMacText(device.row.mac), address))
        return true;
    return std::any_of(m_devices.begin(), m_devices.end(), [&](const auto& other) {
        return other.get() != &device && !other->address.empty() && SameAddress(other->address, address);
    });
}

bool FleetJob::AddressBusy(const std::string& address) const
{
    return m_quiet.contains(address) || std::any_of(m_devices.begin(), m_devices.end(), [&address](const auto& device) {
               return device->phase == DevicePhase::Changing && device->address == address;
           });
}

void FleetJob::BeginQuiet(Device& device)
{
    if (m_settings.addressQuietMs == 0 || device.address.empty())
        return;
    if (device.quietAddress.empty()) {
        device.quietAddress = device.address;
        ++m_quiet[device.quietAddress];
    }
    m_ui.Schedule(device, m_settings.addressQuietMs);
}

void FleetJob::EndQuiet(Device& device)
{
    if (device.quietAddress.empty())
        return;
    if (const auto quiet = m_quiet.find(device.quietAddress); quiet != m_quiet.end() && --quiet->second == 0)
        m_quiet.erase(quiet);
    device.quietAddress.clear();
    PumpSoon();
}

void FleetJob::PumpSoon()
{
    if (m_pumpPosted)
        return;
    m_pumpPosted = true;
    m_ui.Post(*this);
}

void FleetJob::Run()
{
    m_pumpPosted = false;
    Pump();
}

void FleetJob::Pump()
{
    // Every device is read before any is changed, so that the plan can be
    // checked against where each one answers now.
    if (!m_readsDone) {
        for (const auto& device : m_devices) {
            if (m_outstanding >= m_settings.maxOutstanding)
                return;
            if (device->phase == DevicePhase::Waiting && device->refused.empty())
                SendRead(*device);
        }
        const bool reading = std::any_of(m_devices.begin(), m_devices.end(), [](const auto& device) {
            return device->refused.empty() &&
                   (device->phase == DevicePhase::Waiting || device->phase == DevicePhase::Reading);
        });
        if (reading)
            return;
        m_readsDone = true;
        if (RefuseConflicts())
            return;
    }
    for (const auto& device : m_devices) {
        if (m_outstanding >= m_settings.maxOutstanding)
            return;
        if (device->phase == DevicePhase::Queued && !AddressBusy(device->address) && Unblocked(*device))
            SendChange(*device);
    }
}

bool FleetJob::Unblocked(Device& device)
{
    for (const Device* holder : device.waitsFor) {
        if (holder->phase != DevicePhase::Done)
            return false;
        if (!holder->verifiedAt || SameAddress(*holder->verifiedAt, *device.target.ipAddr)) {
            const std::string& address = *device.target.ipAddr;
            Finish(device, JobOutcome::Invalid, device.address,
                   RefusedFor("Not changed: " + holder->row.mac + " was not seen leaving " + address + "."));
            // Devices waiting for this one are looked at again.
            PumpSoon();
            return false;
        }
    }
    return true;
}

bool FleetJob::MovesAway(const Device& device) const
{
    return m_settings.reboot && device.phase == DevicePhase::Queued &&
           (device.target.DhcpOn() || !SameAddress(*device.target.ipAddr, device.address));
}

const FleetJob::Device* FleetJob::InRing(Device& device)
{
    device.mark = 1;
    for (Device* holder : device.waitsFor) {
        if (holder->mark == 1)
            return holder;
        if (const Device* ring = holder->mark == 0 ? InRing(*holder) : nullptr)
            return ring;
    }
    device.mark = 2;
    return nullptr;
}

bool FleetJob::RefuseConflicts()
{
    const Device* moving = nullptr;
    const Device* holder = nullptr;
    // A device whose new address another one answers from waits for it,
    // when that one moves away under a reboot; else the plan is refused.
    for (const auto& device : m_devices) {
        if (device->phase != DevicePhase::Queued || device->target.DhcpOn() || !device->target.ipAddr)
            continue;
        for (const auto& other : m_devices) {
            if (other == device || other->address.empty() || !SameAddress(*device->target.ipAddr, other->address))
                continue;
            device->waitsFor.push_back(other.get());
            if (!moving && !MovesAway(*other))
                std::tie(moving, holder) = std::pair(device.get(), other.get());
        }
    }
    // A ring of waits (a swap) never starts: refused with one of its moves.
    for (const auto& device : m_devices) {
        if (moving)
            break;
        if (device->mark != 0)
            continue;
        if (const Device* ring = InRing(*device)) {
            moving = ring;
            holder = *std::find_if(ring->waitsFor.begin(), ring->waitsFor.end(),
                                   [](const Device* next) { return next->mark == 1; });
        }
    }
    if (!moving)
        return false;
    m_planConflict = PlanConflictText(moving->row.mac, *moving->target.ipAddr, holder->row.mac);
    for (const auto& device : m_devices)
        if (device->phase == DevicePhase::Queued)
            Finish(*device, JobOutcome::Invalid, device->address, RefusedFor(m_planConflict));
    return true;
}

void FleetJob::SendRead(Device& device)
{
    Enter(device, DevicePhase::Reading);
    ++m_outstanding;
    device.sendFailures.clear();
    JobPlan plan;
    plan.detailTimeoutMs = m_settings.readTimeoutMs;
    device.job->Start(plan);
}

void FleetJob::SendChange(Device& device)
{
    Enter(device, DevicePhase::Changing);
    ++m_outstanding;
    device.sendFailures.clear();
    // Only what differs from the device's values goes out, as the dialog
    // sends only the fields that were changed.
    const DeviceSettings& before = *device.before;
    SettingsRequest change;
    if (device.plan.ipAddress && !SameAddress(*device.plan.ipAddress, *before.ipAddr))
        change.ipAddress = *device.plan.ipAddress;
    if (device.plan.subnetMask && !SameAddress(*device.plan.subnetMask, *before.netmask))
        change.subnetMask = *device.plan.subnetMask;
    if (device.plan.gateway && !SameAddress(*device.plan.gateway, *before.gateway))
        change.gateway = *device.plan.gateway;
    if (device.plan.dhcp && (*device.plan.dhcp == 1) != before.DhcpOn())
        change.dhcp = *device.plan.dhcp;
    JobPlan plan;
    plan.read = false;
    // Nothing differs: the values are stored, only the reboot is due.
    if (change.ipAddress || change.subnetMask || change.gateway || change.dhcp)
        plan.change = change;
    plan.skipUnchanged = false;
    plan.reboot = m_settings.reboot;
    plan.verify = m_settings.reboot;
    plan.watch = ComeBackWatch::DiscoveryRounds;
    plan.discoveryWindowMs = m_settings.verifyWindowMs;
    plan.credentials = {m_settings.user, m_settings.password};
    plan.broadcast = m_settings.broadcast;
    plan.addressShared = [this, &device](std::string_view address) { return AddressShared(device, address); };
    plan.resultTimeoutMs = m_settings.changeTimeoutMs;
    device.job->Start(plan);
}

void FleetJob::JobProgress(DeviceJob& job, JobStep step, int, int)
{
    Device* device = DeviceOf(job);
    if (!device || step != JobStep::Reboot || device->phase != DevicePhase::Changing)
        return;
    // Accepted: rebooting, no longer an outstanding request.
    --m_outstanding;
    BeginQuiet(*device);
    Enter(*device, DevicePhase::Verifying);
    if (!m_roundDue) {
        m_roundDue = true;
        m_ui.Schedule(static_cast<Deadline&>(*this), m_settings.roundMs);
    }
    PumpSoon();
}

void FleetJob::JobSendFailed(DeviceJob& job, Request request, int error, std::string_view interfaceName)
{
    Device* device = DeviceOf(job);
    if (!device)
        return;
    device->sendFailures.push_back({request, error, std::string(interfaceName)});
}

void FleetJob::JobBroadcastingCredentials(DeviceJob& job, const CredentialRoute& route)
{
    Device* device = DeviceOf(job);
    if (!device || device->broadcastTold)
        return;
    device->broadcastTold = true;
    if (m_broadcastNotice)
        m_broadcastNotice(device->row.mac, route);
}

void FleetJob::JobFinished(DeviceJob& job, const JobReport& report)
{
    Device* device = DeviceOf(job);
    if (!device)
        return;
    if (device->phase == DevicePhase::Reading)
        Read(*device, report);
    else
        Changed(*device, report);
    PumpSoon();
}

void FleetJob::Read(Device& device, const JobReport& report)
{
    if (report.outcome == JobOutcome::SendFailed) {
        Finish(device, JobOutcome::NotFound, std::nullopt, SendsFailed(device.sendFailures));
        return;
    }
    if (report.outcome != JobOutcome::Unchanged || !report.before) {
        Finish(device, JobOutcome::NotFound, std::nullopt);
        return;
    }
    device.address = report.address;
    device.before = Complete(*report.before);
    device.target = SettingsRequest::From(device.plan.Change()).AppliedTo(*device.before);
    const DeviceSettings& target = device.target;
    const DeviceSettings& values = *device.before;
    const bool holds = SameAddress(*target.ipAddr, *values.ipAddr) &&
                       SameAddress(*target.netmask, *values.netmask) &&
                       SameAddress(*target.gateway, *values.gateway) && target.DhcpOn() == values.DhcpOn();
    // Stored values that match the plan are not yet the plan under a reboot
    // while the device still answers from elsewhere (stored earlier without
    // a reboot, or a run cut short): it is rebooted and verified.
    const bool moved = !target.DhcpOn() && SameAddress(*target.ipAddr, device.address);
    if (holds && (!m_settings.reboot || moved)) {
        Finish(device, JobOutcome::Unchanged, device.address);
    } else if (m_settings.dryRun) {
        Finish(device, JobOutcome::WouldChange, device.address);
    } else {
        --m_outstanding;
        Enter(device, DevicePhase::Queued);
    }
}

void FleetJob::Changed(Device& device, const JobReport& report)
{
    BeginQuiet(device);
    OutcomeCause cause = OutcomeOf(device.row.mac, report, device.sendFailures).cause;
    switch (report.outcome) {
    case JobOutcome::Stored:
    case JobOutcome::AuthenticationError:
    case JobOutcome::Timeout:
    case JobOutcome::UnknownResult:
        // A refusal of the reboot leaves the accepted change stored.
        Finish(device, report.outcome, device.address, std::move(cause), std::nullopt,
               report.step != JobStep::Change);
        return;
    case JobOutcome::SendFailed:
        // The change that went out of no interface may yet have reached the
        // device by another; a reboot that did not go leaves the change
        // stored but not taken up until it restarts: asked to reboot, that
        // is a failure, never "stored".
        Finish(device, report.step == JobStep::Change ? JobOutcome::UnknownResult : JobOutcome::RebootNotSent,
               device.address, std::move(cause));
        return;
    case JobOutcome::NeedsBroadcast:
        // Nothing with the credentials went out for the step it ended in;
        // held back at the reboot, it holds its change.
        Finish(device, JobOutcome::NeedsBroadcast, device.address, std::move(cause), report.route,
               report.step == JobStep::Reboot);
        return;
    case JobOutcome::Verified:
        if (report.heardNetmask)
            device.target.netmask = *report.heardNetmask;
        Finish(device, JobOutcome::Verified, report.address);
        return;
    case JobOutcome::NotVerified:
        Finish(device, JobOutcome::NotVerified, report.heardAfterRestart ? report.address : device.address,
               std::move(cause));
        return;
    default:
        Finish(device, JobOutcome::UnknownResult, device.address);
        return;
    }
}

void FleetJob::ReplyReceived(const ReplyDatagram& reply, unsigned)
{
    if (reply.type() == TypeCommandReply || reply.macAddress() == MacBytes{})
        return;
    // A discovery reply tells its netmask as CURRENT_SUBNET_MASK; a detail
    // reply (another tool's query) as SUBNET_MASK.
    EntryTextBuffer work;
    std::optional<std::string> netmask = DiscoveredNetmask(reply, work);
    if (!netmask)
        netmask = ReadSettings(reply, work).netmask;
    const MacText mac = FormatMacText(reply.macAddress());
    m_transport.CallUi([&] {
        const auto it = m_byMac.find(mac.view());
        if (it == m_byMac.end() || it->second->phase != DevicePhase::Verifying)
            return;
        it->second->job->DiscoveryReply(reply.sender(), netmask);
    });
}

void FleetJob::Expired()
{
    m_roundDue = false;
    if (Verifying() == 0)
        return;
    Round();
    m_roundDue = true;
    m_ui.Schedule(static_cast<Deadline&>(*this), m_settings.roundMs);
}

void FleetJob::Round()
{
    for (const auto& device : m_devices)
        if (device->phase == DevicePhase::Verifying)
            device->job->RoundSent();
    ++m_rounds;
    // Interfaces come and go; every round reads them afresh. A failed
    // round is not fatal: the next one may go out, and the window ends each
    // device.
    m_transport.RefreshInterfaces();
    m_transport.Send(Request::Discovery, BuildDiscoveryRequest());
}

void FleetJob::Cancel()
{
    m_ui.Cancel(static_cast<Deadline&>(*this));
    m_ui.Cancel(static_cast<PostedCall&>(*this));
    m_pumpPosted = false;
    m_roundDue = false;
    for (const auto& device : m_devices) {
        if (device->job)
            device->job->Stop();
        switch (device->phase) {
        case DevicePhase::Changing:
            Finish(*device, JobOutcome::UnknownResult, device->address, StoppedCause());
            break;
        case DevicePhase::Verifying: {
            const JobReport& report = device->job->Report();
            Finish(*device, JobOutcome::NotVerified, report.heardAfterRestart ? report.address : device->address,
                   StoppedCause());
            break;
        }
        case DevicePhase::Waiting:
        case DevicePhase::Reading:
        case DevicePhase::Queued:
            if (device->phase == DevicePhase::Reading)
                --m_outstanding;
            device->phase = DevicePhase::Done;
            --m_remaining;
            ++m_untouched;
            break;
        case DevicePhase::Done:
            break;
        }
    }
}

} // namespace pemblor
