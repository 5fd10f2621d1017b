#include "protocol/MacText.h"

#include <algorithm>

namespace pemblor {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

int DigitValue(char c)
{
    const int code = static_cast<unsigned char>(c);
    return (c >= '0' && c <= '9') ? code - 48 : code - 55;
}

} // namespace

MacText FormatMacText(const MacBytes& mac)
{
    MacText result;
    std::size_t out = 0;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0)
            result.text[out++] = ':';
        result.text[out++] = HexDigits[mac[i] >> 4];
        result.text[out++] = HexDigits[mac[i] & 0x0F];
    }
    result.text[out] = '\0';
    return result;
}

MacBytes ParseMacText(std::string_view text)
{
    MacBytes mac{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        while (pos < text.size() && text[pos] == ':')
            ++pos;
        if (pos == text.size())
            break;
        const std::size_t begin = pos;
        while (pos < text.size() && text[pos] != ':')
            ++pos;
        const int high = DigitValue(text[begin]);
        const int low = pos - begin >= 2 ? DigitValue(text[begin + 1]) : 0;
        mac[i] = static_cast<std::uint8_t>((16 * high + low) & 0xFF);
    }
    return mac;
}

std::optional<MacBytes> ParseDeviceMac(std::string_view text)
{
    // Only the form FormatMacText writes reads back as the same text.
    const MacBytes mac = ParseMacText(text);
    if (FormatMacText(mac).view() != text || !NamesOneDevice(mac))
        return std::nullopt;
    return mac;
}

bool NamesOneDevice(const MacBytes& mac)
{
    // All zero addresses every device; the lowest bit of the first byte set
    // makes a group address (the broadcast address among them), which no
    // single device holds.
    const bool anySet = std::any_of(mac.begin(), mac.end(), [](std::uint8_t byte) { return byte != 0; });
    return anySet && (mac[0] & 1u) == 0;
}

} // namespace pemblor
