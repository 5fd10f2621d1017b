#include "protocol/ReplyDatagram.h"

#include <algorithm>

namespace pemblor {
namespace {

constexpr std::size_t OffsetResultCode = 86;
// Index of the iterator past the last whole entry.
constexpr int EndIndex = -1;

} // namespace

ReplyDatagram::ReplyDatagram(const std::uint8_t* buffer, std::size_t received, std::string_view sender)
    : m_buffer(buffer), m_size(buffer != nullptr ? std::min(received, ReceiveBufferSize) : 0), m_sender(sender)
{
}

std::uint8_t ReplyDatagram::ReadU8(std::size_t offset) const
{
    return offset < m_size ? m_buffer[offset] : std::uint8_t{0};
}

std::uint16_t ReplyDatagram::ReadU16(std::size_t offset) const
{
    return static_cast<std::uint16_t>((ReadU8(offset) << 8) | ReadU8(offset + 1));
}

std::uint32_t ReplyDatagram::ReadU32(std::size_t offset) const
{
    return (std::uint32_t{ReadU16(offset)} << 16) | ReadU16(offset + 2);
}

std::uint32_t ReplyDatagram::type() const
{
    return ReadU32(PacketHeader::OffsetType);
}

MacBytes ReplyDatagram::macAddress() const
{
    MacBytes mac{};
    for (std::size_t i = 0; i < mac.size(); ++i)
        mac[i] = ReadU8(PacketHeader::OffsetMacAddress + i);
    return mac;
}

std::uint16_t ReplyDatagram::entryCount() const
{
    return ReadU16(PacketHeader::OffsetEntryCount);
}

int ReplyDatagram::resultCode() const
{
    if (m_size <= OffsetResultCode)
        return -1;
    return static_cast<std::int8_t>(m_buffer[OffsetResultCode]);
}

ReplyDatagram::EntryRange ReplyDatagram::entries() const
{
    return {EntryIterator(this, 0, HeaderSize), EntryIterator(this, EndIndex, 0)};
}

ReplyDatagram::EntryIterator::EntryIterator(const ReplyDatagram* owner, int index, std::size_t offset)
    : m_owner(owner), m_index(index), m_offset(offset)
{
    if (m_index != EndIndex)
        Load();
}

ReplyDatagram::EntryIterator& ReplyDatagram::EntryIterator::operator++()
{
    if (m_index == EndIndex)
        return *this;
    m_offset += 2 + std::size_t{m_length};
    ++m_index;
    Load();
    return *this;
}

// Takes the entry at m_offset only when it lies wholly within the received
// bytes; otherwise becomes the end iterator.
void ReplyDatagram::EntryIterator::Load()
{
    const std::size_t size = m_owner->m_size;
    if (m_index >= m_owner->entryCount() || m_offset > size || size - m_offset < 2) {
        m_index = EndIndex;
        return;
    }
    const std::uint16_t length = m_owner->ReadU16(m_offset);
    if (size - m_offset - 2 < length) {
        m_index = EndIndex;
        return;
    }
    m_length = length;
    m_text = reinterpret_cast<const char*>(m_owner->m_buffer + m_offset + 2);
}

} // namespace pemblor
