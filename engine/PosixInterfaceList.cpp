#include "engine/PosixInterfaceList.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace pemblor {

bool PosixInterfaceList::Usable(std::vector<NetworkInterface>& out)
{
    out.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        m_lastError = errno;
        return false;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || entry->ifa_netmask == nullptr)
            continue;
        if ((flags & IFF_UP) == 0 || (flags & IFF_BROADCAST) == 0 || (flags & IFF_LOOPBACK) != 0)
            continue;
        // An interface that went away between the two calls has index 0.
        const unsigned index = ::if_nametoindex(entry->ifa_name);
        if (index == 0)
            continue;
        if (std::any_of(out.begin(), out.end(), [&](const NetworkInterface& seen) { return seen.index == index; }))
            continue;
        NetworkInterface usable;
        usable.name = entry->ifa_name;
        usable.index = index;
        usable.address = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr);
        usable.netmask = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr);
        out.push_back(std::move(usable));
    }
    ::freeifaddrs(list);
    m_lastError = 0;
    return true;
}

} // namespace pemblor
