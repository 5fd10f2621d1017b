#include "ui/devicelist/DeviceListText.h"

#include "format/DelimitedRow.h"
#include "toolkit/IListCtrl.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace pemblor {

std::string DeviceListText(const IListCtrl& list, std::span<const std::string_view> headings,
                           const std::vector<int>& rows, ListTextFormat format)
{
    auto row = [format](std::span<const std::string_view> fields) {
        return format == ListTextFormat::Csv ? CsvRow(fields) : TsvRow(fields);
    };
    std::string text = row(headings);
    std::vector<std::string> cells(headings.size());
    std::vector<std::string_view> fields(headings.size());
    for (int index : rows) {
        for (std::size_t column = 0; column < cells.size(); ++column) {
            cells[column] = list.GetItemText(index, static_cast<int>(column));
            fields[column] = cells[column];
        }
        text += row(fields);
    }
    return text;
}

bool WriteTextFile(const std::string& path, const std::string& text, int& error)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) {
        error = errno;
        return false;
    }
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
        error = errno;
        return false;
    }
    // A full disk may show only when the buffered bytes go out.
    if (std::fclose(file.release()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

} // namespace pemblor
