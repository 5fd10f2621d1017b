#pragma once
#include <string>
#include <vector>

namespace pemblor {

class DeviceRegistry;

enum class ListTextFormat { Tsv, Csv };

// A header line of the table's headings (up to Interface), then the devices
// `devices` of the registry in that order, each cell as the table shows it
// (the device's bytes, never cut to the column's width).
std::string DeviceListText(const DeviceRegistry& registry, const std::vector<int>& devices, ListTextFormat format);

} // namespace pemblor
