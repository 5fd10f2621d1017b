#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace pemblor {

// One IPv4 interface the tool can broadcast on. Addresses are in host order
// (first octet in the most significant byte).
struct NetworkInterface {
    std::string name;
    unsigned index = 0; // the system's interface index, never 0
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;

    bool Contains(std::uint32_t host) const { return (host & netmask) == (address & netmask); }
};

// "a.b.c.d" of a host-order address.
std::string FormatIpv4(std::uint32_t address);
// Reads dotted-decimal text strictly (four decimal fields 0..255); false for
// anything else.
bool ParseIpv4(const char* text, std::uint32_t& address);
// Two address texts name the same address: equal as dotted decimal (so that
// "198.18.1.050" is "198.18.1.50"), or, where one is not, equal as text.
bool SameAddress(std::string_view a, std::string_view b);
// The interface's network as "a.b.c.0/24" (the prefix counts the mask's
// leading one bits).
std::string SubnetText(const NetworkInterface& networkInterface);

} // namespace pemblor
