#pragma once
#include "engine/NetworkInterface.h"
#include "engine/UiDispatcher.h"
#include "protocol/MacText.h"
#include "protocol/EntryText.h"
#include "protocol/PacketHeader.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace pemblor {

class ReplyDatagram;

// One device as its latest discovery reply describes it.
struct DeviceRecord {
    using Millis = std::int64_t;

    // A whole entry of the reply, in datagram order.
    struct Entry {
        std::string name;
        std::string value;
    };
    // Cells 1 to 5 are the ones a reply fills in the device table.
    static constexpr int FirstCell = 1;
    static constexpr int CellCount = 6; // one past the last

    MacBytes mac{};
    MacText macText{};
    // Arrival order within the registry, from 1.
    int number = 0;
    std::vector<Entry> entries;
    // The header's entry count: it places the MAC text among the cells even
    // when fewer whole entries arrived than it promises.
    int entryCount = 0;
    // The address the reply came from.
    std::string address;
    // The interface it arrived on; empty name and index 0 when not known.
    std::string interfaceName;
    unsigned interfaceIndex = 0;
    Millis firstHeard = 0;
    Millis lastHeard = 0;
    // Cell 2 shows the address after a front end has learnt a newer one
    // (the Setup IP dialog's re-read) until the next reply.
    bool addressInCell2 = false;
    // Cell 3 shows the netmask the device reported when a front end read it
    // again (the Setup IP dialog's re-read), until the next reply.
    std::string reportedNetmask;
    bool netmaskInCell3 = false;
    // Other addresses that answered with this MAC in the discovery round in
    // which `address` answered first (another host claiming the device, or
    // two devices with one MAC); the record keeps the first. At most
    // MaxAlsoAt, in the order heard.
    std::vector<std::string> alsoAt;
    static constexpr std::size_t MaxAlsoAt = 4;
    // The round of the registry in which the record was last written.
    std::uint64_t round = 0;

    // Cell `column` (1..5) as the table shows it: entry column - 1 whatever
    // its name, the sender's address for an entry named "IP_ADDR", the MAC
    // text in column entryCount + 1. Nothing for a cell no reply part fills.
    std::optional<std::string_view> Cell(int column) const;
    // The value of the first entry of that name.
    std::optional<std::string_view> Value(std::string_view name) const;
};

// What the registry's listeners hear once per batch of recorded replies.
// `changed`: the records that replies wrote since the last batch, ascending,
// each once; those from `toldBefore` on are new (the listeners had been told
// of records 0 to toldBefore - 1 before; 0 after a Clear), up to `size`.
struct RegistryBatch {
    int toldBefore = 0;
    int size = 0;
    const std::vector<int>& changed;
};

// A listener of the registry; called on the user-interface thread.
class RegistryListener {
public:
    virtual void DevicesRecorded(const RegistryBatch& batch) = 0;

protected:
    ~RegistryListener() = default;
};

// The devices heard since the last Clear, keyed by MAC. Each reply is decoded
// once, here; front ends read the records by index (arrival order, stable
// until Clear) or find them by MAC.
//
// Batches: the replies recorded on the receive thread are told to the
// listeners together, by one call posted to the user-interface thread when
// the first of them arrives; replies that come before it runs join its batch.
// A Clear drops the changes not yet told.
//
// A reply whose header MAC is all zero or a group address (the lowest bit of
// the first byte set) names no device and is not recorded. At most
// MaxDevices devices are kept: replies of further MACs are counted (each MAC
// once, as far as a bounded memory of them allows) and dropped, while the
// devices kept still update.
//
// Threads: every method may be called from any thread unless it says
// otherwise; the records are guarded by one lock. A reply from a device
// already recorded allocates nothing unless one of its texts outgrows the one
// it replaces.
class DeviceRegistry final : private PostedCall {
public:
    using Millis = DeviceRecord::Millis;

