#pragma once
#include "protocol/Datagram.h"

#include <optional>
#include <string_view>

namespace pemblor {

// The new values of one settings change; at least one is present. Addresses
// are dotted-decimal texts.
struct SettingsChange {
    std::optional<std::string_view> ipAddress{};
    std::optional<std::string_view> subnetMask{};
    std::optional<std::string_view> gateway{};
    std::optional<int> dhcp{}; // 0 or 1
};

Datagram BuildDiscoveryRequest();
Datagram BuildDetailQuery(std::string_view macText);
Datagram BuildSettingsChange(std::string_view macText, std::string_view userName, std::string_view password,
                             const SettingsChange& change);
Datagram BuildRebootRequest(std::string_view macText, std::string_view userName, std::string_view password);
Datagram BuildStopDatagram();

} // namespace pemblor
