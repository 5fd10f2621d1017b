#include "fleet/ReaddressJob.h"

#include "engine/DeviceJob.h"
#include "engine/NetworkInterface.h"
#include "fleet/PlanFile.h"
#include "fleet/SettingsCheck.h"

#include <algorithm>

namespace pemblor {

namespace {

constexpr std::string_view ZeroMac = "00:00:00:00:00:00";

// Addresses compare by value, so that "198.18.1.050" holds "198.18.1.50".
bool SameAddress(std::string_view a, std::string_view b)
{
    std::uint32_t x = 0, y = 0;
    if (ParseIpv4(std::string(a).c_str(), x) && ParseIpv4(std::string(b).c_str(), y))
        return x == y;
    return a == b;
}

// The fleet's records hold every field (see TransportFleetLink).
const std::string& Field(const std::optional<std::string>& value)
{
    static const std::string empty;
    return value ? *value : empty;
}

} // namespace

struct ReaddressJob::Device {
    PlanRow row;
    std::string refused;
    DevicePhase phase = DevicePhase::Waiting;
    // The checked plan values, as the request carries them.
    ValidationOutcome plan;
    // Where it answered the read from.
    std::string address;
    std::optional<DeviceSettings> before;
    DeviceSettings target;
    Millis deadline = 0;
    // Verification: the last address it was heard from since its reboot,
    // and whether a whole round passed without hearing it (it went down).
    std::optional<std::string> lastSeen;
    std::string lastNetmask;
    bool heardThisRound = false;
    bool wentSilent = false;
    int roundsSinceReboot = 0;
};

ReaddressJob::ReaddressJob(FleetLink& link, JobSettings settings, std::vector<JobRow> rows, Finished finished,
                           Progress progress)
    : m_link(link)
    , m_settings(std::move(settings))
    , m_finished(std::move(finished))
    , m_progress(std::move(progress))
{
    std::vector<PlanRow> plan;
    for (const JobRow& row : rows)
        plan.push_back(row.row);
    const std::vector<std::string> refused = CheckPlan(plan);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Device device;
        device.row = std::move(rows[i].row);
        device.refused = !rows[i].refused.empty() ? rows[i].refused : refused[i];
        if (device.refused.empty())
            device.plan = CheckSettingTexts(device.row.ip, device.row.netmask, device.row.gateway, device.row.dhcp);
        m_devices.push_back(std::move(device));
    }
    m_remaining = m_devices.size();
}

ReaddressJob::~ReaddressJob() = default;

void ReaddressJob::Start(Millis now)
{
    for (Device& device : m_devices) {
        if (!device.refused.empty())
            Finish(device, JobOutcome::Invalid, std::nullopt, device.refused);
    }
    Pump(now);
}

std::size_t ReaddressJob::Verifying() const
{
    return static_cast<std::size_t>(std::count_if(m_devices.begin(), m_devices.end(), [](const Device& device) {
        return device.phase == DevicePhase::Verifying;
    }));
}

void ReaddressJob::Enter(Device& device, DevicePhase phase)
{
    device.phase = phase;
    if (m_progress)
        m_progress(device.row.mac, phase);
}

void ReaddressJob::Finish(Device& device, JobOutcome result, std::optional<std::string> ip, std::string message)
{
    if (device.phase == DevicePhase::Reading || device.phase == DevicePhase::Changing)
        --m_outstanding;
    m_link.Forget(device.row.mac);
    DeviceOutcome outcome;
    outcome.mac = device.row.mac;
    outcome.result = result;
    outcome.ip = std::move(ip);
    outcome.before = device.before;
    switch (result) {
    case JobOutcome::Unchanged:
    case JobOutcome::AuthenticationError:
        outcome.after = device.before;
        break;
    case JobOutcome::NotFound:
    case JobOutcome::Invalid:
        break;
    default:
        outcome.after = device.target;
        break;
    }
    outcome.message = std::move(message);
    Enter(device, DevicePhase::Done);
    --m_remaining;
    if (m_finished)
        m_finished(outcome);
}

bool ReaddressJob::AddressBusy(const std::string& address) const
{
    return std::any_of(m_devices.begin(), m_devices.end(), [&address](const Device& device) {
        return device.phase == DevicePhase::Changing && device.address == address;
    });
}

void ReaddressJob::Pump(Millis now)
{
    // Changes before reads: a device that has been read moves on first.
    for (Device& device : m_devices) {
        if (m_outstanding >= m_settings.maxOutstanding)
            return;
        if (device.phase == DevicePhase::Queued && !AddressBusy(device.address))
            SendChange(device, now);
    }
    for (Device& device : m_devices) {
        if (m_outstanding >= m_settings.maxOutstanding)
            return;
        if (device.phase == DevicePhase::Waiting)
            SendRead(device, now);
    }
}

