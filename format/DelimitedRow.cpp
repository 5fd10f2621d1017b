#include "format/DelimitedRow.h"

#include "format/SafeText.h"

namespace pemblor {

namespace {

bool NeedsQuotes(std::string_view field)
{
    if (field.empty())
        return false;
    if (field.front() == ' ' || field.back() == ' ')
        return true;
    return field.find_first_of(",\"") != std::string_view::npos;
}

} // namespace

std::string CsvRow(std::span<const std::string_view> fields)
{
    std::string row;
    bool first = true;
    for (std::string_view text : fields) {
        if (!first)
            row += ',';
        first = false;
        const std::string cell = SafeCell(text);
        const std::string_view field = cell;
        if (!NeedsQuotes(field)) {
            row += field;
            continue;
        }
        row += '"';
        for (char c : field) {
            if (c == '"')
                row += '"';
            row += c;
        }
        row += '"';
    }
    row += '\n';
    return row;
}

std::string TsvRow(std::span<const std::string_view> fields)
{
    std::string row;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first)
            row += '\t';
        first = false;
        row += SafeCell(field);
    }
    row += '\n';
    return row;
}

} // namespace pemblor
