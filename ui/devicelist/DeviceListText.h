#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

class IListCtrl;

enum class ListTextFormat { Tsv, Csv };

// A header line of `headings`, then `rows` of the list, each cell as the
// table holds it (the device's bytes, never cut to the column's width). As
// many columns as there are headings.
std::string DeviceListText(const IListCtrl& list, std::span<const std::string_view> headings,
                           const std::vector<int>& rows, ListTextFormat format);

// Writes `text` to the file at `path`, replacing it. False with the system's
// error number in `error` when it cannot.
bool WriteTextFile(const std::string& path, const std::string& text, int& error);

} // namespace pemblor
