// Treats the input as one received datagram and runs on it what the tool
// does with a reply: the header and entry decoding, the MAC text, the cells
// of a device-table row (DeviceRegistry::Record, DeviceRecord::Cell) and the walk over a detail
// reply's entries (ForEachSetting), each stored by name as a detail read
// keeps it. Not covered: the
// receive loop itself, the state routing and anything on the user-interface
// thread.
#include "engine/DetailEntries.h"
#include "protocol/EntryText.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "engine/DeviceRegistry.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr std::string_view kSender = "198.18.0.2";

// `whole`: the number of entries the walk over the reply yielded.
void CheckRowCells(const pemblor::ReplyDatagram& reply, const pemblor::MacText& mac, int whole)
{
    static pemblor::DeviceRegistry registry; // recording reuses it like the receive thread does
    registry.Clear();
    const auto recorded = registry.Record(reply, pemblor::NetworkInterface{}, 0);
    // A reply under no device's MAC (zero or group) is not recorded.
    const bool device = pemblor::ParseDeviceMac(mac.view()).has_value();
    if ((recorded.index >= 0) != device)
        __builtin_trap();
    const auto record = registry.Get(recorded.index);
    if (!record)
        return;
    const int macColumn = reply.entryCount() + 1;
    pemblor::EntryTextBuffer work;
    for (const auto& [index, entry] : reply.entries()) {
        const int column = index + 1;
        if (column >= pemblor::DeviceRecord::CellCount)
            break;
        if (column == macColumn)
            continue;
        const pemblor::EntryText split = pemblor::SplitEntryText(entry.text.data(), entry.length, work);
        const std::string_view expected = split.name == "IP_ADDR" ? kSender : split.value;
        if (record->Cell(column) != expected)
            __builtin_trap();
    }
    if (macColumn < pemblor::DeviceRecord::CellCount && record->Cell(macColumn) != mac.view())
        __builtin_trap();
    for (int column = 1; column < pemblor::DeviceRecord::CellCount; ++column) {
        const bool entryThere = column <= whole || column == macColumn;
        if (record->Cell(column).has_value() != entryThere)
            __builtin_trap();
    }
}

void CheckDetailStore(const pemblor::ReplyDatagram& reply, int whole)
{
    std::map<std::string, std::string, std::less<>> settings;
    pemblor::EntryTextBuffer work;
    int stored = 0;
    pemblor::ForEachSetting(reply, work, [&](std::string_view name, std::string_view value) {
        settings.insert_or_assign(std::string(name), std::string(value));
        if (settings.find(name)->second != value)
            __builtin_trap();
        ++stored;
    });
    if (stored != whole)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static_assert(pemblor::ReceiveBufferSize == 2048);
    std::array<std::uint8_t, pemblor::ReceiveBufferSize> buffer{};
    const std::size_t received = std::min(size, buffer.size());
    if (received > 0)
        std::memcpy(buffer.data(), data, received);

    const pemblor::ReplyDatagram reply(buffer.data(), received, kSender);
    volatile std::uint32_t sink = reply.type() + reply.entryCount() + static_cast<std::uint32_t>(reply.resultCode());
    const pemblor::MacText mac = pemblor::FormatMacText(reply.macAddress());
    sink = sink + static_cast<std::uint32_t>(mac.view().size());

    pemblor::EntryTextBuffer work;
    int walked = 0;
    for (const auto& [index, entry] : reply.entries()) {
        if (index != walked++ || entry.text.size() != entry.length)
            __builtin_trap();
        const char* const end = reinterpret_cast<const char*>(buffer.data()) + received;
        if (entry.text.data() < reinterpret_cast<const char*>(buffer.data()) + pemblor::HeaderSize ||
            entry.text.data() + entry.text.size() > end)
            __builtin_trap();
        const pemblor::EntryText split = pemblor::SplitEntryText(entry.text.data(), entry.length, work);
        const char* const workEnd = work.data() + work.size();
        if (split.name.data() + split.name.size() > workEnd || split.value.data() + split.value.size() > workEnd ||
            split.name.find('=') != std::string_view::npos || split.value.find('=') != std::string_view::npos)
            __builtin_trap();
        sink = sink + static_cast<std::uint32_t>(split.name.size() + split.value.size());
    }
    if (walked > reply.entryCount())
        __builtin_trap();

    CheckRowCells(reply, mac, walked);
    CheckDetailStore(reply, walked);
    (void)sink;
    return 0;
}
