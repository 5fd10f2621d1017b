#include "engine/PosixInterfaceList.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <filesystem>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace pemblor {

InterfaceChoice ChooseInterfaces(const std::vector<InterfaceEntry>& entries)
{
    InterfaceChoice choice;
    std::vector<unsigned> seen;
    for (const InterfaceEntry& entry : entries) {
        const unsigned flags = entry.flags;
        if (entry.index == 0 || (flags & IFF_UP) == 0 || (flags & IFF_BROADCAST) == 0 ||
            (flags & (IFF_LOOPBACK | IFF_SLAVE)) != 0 || entry.bridgePort)
            continue;
        if ((flags & IFF_RUNNING) == 0) {
            if (std::find(choice.withoutLink.begin(), choice.withoutLink.end(), entry.name) == choice.withoutLink.end())
                choice.withoutLink.push_back(entry.name);
            continue;
        }
        const auto at = static_cast<std::size_t>(std::find(seen.begin(), seen.end(), entry.index) - seen.begin());
        if (at == seen.size()) {
            seen.push_back(entry.index);
            choice.usable.push_back(NetworkInterface{entry.name, entry.index});
        }
        NetworkInterface& usable = choice.usable[at];
        for (const Ipv4Network& network : entry.networks) {
            const std::vector<Ipv4Network> held = usable.Networks();
            if (network.address == 0 || std::find(held.begin(), held.end(), network) != held.end())
                continue;
            if (usable.HasAddress()) {
                usable.secondary.push_back(network);
            } else {
                usable.address = network.address;
                usable.netmask = network.netmask;
            }
        }
    }
    return choice;
}

bool PosixInterfaceList::Usable(std::vector<NetworkInterface>& out)
{
    out.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        m_lastError = errno;
        return false;
    }
    // Every interface has an AF_PACKET entry, with or without an address;
    // each IPv4 address adds an AF_INET entry.
    std::vector<InterfaceEntry> entries;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        const int family = entry->ifa_addr ? entry->ifa_addr->sa_family : AF_UNSPEC;
        if (family != AF_INET && family != AF_PACKET)
            continue;
        // An interface that went away between the two calls has index 0.
        InterfaceEntry described{entry->ifa_name, ::if_nametoindex(entry->ifa_name), entry->ifa_flags};
        std::error_code ignored;
        described.bridgePort =
            std::filesystem::exists(std::filesystem::path("/sys/class/net") / entry->ifa_name / "brport", ignored);
        if (family == AF_INET && entry->ifa_netmask != nullptr)
            described.networks.push_back(
                {ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr),
                 ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr)});
        entries.push_back(std::move(described));
    }
    ::freeifaddrs(list);
    InterfaceChoice choice = ChooseInterfaces(entries);
    out = std::move(choice.usable);
    m_withoutLink = std::move(choice.withoutLink);
    m_lastError = 0;
    return true;
}

} // namespace pemblor
