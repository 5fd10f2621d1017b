#include "engine/NetworkInterface.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace pemblor {

std::string FormatIpv4(std::uint32_t address)
{
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFFu) + '.' +
           std::to_string((address >> 8) & 0xFFu) + '.' + std::to_string(address & 0xFFu);
}

bool ParseIpv4(const char* text, std::uint32_t& address)
{
    if (text == nullptr)
        return false;
    const char* at = text;
    const char* end = text + std::strlen(text);
    std::uint32_t value = 0;
    for (int field = 0; field < 4; ++field) {
        if (field > 0) {
            if (at == end || *at != '.')
                return false;
            ++at;
        }
        unsigned octet = 0;
        const auto result = std::from_chars(at, end, octet);
        if (result.ec != std::errc{} || result.ptr == at || result.ptr - at > 3 || octet > 255)
            return false;
        value = (value << 8) | octet;
        at = result.ptr;
    }
    if (at != end)
        return false;
    address = value;
    return true;
}

bool SameAddress(std::string_view a, std::string_view b)
{
    std::uint32_t left = 0, right = 0;
    if (ParseIpv4(std::string(a).c_str(), left) && ParseIpv4(std::string(b).c_str(), right))
        return left == right;
    return a == b;
}

std::string SubnetText(const NetworkInterface& networkInterface)
{
    return FormatIpv4(networkInterface.address & networkInterface.netmask) + '/' +
           std::to_string(std::countl_one(networkInterface.netmask));
}

} // namespace pemblor
