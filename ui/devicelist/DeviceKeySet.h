#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pemblor {

// The MAC Address column texts of the rows of one discovery cycle, as far as
// they can ever equal a MAC text: only texts of exactly KeySize characters are
// stored, every other text is ignored.
//
// A flat open-addressing table of fixed-size keys. Its slots are reserved up
// front and Clear() only moves a stamp, so neither a lookup, an insertion
// below the reserved size nor a clear allocates.
class DeviceKeySet final {
public:
    static constexpr std::size_t KeySize = 17;

    explicit DeviceKeySet(std::size_t expectedKeys = 1024);

    bool Contains(std::string_view key) const;
    // True when the key was not yet stored.
    bool Insert(std::string_view key);
    void Clear();
    std::size_t Size() const { return m_nSize; }

private:
    struct Slot {
        std::array<char, KeySize> key{};
        std::uint32_t stamp = 0; // the slot is used when it equals m_nStamp
    };
    // The key's slot, or the free slot where it would go.
    std::size_t Find(std::string_view key) const;
    void Grow();

    std::vector<Slot> m_slots; // a power of two, at most half used
    std::size_t m_nSize = 0;
    std::uint32_t m_nStamp = 1;
};

} // namespace pemblor
