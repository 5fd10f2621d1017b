#pragma once
#include "protocol/PacketHeader.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace pemblor {

// Work buffer for one entry's text; one per decoding call site, never shared
// between threads.
using EntryTextBuffer = std::array<char, EntryTextBufferSize + 1>;

struct EntryText {
    std::string_view name;
    std::string_view value;
};

// Splits an entry's text of `length` bytes into NAME and VALUE. The views
// point into `work`. A quote directly before the counted NUL is dropped, runs
// of '=' separate name and value, a further '=' ends the value, an opening
// quote of the value is skipped. Lengths 0 and 1, text without '=' and text
// longer than the work buffer all give a defined (possibly empty) name and
// value. Keeps no state between calls.
EntryText SplitEntryText(const char* text, std::size_t length, EntryTextBuffer& work);

} // namespace pemblor
