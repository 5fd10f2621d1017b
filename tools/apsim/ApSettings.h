#pragma once
#include "protocol/PacketHeader.h"

#include <cstdint>
#include <string>

namespace apsim {

// Factory settings of one simulated access point. Addresses in host order.
struct ApSettings {
    std::uint32_t ip = 0;
    std::uint32_t mask = 0xFFFE0000u;
    std::uint32_t gateway = 0xC61200FEu; // 198.18.0.254
    int dhcp = 0;
    pemblor::MacBytes mac{};
    std::string ssid;
    int channel = 1;
    std::string user = "admin";
    std::string pass = "admin";
};

} // namespace apsim
