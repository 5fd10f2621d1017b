#pragma once
#include <string_view>
#include <vector>

namespace pemblor {

class IListCtrl;

// The device table's columns: heading, the width the list's size gives and
// the widest value a cell can hold. A column added here takes part in the
// width rule with nothing else to change.
struct DeviceTableColumn {
    const char* heading;
    // Minimum width in pixels: perShare * w + offset, where w is a quarter of
    // the list's outer width less 100 pixels.
    int perShare;
    int offset;
    // Empty where no value bounds the width (the SSID, cut with a tool tip).
    const char* widestValue;
    // The column can carry a row's warning icon beside its value.
    bool withMark = false;
};

// Inserts the columns into an empty list, fitted to their widest values.
void AddDeviceTableColumns(IListCtrl& list);

// The headings, left to right.
std::vector<std::string_view> DeviceTableHeadings();

} // namespace pemblor