void ReaddressJob::SendRead(Device& device, Millis now)
{
    Enter(device, DevicePhase::Reading);
    ++m_outstanding;
    device.deadline = now + m_settings.readTimeoutMs;
    std::string error;
    if (!m_link.SendDetailQuery(device.row.mac, error))
        Finish(device, JobOutcome::NotFound, std::nullopt, "The detail query could not be sent: " + error);
}

void ReaddressJob::SendChange(Device& device, Millis now)
{
    Enter(device, DevicePhase::Changing);
    ++m_outstanding;
    device.deadline = now + m_settings.changeTimeoutMs;
    // Only what differs from the device's values goes out, as the dialog
    // sends only the fields that were changed.
    SettingsChange change;
    const DeviceSettings& before = *device.before;
    if (device.plan.ipAddress && !SameAddress(*device.plan.ipAddress, Field(before.ipAddr)))
        change.ipAddress = *device.plan.ipAddress;
    if (device.plan.subnetMask && !SameAddress(*device.plan.subnetMask, Field(before.netmask)))
        change.subnetMask = *device.plan.subnetMask;
    if (device.plan.gateway && !SameAddress(*device.plan.gateway, Field(before.gateway)))
        change.gateway = *device.plan.gateway;
    if (device.plan.dhcp && (*device.plan.dhcp == 1) != before.DhcpOn())
        change.dhcp = *device.plan.dhcp;
    std::string error;
    if (!m_link.SendSettingsChange(device.row.mac, m_settings.user, m_settings.password, change, error))
        Finish(device, JobOutcome::UnknownResult, device.address, "The change could not be sent: " + error);
}

ReaddressJob::Device* ReaddressJob::Awaiting(DevicePhase phase, std::string_view mac, std::string_view sender)
{
    Device* zeroMatch = nullptr;
    int zeroMatches = 0;
    for (Device& device : m_devices) {
        if (device.phase != phase)
            continue;
        if (mac == ZeroMac) {
            // A read's address is not known yet: a zero MAC is taken only
            // while one device alone awaits its detail.
            if (phase == DevicePhase::Reading || SameAddress(device.address, sender)) {
                zeroMatch = &device;
                ++zeroMatches;
            }
            continue;
        }
        if (device.row.mac != mac)
            continue;
        if (phase == DevicePhase::Reading || SameAddress(device.address, sender) ||
            (device.plan.ipAddress && SameAddress(*device.plan.ipAddress, sender)))
            return &device;
        return nullptr;
    }
    return zeroMatches == 1 ? zeroMatch : nullptr;
}

void ReaddressJob::DetailHeard(std::string_view mac, std::string_view sender, const DeviceSettings& values, Millis now)
{
    Device* device = Awaiting(DevicePhase::Reading, mac, sender);
    if (!device)
        return;
    m_link.Forget(device->row.mac);
    device->address = std::string(sender);
    device->before = values;
    DeviceSettings& target = device->target;
    target = values;
    if (device->plan.ipAddress)
        target.ipAddr = std::string(*device->plan.ipAddress);
    if (device->plan.subnetMask)
        target.netmask = std::string(*device->plan.subnetMask);
    if (device->plan.gateway)
        target.gateway = std::string(*device->plan.gateway);
    if (device->plan.dhcp)
        target.dhcp = *device->plan.dhcp == 1 ? "1" : "0";
    const bool holds = SameAddress(Field(target.ipAddr), Field(values.ipAddr)) &&
                       SameAddress(Field(target.netmask), Field(values.netmask)) &&
                       SameAddress(Field(target.gateway), Field(values.gateway)) && target.DhcpOn() == values.DhcpOn();
    if (holds) {
        Finish(*device, JobOutcome::Unchanged, device->address);
    } else if (m_settings.dryRun) {
        Finish(*device, JobOutcome::WouldChange, device->address);
    } else {
        --m_outstanding;
        Enter(*device, DevicePhase::Queued);
    }
    Pump(now);
}

void ReaddressJob::ResultHeard(std::string_view mac, std::string_view sender, int code, Millis now)
{
    Device* device = Awaiting(DevicePhase::Changing, mac, sender);
    if (!device)
        return;
    m_link.Forget(device->row.mac);
    if (code == 0)
        Accepted(*device, now);
    else if (code == 1)
        Finish(*device, JobOutcome::AuthenticationError, device->address, "Authentication Error!");
    else
        Finish(*device, JobOutcome::UnknownResult, device->address,
               "The device answered the change with result " + std::to_string(code) + ".");
    Pump(now);
}

