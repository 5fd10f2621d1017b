#include "engine/DeviceRegistry.h"

#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"

#include <algorithm>

namespace pemblor {

std::optional<std::string_view> DeviceRecord::Cell(int column) const
{
    if (column < FirstCell || column >= CellCount)
        return std::nullopt;
    if (column == 2 && addressInCell2)
        return std::string_view(address);
    if (column == 3 && netmaskInCell3)
        return std::string_view(reportedNetmask);
    if (column == entryCount + 1)
        return macText.view();
    const std::size_t entry = static_cast<std::size_t>(column - 1);
    if (entry >= entries.size())
        return std::nullopt;
    if (entries[entry].name == "IP_ADDR")
        return std::string_view(address);
    return std::string_view(entries[entry].value);
}

std::optional<std::string_view> DeviceRecord::Value(std::string_view name) const
{
    const auto found =
        std::find_if(entries.begin(), entries.end(), [name](const Entry& entry) { return entry.name == name; });
    return found != entries.end() ? std::optional(std::string_view(found->value)) : std::nullopt;
}

DeviceRegistry::DeviceRegistry(std::size_t expectedDevices)
    : m_ui(nullptr)
{
    m_records.reserve(expectedDevices);
    m_byMac.reserve(expectedDevices);
}

DeviceRegistry::DeviceRegistry(UiDispatcher& ui, std::size_t expectedDevices)
    : m_ui(&ui)
{
    m_records.reserve(expectedDevices);
    m_byMac.reserve(expectedDevices);
    m_pending.reserve(expectedDevices);
    m_telling.reserve(expectedDevices);
}

DeviceRegistry::~DeviceRegistry()
{
    if (m_ui)
        m_ui->Cancel(static_cast<PostedCall&>(*this));
}

void DeviceRegistry::AddListener(RegistryListener& listener)
{
    m_listeners.push_back(&listener);
}

void DeviceRegistry::RemoveListener(RegistryListener& listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), &listener), m_listeners.end());
}

void DeviceRegistry::Run()
{
    int toldBefore = 0;
    int size = 0;
    {
        std::lock_guard lock(m_lock);
        m_telling.swap(m_pending);
        m_pending.clear();
        toldBefore = m_told;
        size = static_cast<int>(m_records.size());
        m_told = size;
    }
    if (m_telling.empty())
        return;
    // A live round brings every listed device again: the listeners get each
    // change once, in order, so that they can tell it in runs.
    std::sort(m_telling.begin(), m_telling.end());
    m_telling.erase(std::unique(m_telling.begin(), m_telling.end()), m_telling.end());
    const RegistryBatch batch{toldBefore, size, m_telling};
    for (RegistryListener* listener : m_listeners)
        listener->DevicesRecorded(batch);
}

std::uint64_t DeviceRegistry::Key(const MacBytes& mac)
{
    std::uint64_t key = 0;
    for (const std::uint8_t byte : mac)
        key = key << 8 | byte;
    return key;
}

