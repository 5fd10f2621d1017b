#include "engine/NetworkInterface.h"

#include <algorithm>
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

std::vector<Ipv4Network> NetworkInterface::Networks() const
{
    std::vector<Ipv4Network> networks;
    if (HasAddress())
        networks.push_back({address, netmask});
    networks.insert(networks.end(), secondary.begin(), secondary.end());
    return networks;
}

bool NetworkInterface::Contains(std::uint32_t host) const
{
    if (HasAddress() && Ipv4Network{address, netmask}.Contains(host))
        return true;
    return std::any_of(secondary.begin(), secondary.end(), [host](const Ipv4Network& n) { return n.Contains(host); });
}

std::vector<std::uint32_t> OwnAddresses(const std::vector<NetworkInterface>& interfaces)
{
    std::vector<std::uint32_t> own;
    for (const NetworkInterface& networkInterface : interfaces)
        for (const Ipv4Network& network : networkInterface.Networks())
            own.push_back(network.address);
    return own;
}

std::string SubnetText(const Ipv4Network& network)
{
    return FormatIpv4(network.address & network.netmask) + '/' + std::to_string(std::countl_one(network.netmask));
}

std::string SubnetText(const NetworkInterface& networkInterface)
{
    std::string text;
    for (const Ipv4Network& network : networkInterface.Networks())
        text += (text.empty() ? "" : ", ") + SubnetText(network);
    return text;
}

} // namespace pemblor
