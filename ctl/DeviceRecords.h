#pragma once
#include <optional>
#include <string>
#include <vector>

namespace pemblor {

// A device as a discovery reply describes it. Values are the reply's entries
// read by name; a name the reply lacks stays empty.
struct FoundDevice {
    std::string mac;
    std::optional<std::string> ssid;
    std::string ip; // the address the reply came from
    std::optional<std::string> ipAddr;
    std::optional<std::string> netmask;
    std::optional<std::string> channel;
    std::optional<std::string> interfaceName;
    // Other addresses that answered with this MAC in the same round.
    std::vector<std::string> alsoAt;
};

} // namespace pemblor
