#include "tests/fleet/FakeFleet.h"

#include <algorithm>

namespace pemblor {

FakeFleet::FakeFleet(std::vector<Device> devices) : m_devices(std::move(devices))
{
    for (Device& device : m_devices)
        device.stored = device.values;
}

FakeFleet::Device& FakeFleet::At(const std::string& mac)
{
    return *std::find_if(m_devices.begin(), m_devices.end(), [&mac](const Device& d) { return d.mac == mac; });
}

void FakeFleet::Inject(Millis when, std::function<void(ReaddressJob&)> action)
{
    m_events.emplace(when, std::move(action));
}

void FakeFleet::Later(Millis delay, std::function<void(ReaddressJob&)> action)
{
    m_events.emplace(m_now + delay, std::move(action));
}

void FakeFleet::Ended(const std::string& mac)
{
    m_inFlight.erase(mac);
}

void FakeFleet::Settled(const std::string& mac)
{
    m_inFlight.erase(mac);
}

void FakeFleet::Run(ReaddressJob& job, Millis until)
{
    job.Start(m_now);
    m_mostOutstanding = std::max(m_mostOutstanding, job.Outstanding());
    while (!job.Done()) {
        std::optional<Millis> next = job.NextDeadline();
        if (!m_events.empty() && (!next || m_events.begin()->first < *next))
            next = m_events.begin()->first;
        if (!next || *next > until)
            return;
        m_now = std::max(m_now, *next);
        while (!m_events.empty() && m_events.begin()->first <= m_now) {
            auto action = std::move(m_events.begin()->second);
            m_events.erase(m_events.begin());
            action(job);
            m_mostOutstanding = std::max(m_mostOutstanding, job.Outstanding());
        }
        job.Tick(m_now);
        m_mostOutstanding = std::max(m_mostOutstanding, job.Outstanding());
    }
}

bool FakeFleet::SendDetailQuery(std::string_view mac, std::string&)
{
    for (Device& device : m_devices) {
        if (device.mac != mac || device.down || !device.answersRead)
            continue;
        const std::string from = device.address;
        const DeviceSettings values = device.values;
        const std::string macText = device.mac;
        Later(device.latencyMs, [=, this](ReaddressJob& job) { job.DetailHeard(macText, from, values, m_now); });
    }
    return true;
}

bool FakeFleet::SendSettingsChange(std::string_view mac, std::string_view user, std::string_view password,
                                   const SettingsChange& change, std::string&)
{
    for (Device& device : m_devices) {
        if (device.mac != mac || device.down)
            continue;
        ++device.changes;
        m_inFlight[device.mac] = device.address;
        m_mostInFlight = std::max(m_mostInFlight, m_inFlight.size());
        std::map<std::string, std::size_t> perAddress;
        for (const auto& [inFlightMac, address] : m_inFlight)
            m_mostAtOneAddress = std::max(m_mostAtOneAddress, ++perAddress[address]);
        if (!device.answersChange)
            continue;
        const bool allowed = user == device.user && password == device.password;
        const int code = device.forcedResult >= 0 ? device.forcedResult : allowed ? 0 : 1;
        if (code == 0) {
            if (change.ipAddress)
                device.stored.ipAddr = std::string(*change.ipAddress);
            if (change.subnetMask)
                device.stored.netmask = std::string(*change.subnetMask);
            if (change.gateway)
                device.stored.gateway = std::string(*change.gateway);
            if (change.dhcp)
                device.stored.dhcp = std::string(1, *change.dhcp == 1 ? '1' : '0');
            if (device.applyImmediately) {
                device.values = device.stored;
                device.address = *device.values.ipAddr;
            }
        }
        const std::string from = device.address;
        const std::string macText = device.zeroMacResult ? "00:00:00:00:00:00" : device.mac;
        const std::string key = device.mac;
        Later(device.latencyMs, [=, this](ReaddressJob& job) {
            Settled(key);
            job.ResultHeard(macText, from, code, m_now);
        });
    }
    return true;
}

bool FakeFleet::SendReboot(std::string_view mac, std::string_view user, std::string_view password, std::string&)
{
    for (Device& device : m_devices) {
        if (device.mac != mac || device.down || user != device.user || password != device.password)
            continue;
        ++device.reboots;
        device.down = true;
        if (device.neverReturns)
            continue;
        const std::string key = device.mac;
        Later(device.rebootMs, [key, this](ReaddressJob&) {
            Device& back = At(key);
            back.down = false;
            back.values = back.stored;
            back.address = *back.values.ipAddr;
        });
    }
    return true;
}

bool FakeFleet::SendDiscovery(std::string&)
{
    ++m_discoveries;
    for (const Device& device : m_devices) {
        if (device.down)
            continue;
        const std::string macText = device.mac;
        const std::string from = device.address;
        const std::string mask = *device.values.netmask;
        Later(device.latencyMs, [=, this](ReaddressJob& job) { job.DiscoveryHeard(macText, from, mask, m_now); });
    }
    return true;
}

} // namespace pemblor
