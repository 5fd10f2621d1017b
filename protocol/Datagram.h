#pragma once
#include "protocol/PacketHeader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace pemblor {

// A datagram the tool builds: at most SendBufferSize bytes, held by value.
struct Datagram {
    std::array<std::uint8_t, SendBufferSize> bytes{};
    std::size_t size = 0;

    const std::uint8_t* data() const { return bytes.data(); }
    std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

// Header with `entryCount` = texts.size(), then one entry per text in order.
// userName and password are cut to 31 characters so that their fields keep a
// NUL; an entry that would not fit the 512-byte buffer is left out (and not
// counted). The builders of the request set never reach either limit.
Datagram EncodeDatagram(std::uint32_t type, const MacBytes& mac, std::string_view userName,
                        std::string_view password, std::span<const std::string_view> texts);

inline Datagram EncodeDatagram(std::uint32_t type, const MacBytes& mac, std::string_view userName,
                               std::string_view password, std::initializer_list<std::string_view> texts)
{
    return EncodeDatagram(type, mac, userName, password,
                          std::span<const std::string_view>(texts.begin(), texts.size()));
}

} // namespace pemblor
