#include "ui/devicelist/DeviceKeySet.h"

#include <algorithm>
#include <bit>

namespace pemblor {
namespace {

std::uint64_t Hash(std::string_view key)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash ^ (hash >> 29);
}

} // namespace

DeviceKeySet::DeviceKeySet(std::size_t expectedKeys)
    : m_slots(std::bit_ceil(std::max<std::size_t>(expectedKeys, 8) * 2))
{
}

std::size_t DeviceKeySet::Find(std::string_view key) const
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t index = static_cast<std::size_t>(Hash(key)) & mask;
    while (m_slots[index].stamp == m_nStamp && std::string_view(m_slots[index].key.data(), KeySize) != key)
        index = (index + 1) & mask;
    return index;
}

bool DeviceKeySet::Contains(std::string_view key) const
{
    return key.size() == KeySize && m_slots[Find(key)].stamp == m_nStamp;
}

bool DeviceKeySet::Insert(std::string_view key)
{
    if (key.size() != KeySize)
        return false;
    if ((m_nSize + 1) * 2 > m_slots.size())
        Grow();
    Slot& slot = m_slots[Find(key)];
    if (slot.stamp == m_nStamp)
        return false;
    std::copy(key.begin(), key.end(), slot.key.begin());
    slot.stamp = m_nStamp;
    ++m_nSize;
    return true;
}

void DeviceKeySet::Clear()
{
    m_nSize = 0;
    if (++m_nStamp == 0) {
        // The stamp wrapped: old stamps could read as current again.
        for (Slot& slot : m_slots)
            slot.stamp = 0;
        m_nStamp = 1;
    }
}

void DeviceKeySet::Grow()
{
    std::vector<Slot> old(m_slots.size() * 2);
    old.swap(m_slots);
    const std::uint32_t stamp = m_nStamp;
    m_nStamp = 1;
    m_nSize = 0;
    for (const Slot& slot : old) {
        if (slot.stamp == stamp)
            Insert(std::string_view(slot.key.data(), KeySize));
    }
}

} // namespace pemblor
