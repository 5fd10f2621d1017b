#pragma once
#include <cstdint>
#include <string_view>

namespace pemblor {

// One length-prefixed entry: a 16-bit big-endian length counting the
// terminating NUL, then that many text bytes. `text` views the raw bytes in
// the caller's buffer (all `length` of them, NUL included).
struct CommandEntry {
    std::uint16_t length = 0;
    std::string_view text;
};

} // namespace pemblor