DeviceRegistry::Recorded DeviceRegistry::Record(const ReplyDatagram& reply, const NetworkInterface& heardOn, Millis now)
{
    const MacBytes mac = reply.macAddress();
    Recorded result;
    if (!NamesOneDevice(mac))
        return result;
    std::unique_lock lock(m_lock);
    const auto found = m_byMac.find(Key(mac));
    if (found != m_byMac.end()) {
        result.index = found->second;
    } else if (m_records.size() >= static_cast<std::size_t>(MaxDevices)) {
        if (m_unlistedSeen.size() >= MaxUnlistedRemembered || m_unlistedSeen.insert(Key(mac)).second)
            ++m_unlisted;
        return result;
    } else {
        result.index = static_cast<int>(m_records.size());
        result.added = true;
        m_byMac.emplace(Key(mac), result.index);
        DeviceRecord& added = m_records.emplace_back();
        added.mac = mac;
        added.macText = FormatMacText(mac);
        added.number = result.index + 1;
        added.firstHeard = now;
    }
    DeviceRecord& record = m_records[static_cast<std::size_t>(result.index)];
    if (record.round == m_round && record.address != reply.sender()) {
        // A second address in one round: the row is not re-pointed.
        const auto known = std::find(record.alsoAt.begin(), record.alsoAt.end(), reply.sender());
        if (known != record.alsoAt.end() || record.alsoAt.size() >= DeviceRecord::MaxAlsoAt)
            return result;
        record.alsoAt.emplace_back(reply.sender());
    } else {
        if (record.round != m_round)
            record.alsoAt.clear();
        record.round = m_round;
        Overwrite(record, reply, heardOn, now);
    }
    if (!m_ui)
        return result;
    // The first change of a batch wakes the user-interface thread; the
    // others join it. Beyond the reserved room the vector grows once and
    // keeps its size.
    const bool first = m_pending.empty();
    m_pending.push_back(result.index);
    lock.unlock();
    if (first)
        m_ui->Post(*this);
    return result;
}

void DeviceRegistry::Overwrite(DeviceRecord& record, const ReplyDatagram& reply, const NetworkInterface& heardOn,
                               Millis now)
{
    // Entries are overwritten in place: strings keep their capacity, and the
    // vector shrinks by destroying only what the reply no longer holds.
    std::size_t count = 0;
    for (const auto& item : reply.entries()) {
        const EntryText text = SplitEntryText(item.entry.text.data(), item.entry.length, m_work);
        if (count == record.entries.size())
            record.entries.emplace_back();
        record.entries[count].name.assign(text.name);
        record.entries[count].value.assign(text.value);
        ++count;
    }
    record.entries.resize(count);
    record.entryCount = reply.entryCount();
    record.address.assign(reply.sender());
    record.interfaceName.assign(heardOn.name);
    record.interfaceIndex = heardOn.index;
    record.lastHeard = now;
    record.addressInCell2 = false;
    record.netmaskInCell3 = false;
}

void DeviceRegistry::BeginRound()
{
    std::lock_guard lock(m_lock);
    ++m_round;
}

int DeviceRegistry::Unlisted() const
{
    std::lock_guard lock(m_lock);
    return m_unlisted;
}

void DeviceRegistry::Clear()
{
    std::lock_guard lock(m_lock);
    m_records.clear();
    m_byMac.clear();
    m_pending.clear();
    m_told = 0;
    m_unlistedSeen.clear();
    m_unlisted = 0;
}

int DeviceRegistry::Size() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_records.size());
}

std::optional<int> DeviceRegistry::Find(const MacBytes& mac) const
{
    std::lock_guard lock(m_lock);
    const auto found = m_byMac.find(Key(mac));
    return found != m_byMac.end() ? std::optional(found->second) : std::nullopt;
}

std::optional<int> DeviceRegistry::Find(std::string_view macText) const
{
    const std::optional<MacBytes> mac = ParseDeviceMac(macText);
    return mac ? Find(*mac) : std::nullopt;
}

std::optional<DeviceRecord> DeviceRegistry::Get(int index) const
{
    std::optional<DeviceRecord> copy;
    Visit(index, [&copy](const DeviceRecord& record) { copy = record; });
    return copy;
}

void DeviceRegistry::SetAddress(int index, std::string_view address)
{
    Edit(index, [address](DeviceRecord& record) {
        record.address.assign(address);
        record.addressInCell2 = true;
        // Learnt outside a discovery: the next reply, from wherever,
        // re-points the record.
        record.round = 0;
        record.alsoAt.clear();
    });
}

void DeviceRegistry::SetNetmask(int index, std::string_view netmask)
{
    Edit(index, [netmask](DeviceRecord& record) {
        record.reportedNetmask.assign(netmask);
        record.netmaskInCell3 = true;
    });
}

} // namespace pemblor
