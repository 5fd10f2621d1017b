#include "protocol/DatagramType.h"
#include "protocol/Requests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace pemblor;

namespace {

const std::vector<std::uint8_t> Signatures = {0xA1, 0xB2, 0xC3, 0xD4, 0xA1, 0xB2, 0xC3, 0xD4};
constexpr std::string_view MacText = "00:0A:FF:10:2B:C4";
const std::vector<std::uint8_t> MacBytesOfText = {0x00, 0x0A, 0xFF, 0x10, 0x2B, 0xC4};

std::vector<std::uint8_t> Bytes(const Datagram& d, std::size_t offset, std::size_t count)
{
    return {d.bytes.begin() + static_cast<std::ptrdiff_t>(offset),
            d.bytes.begin() + static_cast<std::ptrdiff_t>(offset + count)};
}

bool AllZero(const Datagram& d, std::size_t from, std::size_t to)
{
    return std::all_of(d.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                       d.bytes.begin() + static_cast<std::ptrdiff_t>(to), [](std::uint8_t b) { return b == 0; });
}

struct ExpectedEntry {
    std::size_t offset;
    std::uint16_t length;
    std::string text;
};

void ExpectEntries(const Datagram& d, const std::vector<ExpectedEntry>& entries)
{
    ASSERT_EQ(Bytes(d, 82, 2), (std::vector<std::uint8_t>{0, static_cast<std::uint8_t>(entries.size())}));
    for (const auto& e : entries) {
        SCOPED_TRACE(e.text);
        EXPECT_EQ(e.length, e.text.size() + 1);
        EXPECT_EQ(Bytes(d, e.offset, 2), (std::vector<std::uint8_t>{0, static_cast<std::uint8_t>(e.length)}));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data()) + e.offset + 2, e.text.size()), e.text);
        EXPECT_EQ(d.bytes[e.offset + 2 + e.text.size()], 0);
    }
}

} // namespace

TEST(Requests, DiscoveryRequestIsByteExact)
{
    const Datagram d = BuildDiscoveryRequest();
    ASSERT_EQ(d.size, 173u);
    EXPECT_EQ(Bytes(d, 0, 12), (std::vector<std::uint8_t>{0xA1, 0xB2, 0xC3, 0xD4, 0xA1, 0xB2, 0xC3, 0xD4, 0, 0, 0, 0}));
    EXPECT_TRUE(AllZero(d, 12, 82));
    ExpectEntries(d, {{84, 0x0F, "flash get SSID"},
                      {101, 0x12, "flash get IP_ADDR"},
                      {121, 0x1E, "flash get CURRENT_SUBNET_MASK"},
                      {153, 0x12, "flash get CHANNEL"}});
    EXPECT_TRUE(AllZero(d, 173, SendBufferSize));
}

TEST(Requests, DetailQueryCarriesMacBytes)
{
    const Datagram d = BuildDetailQuery(MacText);
    ASSERT_EQ(d.size, 173u);
    EXPECT_EQ(Bytes(d, 0, 8), Signatures);
    EXPECT_EQ(Bytes(d, 8, 4), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(Bytes(d, 12, 6), MacBytesOfText);
    EXPECT_TRUE(AllZero(d, 18, 82));
    ExpectEntries(d, {{84, 0x12, "flash get IP_ADDR"},
                      {104, 0x16, "flash get SUBNET_MASK"},
                      {128, 0x1A, "flash get DEFAULT_GATEWAY"},
                      {156, 0x0F, "flash get DHCP"}});
}

TEST(Requests, RebootRequestCarriesCredentialsZeroFilled)
{
    const Datagram d = BuildRebootRequest(MacText, "admin", "");
    ASSERT_EQ(d.size, 93u);
    EXPECT_EQ(Bytes(d, 0, 8), Signatures);
    EXPECT_EQ(Bytes(d, 8, 4), (std::vector<std::uint8_t>{0, 0, 0, 2}));
    EXPECT_EQ(Bytes(d, 12, 6), MacBytesOfText);
    EXPECT_EQ(Bytes(d, 18, 5), (std::vector<std::uint8_t>{'a', 'd', 'm', 'i', 'n'}));
    EXPECT_TRUE(AllZero(d, 23, 82)); // rest of the user name, then an empty password
    ExpectEntries(d, {{84, 0x07, "reboot"}});
}

TEST(Requests, StopDatagramIsHeaderOnly)
{
    const Datagram d = BuildStopDatagram();
    ASSERT_EQ(d.size, 84u);
    EXPECT_EQ(Bytes(d, 0, 12), (std::vector<std::uint8_t>{0xA1, 0xB2, 0xC3, 0xD4, 0xA1, 0xB2, 0xC3, 0xD4, 0, 0, 0, 4}));
    EXPECT_TRUE(AllZero(d, 12, 84));
}

TEST(Requests, SettingsChangeEntriesInFixedOrder)
{
    struct Case {
        const char* name;
        SettingsChange change;
        std::size_t size;
        std::vector<ExpectedEntry> entries;
    };
    const Case cases[] = {
        {"dhcp only", {.dhcp = 1}, 103, {{84, 0x11, "flash set DHCP 1"}}},
        {"ip only", {.ipAddress = "192.168.1.10"}, 117, {{84, 31, "flash set IP_ADDR 192.168.1.10"}}},
        {"emptied gateway", {.gateway = "0.0.0.0"}, 120, {{84, 34, "flash set DEFAULT_GATEWAY 0.0.0.0"}}},
        {"all four, widest",
         {"255.255.255.255", "255.255.255.255", "255.255.255.255", 0},
         223,
         {{84, 34, "flash set IP_ADDR 255.255.255.255"},
          {120, 38, "flash set SUBNET_MASK 255.255.255.255"},
          {160, 42, "flash set DEFAULT_GATEWAY 255.255.255.255"},
          {204, 17, "flash set DHCP 0"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Datagram d = BuildSettingsChange(MacText, "admin", "secret", c.change);
        EXPECT_EQ(d.size, c.size);
        EXPECT_EQ(Bytes(d, 8, 4), (std::vector<std::uint8_t>{0, 0, 0, 2}));
        EXPECT_EQ(Bytes(d, 12, 6), MacBytesOfText);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data()) + 18), "admin");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data()) + 50), "secret");
        EXPECT_TRUE(AllZero(d, 50 + 6, 82));
        ExpectEntries(d, c.entries);
    }
}

TEST(Encode, CutsCredentialsAndLeavesOutEntriesThatDoNotFit)
{
    const std::string longName(40, 'u');
    const std::string huge(500, 'x');
    const Datagram d = EncodeDatagram(TypeCommand, MacBytes{}, longName, longName,
                                      {"first", std::string_view(huge), "last"});
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data()) + 18), std::string(31, 'u'));
    EXPECT_EQ(d.bytes[49], 0);
    EXPECT_EQ(d.bytes[81], 0);
    ExpectEntries(d, {{84, 6, "first"}, {92, 5, "last"}});
    EXPECT_EQ(d.size, 99u);

    // Exactly filling the buffer is still allowed.
    const std::string filler(SendBufferSize - HeaderSize - 3, 'f');
    EXPECT_EQ(EncodeDatagram(TypeQuery, MacBytes{}, {}, {}, {std::string_view(filler)}).size, SendBufferSize);
}