void ReaddressJob::Accepted(Device& device, Millis now)
{
    if (!m_settings.reboot) {
        Finish(device, JobOutcome::Stored, device.address);
        return;
    }
    --m_outstanding;
    Enter(device, DevicePhase::Verifying);
    device.deadline = now + m_settings.verifyWindowMs;
    if (!m_nextRound)
        m_nextRound = now + m_settings.roundMs;
    std::string error;
    if (!m_link.SendReboot(device.row.mac, m_settings.user, m_settings.password, error)) {
        // It holds the change, but will not take it up until it restarts.
        Finish(device, JobOutcome::Stored, device.address, "The reboot could not be sent: " + error);
    }
}

void ReaddressJob::DiscoveryHeard(std::string_view mac, std::string_view sender, std::optional<std::string_view> netmask,
                                  Millis now)
{
    (void)now;
    if (mac == ZeroMac)
        return;
    for (Device& device : m_devices) {
        if (device.phase != DevicePhase::Verifying || device.row.mac != mac)
            continue;
        device.lastSeen = std::string(sender);
        device.lastNetmask = netmask ? std::string(*netmask) : std::string("no netmask");
        device.heardThisRound = true;
        // With DHCP on, the address is the server's to give: coming back
        // after going down is what can be seen.
        const bool dhcp = device.target.DhcpOn();
        const std::string_view ip = dhcp ? std::string_view() : Field(device.target.ipAddr);
        const std::string_view mask = dhcp ? std::string_view() : Field(device.target.netmask);
        const std::optional<std::string> reported =
            netmask ? std::optional<std::string>(std::string(*netmask)) : std::nullopt;
        const bool there = (!dhcp || device.wentSilent || SameAddress(sender, Field(device.target.ipAddr))) &&
                           BackAsExpected(ip, mask, sender, reported);
        if (there) {
            if (netmask)
                device.target.netmask = std::string(*netmask);
            Finish(device, JobOutcome::Verified, std::string(sender));
        }
        return;
    }
}

void ReaddressJob::Tick(Millis now)
{
    for (Device& device : m_devices) {
        if (device.phase == DevicePhase::Reading && now >= device.deadline)
            Finish(device, JobOutcome::NotFound, std::nullopt, "The device did not answer.");
        else if (device.phase == DevicePhase::Changing && now >= device.deadline)
            Finish(device, JobOutcome::Timeout, device.address, "Time Out!");
        else if (device.phase == DevicePhase::Verifying && now >= device.deadline)
            Finish(device, JobOutcome::NotVerified, device.lastSeen.value_or(device.address),
                   device.lastSeen ? "Last heard from " + *device.lastSeen + " with netmask " + device.lastNetmask +
                                         ", not from " + Field(device.target.ipAddr) + " with netmask " +
                                         Field(device.target.netmask) +
                                         "."
                                   : "It was not seen at its new address.");
    }
    if (m_nextRound && now >= *m_nextRound) {
        if (Verifying() == 0) {
            m_nextRound.reset();
        } else {
            for (Device& device : m_devices) {
                if (device.phase != DevicePhase::Verifying)
                    continue;
                if (device.roundsSinceReboot > 0 && !device.heardThisRound)
                    device.wentSilent = true;
                device.heardThisRound = false;
                ++device.roundsSinceReboot;
            }
            std::string error;
            // A failed round is not fatal: the next one may go out, and the
            // window ends each device.
            m_link.SendDiscovery(error);
            m_nextRound = now + m_settings.roundMs;
        }
    }
    Pump(now);
}

std::optional<ReaddressJob::Millis> ReaddressJob::NextDeadline() const
{
    std::optional<Millis> next = m_nextRound;
    for (const Device& device : m_devices) {
        const bool timed = device.phase == DevicePhase::Reading || device.phase == DevicePhase::Changing ||
                           device.phase == DevicePhase::Verifying;
        if (timed && (!next || device.deadline < *next))
            next = device.deadline;
    }
    return next;
}

void ReaddressJob::Cancel()
{
    for (Device& device : m_devices) {
        switch (device.phase) {
        case DevicePhase::Changing:
            Finish(device, JobOutcome::UnknownResult, device.address,
                   "Stopped before the device answered the change.");
            break;
        case DevicePhase::Verifying:
            Finish(device, JobOutcome::NotVerified, device.lastSeen.value_or(device.address),
                   "Stopped before the device was seen at its new address.");
            break;
        case DevicePhase::Waiting:
        case DevicePhase::Reading:
        case DevicePhase::Queued:
            if (device.phase == DevicePhase::Reading)
                --m_outstanding;
            m_link.Forget(device.row.mac);
            device.phase = DevicePhase::Done;
            --m_remaining;
            ++m_untouched;
            break;
        case DevicePhase::Done:
            break;
        }
    }
    m_nextRound.reset();
}

} // namespace pemblor
