#include "protocol/Datagram.h"

#include <algorithm>
#include <cstring>

namespace pemblor {
namespace {

void PutU16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

void PutU32(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// The field keeps at least one trailing NUL; the rest is already zero.
void PutCredential(std::uint8_t* field, std::string_view text)
{
    const std::size_t n = std::min(text.size(), CredentialFieldSize - 1);
    if (n > 0)
        std::memcpy(field, text.data(), n);
}

} // namespace

Datagram EncodeDatagram(std::uint32_t type, const MacBytes& mac, std::string_view userName,
                        std::string_view password, std::span<const std::string_view> texts)
{
    Datagram datagram;
    std::uint8_t* const out = datagram.bytes.data();

    PutU32(out + PacketHeader::OffsetSignature1, PacketSignature);
    PutU32(out + PacketHeader::OffsetSignature2, PacketSignature);
    PutU32(out + PacketHeader::OffsetType, type);
    std::memcpy(out + PacketHeader::OffsetMacAddress, mac.data(), mac.size());
    PutCredential(out + PacketHeader::OffsetUserName, userName);
    PutCredential(out + PacketHeader::OffsetPassword, password);

    std::size_t position = HeaderSize;
    std::uint16_t count = 0;
    for (const std::string_view text : texts) {
        const std::size_t length = text.size() + 1;
        if (length > SendBufferSize - position - 2)
            continue;
        PutU16(out + position, static_cast<std::uint16_t>(length));
        if (!text.empty())
            std::memcpy(out + position + 2, text.data(), text.size());
        position += 2 + length;
        ++count;
    }
    PutU16(out + PacketHeader::OffsetEntryCount, count);
    datagram.size = position;
    return datagram;
}

} // namespace pemblor
