#pragma once
#include "engine/DeviceSettings.h"
#include "protocol/EntryText.h"
#include "protocol/ReplyDatagram.h"

#include <optional>
#include <string>
#include <string_view>

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

// The field of `settings` that the detail reply's entry `name` fills; null
// for a name that is not one of them.
inline std::optional<std::string>* SettingField(DeviceSettings& settings, std::string_view name)
{
    if (name == "IP_ADDR")
        return &settings.ipAddr;
    if (name == "SUBNET_MASK")
        return &settings.netmask;
    if (name == "DEFAULT_GATEWAY")
        return &settings.gateway;
    if (name == "DHCP")
        return &settings.dhcp;
    return nullptr;
}

// A detail reply's settings (the last entry of a name wins).
inline DeviceSettings ReadSettings(const ReplyDatagram& reply, EntryTextBuffer& work)
{
    DeviceSettings settings;
    ForEachSetting(reply, work, [&settings](std::string_view name, std::string_view value) {
        if (std::optional<std::string>* field = SettingField(settings, name))
            *field = std::string(value);
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
