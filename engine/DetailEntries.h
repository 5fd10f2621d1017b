#pragma once
#include "engine/DeviceSettings.h"
#include "protocol/EntryText.h"
#include "protocol/ReplyDatagram.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace pemblor {

// Hands every whole entry of a detail reply to `store(name, value)` in
// datagram order, split by SplitEntryText in `work`. The views live until the
// next entry is split.
template <typename Store>
void ForEachSetting(const ReplyDatagram& reply, EntryTextBuffer& work, Store&& store)
{
    for (const auto& item : reply.entries()) {
        const EntryText text = SplitEntryText(item.entry.text.data(), item.entry.length, work);
        store(text.name, text.value);
    }
}

// Whether a query reply answers the detail query: it carries one of the
// names only that query asks for (SUBNET_MASK, DEFAULT_GATEWAY, DHCP). A
// discovery reply, which another tool's discovery or a fleet's round draws
// from the same device at any time, never stands in for a read.
inline bool AnswersDetailQuery(const ReplyDatagram& reply, EntryTextBuffer& work)
{
    bool answers = false;
    ForEachSetting(reply, work, [&answers](std::string_view name, std::string_view) {
        answers = answers || name == "SUBNET_MASK" || name == "DEFAULT_GATEWAY" || name == "DHCP";
    });
    return answers;
}

// A detail reply's settings (the last entry of a name wins).
inline DeviceSettings ReadSettings(const ReplyDatagram& reply, EntryTextBuffer& work)
{
    using Field = std::optional<std::string> DeviceSettings::*;
    static constexpr std::pair<std::string_view, Field> kFields[] = {{"IP_ADDR", &DeviceSettings::ipAddr},
                                                                     {"SUBNET_MASK", &DeviceSettings::netmask},
                                                                     {"DEFAULT_GATEWAY", &DeviceSettings::gateway},
                                                                     {"DHCP", &DeviceSettings::dhcp}};
    DeviceSettings settings;
    ForEachSetting(reply, work, [&settings](std::string_view name, std::string_view value) {
        for (const auto& [entry, field] : kFields) {
            if (entry == name)
                settings.*field = std::string(value);
        }
    });
    return settings;
}

// The netmask a discovery reply reports (its CURRENT_SUBNET_MASK entry);
// nothing when it reports none.
inline std::optional<std::string> DiscoveredNetmask(const ReplyDatagram& reply, EntryTextBuffer& work)
{
    std::optional<std::string> netmask;
    ForEachSetting(reply, work, [&netmask](std::string_view name, std::string_view value) {
        if (name == "CURRENT_SUBNET_MASK")
            netmask = std::string(value);
    });
    return netmask;
}

} // namespace pemblor
