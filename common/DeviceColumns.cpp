#include "common/DeviceColumns.h"

#include "common/FormatError.h"
#include "common/Translatable.h"

#include <charconv>

namespace pemblor {
namespace {

struct ColumnInfo {
    const char* heading;
    SortAs sort;
};

constexpr std::array<ColumnInfo, kDeviceColumnCount> kColumns{{
    {PEMBLOR_TR_NOOP("Pemblor", "No"), SortAs::Number},
    {PEMBLOR_TR_NOOP("Pemblor", "SSID"), SortAs::Text},
    {PEMBLOR_TR_NOOP("Pemblor", "IP Address"), SortAs::Address},
    {PEMBLOR_TR_NOOP("Pemblor", "Subnet Mask"), SortAs::Address},
    {PEMBLOR_TR_NOOP("Pemblor", "Channel"), SortAs::Number},
    {PEMBLOR_TR_NOOP("Pemblor", "MAC Address"), SortAs::Text},
    {PEMBLOR_TR_NOOP("Pemblor", "Interface"), SortAs::Text},
    {PEMBLOR_TR_NOOP("Pemblor", "Last seen"), SortAs::Number},
}};

std::size_t At(DeviceColumn column)
{
    return static_cast<std::size_t>(column);
}

} // namespace

const char* DeviceColumnHeading(DeviceColumn column)
{
    return kColumns[At(column)].heading;
}

SortAs DeviceColumnSort(DeviceColumn column)
{
    return kColumns[At(column)].sort;
}

std::string DeviceCellText(const DeviceRecord& record, DeviceColumn column, DeviceRecord::Millis now, TextLookup lookup)
{
    switch (column) {
    case DeviceColumn::Number:
        return std::to_string(record.number);
    case DeviceColumn::Interface:
        return record.interfaceName;
    case DeviceColumn::LastSeen:
        return LastSeenText(now - record.lastHeard, lookup);
    default:
        break;
    }
    const auto cell = record.Cell(static_cast<int>(column));
    return cell ? std::string(*cell) : std::string();
}

std::string LastSeenText(DeviceRecord::Millis ago, TextLookup lookup)
{
    const DeviceRecord::Millis seconds = ago < 0 ? 0 : ago / 1000;
    if (seconds < 1)
        return lookup(PEMBLOR_TR_NOOP("Pemblor", "now"));
    if (seconds < 60)
        return FormatError(lookup(PEMBLOR_TR_NOOP("Pemblor", "%d s")), static_cast<int>(seconds));
    return FormatError(lookup(PEMBLOR_TR_NOOP("Pemblor", "%d min")), static_cast<int>(seconds / 60));
}

std::string NotHeardText(DeviceRecord::Millis ago, TextLookup lookup)
{
    return FormatError(lookup(PEMBLOR_TR_NOOP("Pemblor", "Not heard for %d s")),
                       static_cast<int>((ago < 0 ? 0 : ago) / 1000));
}

std::optional<std::uint64_t> NumericSortKey(std::string_view text, SortAs sort)
{
    if (sort == SortAs::Text || text.empty())
        return std::nullopt;
    if (sort == SortAs::Number) {
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size())
            return std::nullopt;
        return value;
    }
    const std::string copy(text);
    std::uint32_t address = 0;
    if (!ParseIpv4(copy.c_str(), address))
        return std::nullopt;
    return address;
}

std::string DeviceLineText(const DeviceRecord& record)
{
    std::string line;
    auto add = [&line](std::string_view part) {
        if (part.empty())
            return;
        if (!line.empty())
            line += " \u00B7 ";
        line += part;
    };
    add(record.Value("SSID").value_or(std::string_view()));
    add(record.macText.view());
    add(record.interfaceName);
    return line;
}

} // namespace pemblor
