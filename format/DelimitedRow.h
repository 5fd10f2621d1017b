#pragma once
#include <span>
#include <string>
#include <string_view>

namespace pemblor {

// One CSV record, ended by "\n". A field is quoted when it holds a comma, a
// double quote, a CR or LF, or starts or ends with a blank; quotes inside are
// doubled. Every other byte is kept as it is, so a field read back by a CSV
// reader is the text that was written.
std::string CsvRow(std::span<const std::string_view> fields);

// One tab-separated line, ended by "\n". Tabs, CRs and LFs inside a field
// become blanks: the format has no quoting, and every row must stay one line
// with as many fields as the header.
std::string TsvRow(std::span<const std::string_view> fields);

} // namespace pemblor
