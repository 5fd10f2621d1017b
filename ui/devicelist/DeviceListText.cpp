#include "ui/devicelist/DeviceListText.h"

#include "format/DelimitedRow.h"
#include "common/DeviceColumns.h"
#include "engine/DeviceRegistry.h"

#include <memory>
#include <span>
#include <string_view>

namespace pemblor {

std::string DeviceListText(const DeviceRegistry& registry, const std::vector<int>& devices, ListTextFormat format)
{
    auto row = [format](std::span<const std::string_view> fields) {
        return format == ListTextFormat::Csv ? CsvRow(fields) : TsvRow(fields);
    };
    std::vector<std::string_view> fields(kSharedColumnCount);
    for (int column = 0; column < kSharedColumnCount; ++column)
        fields[static_cast<std::size_t>(column)] = DeviceColumnHeading(static_cast<DeviceColumn>(column));
    std::string text = row(fields);
    std::vector<std::string> cells(kSharedColumnCount);
    for (int device : devices) {
        registry.Visit(device, [&](const DeviceRecord& record) {
            for (int column = 0; column < kSharedColumnCount; ++column)
                cells[static_cast<std::size_t>(column)] = DeviceCellText(record, static_cast<DeviceColumn>(column), 0);
        });
        for (std::size_t column = 0; column < cells.size(); ++column)
            fields[column] = cells[column];
        text += row(fields);
    }
    return text;
}

} // namespace pemblor
