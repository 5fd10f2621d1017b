#pragma once
#include <cstdint>
#include <vector>

namespace apsim {

// One reply an access point wants sent: from `source` (host order) to the
// asking host's port, or to the limited broadcast address.
struct OutgoingReply {
    std::vector<std::uint8_t> bytes;
    std::uint32_t source = 0;
    bool broadcast = false;
    int delayMs = 0;
    // Copies that leave after this one, at the same time.
    int repeats = 0;
};

} // namespace apsim
