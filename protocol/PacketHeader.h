#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace pemblor {

inline constexpr std::uint32_t PacketSignature = 0xA1B2C3D4u;

inline constexpr std::size_t HeaderSize = 84;
inline constexpr std::size_t CredentialFieldSize = 32;
inline constexpr std::size_t SendBufferSize = 512;
inline constexpr std::size_t ReceiveBufferSize = 2048;
inline constexpr std::size_t EntryTextBufferSize = 2048;

using MacBytes = std::array<std::uint8_t, 6>;

// The 84-byte header: two signatures, the type, the MAC address, the user
// name and password fields (CredentialFieldSize each) and the entry count.
// On the wire every integer is big-endian and the fields follow each other
// without padding at these offsets.
struct PacketHeader {
    static constexpr std::size_t OffsetSignature1 = 0;
    static constexpr std::size_t OffsetSignature2 = 4;
    static constexpr std::size_t OffsetType = 8;
    static constexpr std::size_t OffsetMacAddress = 12;
    static constexpr std::size_t OffsetUserName = 18;
    static constexpr std::size_t OffsetPassword = 50;
    static constexpr std::size_t OffsetEntryCount = 82;
};

} // namespace pemblor