    // Without a dispatcher the registry only keeps records and tells nobody
    // (a table fed by hand, a decoder's check). `ui` runs the batches; it
    // outlives the registry.
    explicit DeviceRegistry(std::size_t expectedDevices = 1024);
    explicit DeviceRegistry(UiDispatcher& ui, std::size_t expectedDevices = 1024);
    ~DeviceRegistry();
    DeviceRegistry(const DeviceRegistry&) = delete;
    DeviceRegistry& operator=(const DeviceRegistry&) = delete;

    // User-interface thread: `listener` hears every batch from the next on,
    // until it is removed.
    void AddListener(RegistryListener& listener);
    void RemoveListener(RegistryListener& listener);
    // User-interface thread: tells the batch under way now rather than when
    // its posted call runs (a front end about to stop listening).
    void Flush() { Run(); }

    static constexpr int MaxDevices = 16384;

    struct Recorded {
        int index = -1; // -1: not recorded (no device's MAC, or past MaxDevices)
        bool added = false; // a device not recorded before
    };
    // Records the reply's device, heard at `now` on `heardOn`; a known
    // device's record is updated in place (first heard and number stay),
    // unless another address answered for it first in this round: then only
    // its alsoAt list grows. The change joins the batch under way.
    Recorded Record(const ReplyDatagram& reply, const NetworkInterface& heardOn, Millis now);
    // A discovery query goes out: the replies from here on form a new round.
    void BeginRound();
    void Clear();
    int Size() const;
    // MACs that answered after MaxDevices were kept, since the last Clear.
    int Unlisted() const;

    std::optional<int> Find(const MacBytes& mac) const;
    std::optional<int> Find(std::string_view macText) const;
    // A copy of record `index`; nothing for an index past the end.
    std::optional<DeviceRecord> Get(int index) const;
    // Calls `read` with record `index` under the lock (it must not call
    // back into the registry); false for an index past the end.
    template <typename Read>
    bool Visit(int index, Read&& read) const
    {
        std::lock_guard lock(m_lock);
        if (index < 0 || index >= static_cast<int>(m_records.size()))
            return false;
        read(m_records[static_cast<std::size_t>(index)]);
        return true;
    }
    // The device answered from `address` (learnt outside a discovery):
    // its record and cell 2 show it.
    void SetAddress(int index, std::string_view address);
    // The device reported `netmask` outside a discovery: cell 3 shows it.
    void SetNetmask(int index, std::string_view netmask);

private:
    // Calls `write` with record `index` under the lock; nothing for an index
    // past the end.
    template <typename Write>
    void Edit(int index, Write&& write)
    {
        std::lock_guard lock(m_lock);
        if (index >= 0 && index < static_cast<int>(m_records.size()))
            write(m_records[static_cast<std::size_t>(index)]);
    }
    static std::uint64_t Key(const MacBytes& mac);
    // Under m_lock: the record takes what the reply says.
    void Overwrite(DeviceRecord& record, const ReplyDatagram& reply, const NetworkInterface& heardOn, Millis now);
    // PostedCall: tells the batch.
    void Run() override;

    UiDispatcher* const m_ui;
    mutable std::mutex m_lock;
    std::vector<DeviceRecord> m_records;
    std::unordered_map<std::uint64_t, int> m_byMac;
    EntryTextBuffer m_work; // under m_lock
    // Under m_lock: the records changed since the last batch (reserved, so
    // recording a known device allocates nothing) and how many records the
    // listeners have been told of.
    std::vector<int> m_pending;
    int m_told = 0;
    std::uint64_t m_round = 1;
    // Under m_lock: the MACs counted past MaxDevices, remembered up to
    // MaxUnlistedRemembered so a MAC that answers every round counts once.
    static constexpr std::size_t MaxUnlistedRemembered = 4 * MaxDevices;
    std::unordered_set<std::uint64_t> m_unlistedSeen;
    int m_unlisted = 0;
    // User-interface thread only: the batch being told (kept for its
    // capacity) and the listeners.
    std::vector<int> m_telling;
    std::vector<RegistryListener*> m_listeners;
};

} // namespace pemblor
