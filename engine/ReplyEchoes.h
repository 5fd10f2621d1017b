#pragma once
#include "engine/ISocket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace pemblor {

// The copies of one reply that two interfaces into one segment deliver: the
// same bytes from the same sender, heard on another interface within
// WindowMs of the first, are one reply. A copy on the same interface (an
// agent that sends twice) is not an echo. Remembers the last Remembered
// replies; allocates nothing. Receive thread only.
class ReplyEchoes final {
public:
    static constexpr std::int64_t WindowMs = 1000;
    static constexpr std::size_t Remembered = 256;

    // True when the datagram is an echo; otherwise it is remembered.
    bool IsEcho(std::span<const std::uint8_t> bytes, const PeerAddress& sender, std::int64_t nowMs);

private:
    struct Heard {
        std::uint64_t hash = 0;
        std::size_t size = 0;
        PeerAddress sender;
        std::int64_t atMs = 0;
        bool used = false;
    };
    std::array<Heard, Remembered> m_heard{};
    std::size_t m_next = 0;
};

} // namespace pemblor
