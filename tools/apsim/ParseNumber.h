#pragma once
#include <charconv>
#include <string_view>

namespace apsim {

// True when all of `text`, and nothing else, is a number that fits T.
template <typename T>
bool ParseNumber(std::string_view text, T& out)
{
    const char* const end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, out);
    return !text.empty() && result.ec == std::errc{} && result.ptr == end;
}

} // namespace apsim
