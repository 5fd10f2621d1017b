#pragma once
#include <istream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// One CSV record, ended by "\n". Each field is first made a safe cell
// (SafeCell: control characters as '?', invalid UTF-8 replaced, a leading
// "'" where a spreadsheet would see a formula), so no row holds a line end.
// A field is quoted when it holds a comma or a double quote, or starts or
// ends with a blank; quotes inside are doubled.
std::string CsvRow(std::span<const std::string_view> fields);

// One tab-separated line, ended by "\n", each field a safe cell as in
// CsvRow: the format has no quoting, and every row must stay one line with
// as many fields as the header, which the masked tabs and line ends keep.
std::string TsvRow(std::span<const std::string_view> fields);

// Reads one CSV record from `in` into `cells`, which may span lines inside
// quotes; `lines` counts the lines read. False at the end of the input;
// `unclosed` when it ended inside a quoted field.
bool ReadCsvRecord(std::istream& in, std::vector<std::string>& cells, int& lines, bool& unclosed);

} // namespace pemblor
