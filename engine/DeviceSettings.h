#pragma once
#include <optional>
#include <string>

namespace pemblor {

// A device's addressing as its detail reply tells it: the entries' texts by
// name (the last of a name wins); an entry the reply lacks stays empty. The
// one record of a device's settings: the jobs read and plan with it, and the
// writers print it.
struct DeviceSettings {
    std::optional<std::string> ipAddr;
    std::optional<std::string> netmask;
    std::optional<std::string> gateway;
    std::optional<std::string> dhcp; // "1": the DHCP client is on (its leading integer)

    bool DhcpOn() const;
    bool operator==(const DeviceSettings&) const = default;
};

} // namespace pemblor
