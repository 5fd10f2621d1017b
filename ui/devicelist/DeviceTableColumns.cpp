#include "ui/devicelist/DeviceTableColumns.h"

#include "common/Translatable.h"
#include "toolkit/IListCtrl.h"

#include <array>

namespace pemblor {
namespace {

// Digits and A-F stand for the font's widest ones (IListCtrl::FitColumn).
// "No" counts rows up to 99999; an interface name (15 bytes at most) is
// fitted to a common long one, and a longer one shows in its tool tip.
constexpr std::array<DeviceTableColumn, 7> kColumns{{
    {PEMBLOR_TR_NOOP("Pemblor", "No"), 0, 30, "99999"},
    {PEMBLOR_TR_NOOP("Pemblor", "SSID"), 1, -1, ""},
    {PEMBLOR_TR_NOOP("Pemblor", "IP Address"), 1, -10, "255.255.255.255", true},
    {PEMBLOR_TR_NOOP("Pemblor", "Subnet Mask"), 1, -10, "255.255.255.255"},
    {PEMBLOR_TR_NOOP("Pemblor", "Channel"), 0, 70, "999"},
    {PEMBLOR_TR_NOOP("Pemblor", "MAC Address"), 1, 10, "FF:FF:FF:FF:FF:FF"},
    {PEMBLOR_TR_NOOP("Pemblor", "Interface"), 0, 70, "enp0s31f6"},
}};

} // namespace

void AddDeviceTableColumns(IListCtrl& list)
{
    const int w = (list.GetOuterWidth() - 100) / 4;
    int index = 0;
    for (const DeviceTableColumn& column : kColumns) {
        list.InsertColumn(index, column.heading, column.perShare * w + column.offset);
        list.FitColumn(index, column.widestValue, column.withMark);
        ++index;
    }
    list.SetFullRowSelect();
}

std::vector<std::string_view> DeviceTableHeadings()
{
    std::vector<std::string_view> headings;
    for (const DeviceTableColumn& column : kColumns)
        headings.emplace_back(column.heading);
    return headings;
}

} // namespace pemblor
