#include "protocol/DatagramType.h"
#include "protocol/EntryText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace pemblor;

namespace {

// Number of entries the walk yields (at most entryCount()).
int WholeEntryCount(const ReplyDatagram& reply)
{
    int count = 0;
    for (auto it = reply.entries().begin(), end = reply.entries().end(); it != end; ++it)
        ++count;
    return count;
}

// A received datagram held in a heap block of exactly `received` bytes, so
// that the address sanitizer catches any read past the received bytes.
class Received {
public:
    explicit Received(const std::vector<std::uint8_t>& bytes)
        : m_size(bytes.size()), m_bytes(std::make_unique<std::uint8_t[]>(bytes.size()))
    {
        std::copy(bytes.begin(), bytes.end(), m_bytes.get());
    }
    ReplyDatagram View() const { return ReplyDatagram(m_bytes.get(), m_size, "10.0.0.7"); }

private:
    std::size_t m_size;
    std::unique_ptr<std::uint8_t[]> m_bytes;
};

std::vector<std::uint8_t> Header(std::uint32_t type, std::uint16_t entryCount)
{
    std::vector<std::uint8_t> bytes(HeaderSize, 0);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[8 + i] = static_cast<std::uint8_t>(type >> (24 - 8 * i));
    bytes[82] = static_cast<std::uint8_t>(entryCount >> 8);
    bytes[83] = static_cast<std::uint8_t>(entryCount);
    return bytes;
}

// Appends a length field and `textBytes` bytes of text, whatever `length` says.
void Append(std::vector<std::uint8_t>& bytes, std::uint16_t length, std::size_t textBytes)
{
    bytes.push_back(static_cast<std::uint8_t>(length >> 8));
    bytes.push_back(static_cast<std::uint8_t>(length));
    bytes.insert(bytes.end(), textBytes, 'x');
}

std::vector<std::uint8_t> Entries(std::uint16_t count, const std::vector<std::uint16_t>& lengths)
{
    auto bytes = Header(TypeQueryReply, count);
    for (auto length : lengths)
        Append(bytes, length, length);
    return bytes;
}

} // namespace

TEST(ReplyDatagram, RoundTripsEncodedDatagram)
{
    const MacBytes mac{0x00, 0x0A, 0xFF, 0x10, 0x2B, 0xC4};
    const Datagram sent = EncodeDatagram(7, mac, {}, {}, {"SSID=\"lab\"", "IP_ADDR=10.0.0.2", ""});
    const ReplyDatagram reply(sent.data(), sent.size, "10.0.0.2");
    EXPECT_EQ(reply.type(), 7u);
    EXPECT_EQ(reply.macAddress(), mac);
    EXPECT_EQ(reply.entryCount(), 3);
    EXPECT_EQ(reply.sender(), "10.0.0.2");
    ASSERT_EQ(WholeEntryCount(reply), 3);

    const std::vector<std::string> texts = {std::string("SSID=\"lab\"\0", 11), std::string("IP_ADDR=10.0.0.2\0", 17),
                                            std::string("\0", 1)};
    int expectedIndex = 0;
    for (const auto& [index, entry] : reply.entries()) {
        EXPECT_EQ(index, expectedIndex);
        EXPECT_EQ(entry.length, texts[index].size());
        EXPECT_EQ(entry.text, texts[index]);
        ++expectedIndex;
    }
    EXPECT_EQ(expectedIndex, 3);
}

TEST(ReplyDatagram, ShortRepliesReadAsClearedBuffer)
{
    // Bytes past `received` must not be read, whatever they hold.
    std::vector<std::uint8_t> buffer(ReceiveBufferSize, 0xEE);
    auto header = Header(0x01020304, 4);
    header[0] = 0x12; // wrong signatures are decoded all the same
    header[5] = 0x34;
    std::copy(header.begin(), header.end(), buffer.begin());

    const ReplyDatagram eight(buffer.data(), 8, "");
    EXPECT_EQ(eight.type(), TypeQuery);
    EXPECT_EQ(eight.macAddress(), MacBytes{});
    EXPECT_EQ(eight.resultCode(), -1);

    const ReplyDatagram ten(buffer.data(), 10, "");
    EXPECT_EQ(ten.type(), 0x01020000u); // the last two bytes lie past the received ones

    const ReplyDatagram sixty(buffer.data(), 60, "");
    EXPECT_EQ(sixty.type(), 0x01020304u);
    EXPECT_EQ(sixty.entryCount(), 0);
    EXPECT_EQ(WholeEntryCount(sixty), 0);
    EXPECT_EQ(sixty.entries().begin(), sixty.entries().end());

    const ReplyDatagram full(buffer.data(), HeaderSize, "");
    EXPECT_EQ(full.type(), 0x01020304u);
    EXPECT_EQ(full.entryCount(), 4);
    EXPECT_EQ(WholeEntryCount(full), 0);
}

TEST(ReplyDatagram, ResultCodeIsSignedByteAt86)
{
    struct Case {
        std::size_t received;
        std::uint8_t byte86;
        int expected;
    };
    const Case cases[] = {{87, 0x00, 0}, {87, 0x01, 1}, {87, 0xFF, -1}, {87, 0x7F, 127},
                          {87, 0x80, -128}, {86, 0x00, -1}, {0, 0x00, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.received << " bytes, " << int{c.byte86});
        auto bytes = Header(TypeCommandReply, 1);
        Append(bytes, 2, 2);
        bytes[86] = c.byte86;
        bytes.resize(c.received);
        EXPECT_EQ(Received(bytes).View().resultCode(), c.expected);
    }
}

TEST(ReplyDatagram, WalkStopsAtLastWholeEntry)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int whole;
    };
    auto lengthPastReceived = Entries(3, {5});
    Append(lengthPastReceived, 10, 9);
    auto halfLengthField = Entries(2, {5});
    halfLengthField.push_back(0);
    auto pastBuffer = Header(TypeQueryReply, 1);
    Append(pastBuffer, 0xFFFF, 100);
    auto oneHuge = Entries(1, {ReceiveBufferSize - HeaderSize - 2});
    auto hugeByOne = Header(TypeQueryReply, 1);
    Append(hugeByOne, ReceiveBufferSize - HeaderSize - 1, ReceiveBufferSize - HeaderSize - 2);
    auto beyondCap = Header(TypeQueryReply, 1); // received more than the receive buffer holds
    Append(beyondCap, ReceiveBufferSize - HeaderSize - 1, 3000);

    const Case cases[] = {
        {"count past end", Entries(3, {5, 6}), 2},
        {"length past received", lengthPastReceived, 1},
        {"half a length field", halfLengthField, 1},
        {"length past buffer", pastBuffer, 0},
        {"lengths 0 and 1", Entries(3, {0, 1, 0}), 3},
        {"one huge entry", oneHuge, 1},
        {"huge entry one byte short", hugeByOne, 0},
        {"received beyond buffer size", beyondCap, 0},
        {"count 65535", Entries(0xFFFF, {3, 4, 5}), 3},
        {"fewer counted than present", Entries(1, {3, 4}), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Received received(c.bytes);
        const ReplyDatagram reply = received.View();
        EXPECT_EQ(WholeEntryCount(reply), c.whole);
        int walked = 0;
        EntryTextBuffer work;
        for (const auto& [index, entry] : reply.entries()) {
            EXPECT_EQ(index, walked++);
            EXPECT_EQ(entry.text.size(), entry.length);
            SplitEntryText(entry.text.data(), entry.length, work);
        }
        EXPECT_EQ(walked, c.whole);
    }
}
