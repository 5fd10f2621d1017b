#pragma once
#include <string>
#include <string_view>

namespace pemblor {

// A failure message: `format` with its "%d" replaced by `error` in decimal.
inline std::string FormatError(std::string_view format, int error)
{
    std::string text(format);
    const auto at = text.find("%d");
    if (at != std::string::npos)
        text.replace(at, 2, std::to_string(error));
    return text;
}

} // namespace pemblor
