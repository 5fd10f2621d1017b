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

// The fields as safe cells between `separator`s, ended by "\n"; `quote`
// quotes a field that needs it, doubling its quotes.
std::string Row(std::span<const std::string_view> fields, char separator, bool quote)
{
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            row += separator;
        const std::string cell = SafeCell(fields[i]);
        if (!quote || !NeedsQuotes(cell)) {
            row += cell;
            continue;
        }
        row += '"';
        for (char c : cell) {
            if (c == '"')
                row += '"';
            row += c;
        }
        row += '"';
    }
    row += '\n';
    return row;
}

} // namespace

std::string CsvRow(std::span<const std::string_view> fields)
{
    return Row(fields, ',', true);
}

std::string TsvRow(std::span<const std::string_view> fields)
{
    return Row(fields, '\t', false);
}

bool ReadCsvRecord(std::istream& in, std::vector<std::string>& cells, int& lines, bool& unclosed)
{
    cells.assign(1, {});
    std::string line;
    bool quoted = false;
    bool any = false;
    while (std::getline(in, line)) {
        ++lines;
        any = true;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted) {
                if (c != '"')
                    cells.back() += c;
                else if (i + 1 < line.size() && line[i + 1] == '"')
                    cells.back() += line[++i];
                else
                    quoted = false;
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                cells.emplace_back();
            } else {
                cells.back() += c;
            }
        }
        if (!quoted)
            return true;
        cells.back() += '\n';
    }
    unclosed = quoted;
    return any && !quoted;
}

} // namespace pemblor
