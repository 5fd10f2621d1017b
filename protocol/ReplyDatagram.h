#pragma once
#include "protocol/CommandEntry.h"
#include "protocol/PacketHeader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pemblor {

// Read-only view over one received datagram: the first `received` bytes of
// the caller's buffer, and the sender's dotted-decimal address. Header fields
// that lie past the received bytes read as zero, as from a cleared buffer.
// Nothing is copied and nothing is allocated.
//
// Entries: the walk starts at offset 84 and takes entry i only when its
// length field and all its `length` text bytes lie within the received bytes
// (and within ReceiveBufferSize). The first entry that runs past them ends the
// walk, so `entryCount` may promise more entries than the walk yields.
class ReplyDatagram final {
public:
    ReplyDatagram(const std::uint8_t* buffer, std::size_t received, std::string_view sender);

    std::uint32_t type() const;
    MacBytes macAddress() const;
    std::uint16_t entryCount() const;
    // Byte at offset 86 read as signed 8-bit; -1 when the datagram is too
    // short to hold that byte.
    int resultCode() const;
    std::string_view sender() const { return m_sender; }
    std::size_t size() const { return m_size; }

    class EntryIterator {
    public:
        struct Value {
            int index;
            CommandEntry entry;
        };
        Value operator*() const { return {m_index, {m_length, {m_text, m_length}}}; }
        EntryIterator& operator++();
        bool operator==(const EntryIterator& other) const { return m_index == other.m_index; }

    private:
        friend class ReplyDatagram;
        EntryIterator(const ReplyDatagram* owner, int index, std::size_t offset);
        void Load();

        const ReplyDatagram* m_owner;
        int m_index;
        std::size_t m_offset;
        std::uint16_t m_length = 0;
        const char* m_text = nullptr;
    };
    struct EntryRange {
        EntryIterator first, last;
        EntryIterator begin() const { return first; }
        EntryIterator end() const { return last; }
    };

    // The whole entries in datagram order, each with its index from 0.
    EntryRange entries() const;

private:
    std::uint32_t ReadU32(std::size_t offset) const;
    std::uint16_t ReadU16(std::size_t offset) const;
    std::uint8_t ReadU8(std::size_t offset) const;

    const std::uint8_t* m_buffer;
    std::size_t m_size;
    std::string_view m_sender;
};

} // namespace pemblor
