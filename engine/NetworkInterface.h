#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pemblor {

// One IPv4 address of an interface and its netmask. Addresses are in host
// order (first octet in the most significant byte).
struct Ipv4Network {
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;

    bool Contains(std::uint32_t host) const { return (host & netmask) == (address & netmask); }
    bool operator==(const Ipv4Network&) const = default;
};

// One interface the tool can broadcast on, with or without IPv4 addresses.
struct NetworkInterface {
    std::string name;
    unsigned index = 0; // the system's interface index, never 0
    // Its first IPv4 address and netmask; 0 when it has no address.
    std::uint32_t address = 0;
    std::uint32_t netmask = 0;
    // Its further addresses (secondary ones, added with `ip addr add`).
    std::vector<Ipv4Network> secondary{};

    bool HasAddress() const { return address != 0; }
    // Every network of the interface, the first address's first; none when
    // it has no address.
    std::vector<Ipv4Network> Networks() const;
    // Whether `host` lies in any of its networks (never when it has none).
    bool Contains(std::uint32_t host) const;
};

// Every address of these interfaces, secondary ones included.
std::vector<std::uint32_t> OwnAddresses(const std::vector<NetworkInterface>& interfaces);

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
std::string SubnetText(const Ipv4Network& network);
// Every network of the interface that way, joined by ", "; empty when it has
// no address.
std::string SubnetText(const NetworkInterface& networkInterface);

} // namespace pemblor
