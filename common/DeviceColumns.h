#pragma once
#include "common/InterfaceTexts.h"
#include "engine/DeviceRegistry.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace pemblor {

// The device table's columns, left to right. Ssid to Mac show a record's
// cells 1 to 5 by position, whatever the reply put there.
enum class DeviceColumn { Number, Ssid, IpAddress, SubnetMask, Channel, Mac, Interface, LastSeen };
inline constexpr int kDeviceColumnCount = 8;
// Copy and export carry the columns before Last seen.
inline constexpr int kSharedColumnCount = 7;

// How a column sorts: numbers by value, addresses by their four fields, the
// rest as text. A cell that is no number (or no address) sorts after those
// that are, among themselves as text.
enum class SortAs { Number, Address, Text };

const char* DeviceColumnHeading(DeviceColumn column);
SortAs DeviceColumnSort(DeviceColumn column);

// A record's text in `column`; empty where the reply filled nothing. Last
// seen is worded for `now`.
std::string DeviceCellText(const DeviceRecord& record, DeviceColumn column, DeviceRecord::Millis now,
                           TextLookup lookup = kSourceText);

// How long ago a device last answered: "now" under a second, "12 s" under
// a minute, "3 min" beyond.
std::string LastSeenText(DeviceRecord::Millis ago, TextLookup lookup = kSourceText);
// The tool tip of a device not heard for a while: "Not heard for N s".
std::string NotHeardText(DeviceRecord::Millis ago, TextLookup lookup = kSourceText);

// A device not heard for this long while the live view runs (three of its
// rounds) is drawn greyed.
inline constexpr DeviceRecord::Millis kStaleAfterMs = 15000;

// The sort key of a cell for SortAs::Number and SortAs::Address: the value,
// or nothing when the text is not one.
std::optional<std::uint64_t> NumericSortKey(std::string_view text, SortAs sort);

// The line that names a device: "SSID · MAC · interface" (parts the device
// lacks are left out), e.g. "lab-2 · 02:00:00:00:00:02 · lab0".
std::string DeviceLineText(const DeviceRecord& record);

} // namespace pemblor
