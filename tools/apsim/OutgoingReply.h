#pragma once
#include <algorithm>
#include <cstddef>
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
    // Then this many copies, each under a made-up MAC (MadeUpCopy).
    int madeUpMacs = 0;
    // > 0: one more copy leaves this many ms after the first.
    int copyAfterMs = 0;
};

// Copy `n` (from 0) of `reply` under the made-up MAC 02:F1:00 followed by
// n + 1 in three bytes.
inline OutgoingReply MadeUpCopy(const OutgoingReply& reply, int n)
{
    OutgoingReply copy = reply;
    constexpr std::size_t MacAt = 12;
    if (copy.bytes.size() >= MacAt + 6) {
        const auto number = static_cast<std::uint32_t>(n + 1);
        const std::uint8_t mac[6] = {0x02, 0xF1, 0x00, static_cast<std::uint8_t>(number >> 16),
                                     static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
        std::copy(mac, mac + 6, copy.bytes.begin() + MacAt);
    }
    copy.repeats = 0;
    copy.madeUpMacs = 0;
    copy.copyAfterMs = 0;
    return copy;
}

} // namespace apsim
