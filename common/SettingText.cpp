#include "common/SettingText.h"

#include "engine/NetworkInterface.h"

#include <arpa/inet.h>

#include <climits>

namespace pemblor {

std::uint32_t AddressFromText(std::string_view text)
{
    // inet_addr needs a terminated string; the copy also stops at an
    // embedded NUL, as the C string the value once was would.
    const std::string terminated(text);
    return ntohl(inet_addr(terminated.c_str()));
}

std::string AddressToText(std::uint32_t address)
{
    return FormatIpv4(address);
}

int LeadingInteger(std::string_view text)
{
    std::size_t i = 0;
    auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

} // namespace pemblor
