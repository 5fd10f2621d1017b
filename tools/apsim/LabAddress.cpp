#include "LabAddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace apsim {

std::optional<std::uint32_t> ParseAddress(std::string_view text)
{
    const std::string copy(text);
    in_addr address{};
    if (inet_pton(AF_INET, copy.c_str(), &address) != 1)
        return std::nullopt;
    return ntohl(address.s_addr);
}

std::string FormatAddress(std::uint32_t address)
{
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

bool CheckLabNamespace(std::string& error)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        error = "cannot list the interfaces";
        return false;
    }
    bool ok = true;
    for (const ifaddrs* it = list; it != nullptr && ok; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET)
            continue;
        const std::uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr);
        if (!IsLabAddress(address) && (address >> 24) != 127) {
            error = std::string("interface ") + it->ifa_name + " has " + FormatAddress(address) +
                    ", outside 198.18.0.0/15";
            ok = false;
        }
    }
    freeifaddrs(list);
    return ok;
}

} // namespace apsim
