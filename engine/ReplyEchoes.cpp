#include "engine/ReplyEchoes.h"

#include <cstring>

namespace pemblor {

namespace {

std::uint64_t Fnv1a(std::span<const std::uint8_t> bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return hash;
}

} // namespace

bool ReplyEchoes::IsEcho(std::span<const std::uint8_t> bytes, const PeerAddress& sender, std::int64_t nowMs)
{
    const std::uint64_t hash = Fnv1a(bytes);
    for (const Heard& heard : m_heard) {
        if (heard.used && heard.hash == hash && heard.size == bytes.size() &&
            heard.sender.interfaceIndex != sender.interfaceIndex && nowMs - heard.atMs <= WindowMs &&
            std::strncmp(heard.sender.text, sender.text, sizeof sender.text) == 0)
            return true;
    }
    Heard& slot = m_heard[m_next];
    m_next = (m_next + 1) % m_heard.size();
    slot = {hash, bytes.size(), sender, nowMs, true};
    return false;
}

} // namespace pemblor
