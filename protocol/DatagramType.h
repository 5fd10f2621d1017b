#pragma once
#include <cstdint>

namespace pemblor {

// Type codes of the `type` header field. Every value other than 0, 2 and 4
// is a query reply; TypeQueryReply names that class, it is not matched.
enum DatagramType : std::uint32_t {
    TypeQuery = 0,
    TypeQueryReply = 1,
    TypeCommand = 2,
    TypeCommandReply = 3,
    TypeStop = 4,
};

inline constexpr std::uint16_t DevicePort = 21212;
inline constexpr const char* BroadcastAddress = "255.255.255.255";

} // namespace pemblor
