#pragma once
#include "protocol/PacketHeader.h"

#include <array>
#include <optional>
#include <string_view>

namespace pemblor {

// "%02X:%02X:%02X:%02X:%02X:%02X", 17 characters, held by value.
struct MacText {
    std::array<char, 18> text{};
    std::string_view view() const { return {text.data(), 17}; }
};

MacText FormatMacText(const MacBytes& mac);

// The reverse of FormatMacText. Pieces are separated by runs of ':'; each
// piece's first two characters make one byte (digit value c-48 for '0'..'9',
// c-55 for anything else, modulo 256). A missing piece gives a zero byte, a
// one-character piece takes 0 as its second digit ("A" gives A0), pieces
// after the sixth are ignored. Keeps no state between calls.
MacBytes ParseMacText(std::string_view text);

// The bytes of a text that names one device: exactly the form FormatMacText
// writes (17 characters, upper-case digits), not all zero (which in a request
// header addresses every device) and no group address (the lowest bit of the
// first byte set, as in FF:FF:FF:FF:FF:FF or 01:00:5E:00:00:01). Anything
// else gives nullopt; a request must never be built from such a text.
std::optional<MacBytes> ParseDeviceMac(std::string_view text);

// Whether `mac` can name one device: not all zero, no group address.
bool NamesOneDevice(const MacBytes& mac);

} // namespace pemblor
