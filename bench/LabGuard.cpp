#include "bench/LabGuard.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstdint>

namespace pemblor::bench {
namespace {

constexpr std::uint32_t kLabNetwork = 0xC6120000u; // 198.18.0.0
constexpr std::uint32_t kLabMask = 0xFFFE0000u;    // /15
constexpr std::uint32_t kLoopbackNetwork = 0x7F000000u;
constexpr std::uint32_t kLoopbackMask = 0xFF000000u;

std::string Dotted(std::uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    const in_addr value{htonl(address)};
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}

} // namespace

bool InLabNamespace(std::string& reason)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        reason = "cannot list the interfaces";
        return false;
    }
    bool outside = false;
    bool lab = false;
    for (const ifaddrs* item = list; item && !outside; item = item->ifa_next) {
        if (!item->ifa_addr || item->ifa_addr->sa_family != AF_INET)
            continue;
        const std::uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(item->ifa_addr)->sin_addr.s_addr);
        if ((address & kLabMask) == kLabNetwork) {
            lab = true;
        } else if ((address & kLoopbackMask) != kLoopbackNetwork) {
            reason = std::string("interface ") + item->ifa_name + " has " + Dotted(address) + ", outside 198.18.0.0/15";
            outside = true;
        }
    }
    freeifaddrs(list);
    if (!outside && !lab)
        reason = "no interface with an address in 198.18.0.0/15";
    return !outside && lab;
}

} // namespace pemblor::bench
