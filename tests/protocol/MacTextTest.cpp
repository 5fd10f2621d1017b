#include "protocol/MacText.h"

#include <gtest/gtest.h>

using namespace pemblor;

TEST(MacText, FormatsUpperCaseAndParsesBack)
{
    const MacBytes mac{0x00, 0x0A, 0xFF, 0x10, 0x2B, 0xC4};
    EXPECT_EQ(FormatMacText(mac).view(), "00:0A:FF:10:2B:C4");
    EXPECT_EQ(FormatMacText(mac).text[17], '\0');
    EXPECT_EQ(ParseMacText("00:0A:FF:10:2B:C4"), mac);

    for (int value = 0; value < 256; ++value) {
        MacBytes each{};
        each.fill(static_cast<std::uint8_t>(value));
        EXPECT_EQ(ParseMacText(FormatMacText(each).view()), each) << value;
    }
}

TEST(MacText, ParsesOtherFormsDefinedly)
{
    struct Case {
        const char* text;
        MacBytes mac;
    };
    const Case cases[] = {
        {"0a:00:00:00:00:00", {0x2A}},
        {"a0:00:00:00:00:00", {0xA0}},
        {"::00::0A:FF:10:2B:C4:", {0x00, 0x0A, 0xFF, 0x10, 0x2B, 0xC4}},
        {"A:B", {0xA0, 0xB0}},
        {"0A0B:1C", {0x0A, 0x1C}},
        {"11:22:33:44:55:66:77", {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
        {"", {}},
        {":::", {}},
        {"GZ", {static_cast<std::uint8_t>(16 * 16 + 35)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseMacText(c.text), c.mac) << c.text;
}

TEST(MacText, OnlyAFormattedSingleDeviceTextNamesADevice)
{
    EXPECT_EQ(ParseDeviceMac("00:0A:FF:10:2B:C4"), (MacBytes{0x00, 0x0A, 0xFF, 0x10, 0x2B, 0xC4}));
    EXPECT_EQ(ParseDeviceMac("02:00:00:BB:00:01"), (MacBytes{0x02, 0x00, 0x00, 0xBB, 0x00, 0x01}));
    EXPECT_EQ(ParseDeviceMac("FE:FF:FF:FF:FF:FF"), (MacBytes{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    // Empty, all zero (every device), the broadcast and group addresses (an
    // agent may take them as every device too), another column's text,
    // lower case (which ParseMacText reads as other bytes), short, long,
    // other separators.
    for (const char* text : {"", "00:00:00:00:00:00", "FF:FF:FF:FF:FF:FF", "01:00:5E:00:00:01", "33:33:00:00:00:01",
                             "03:00:00:00:00:00", "255.255.255.0", "lab", "00:0a:ff:10:2b:c4", "00:0A:FF:10:2B",
                             "00:0A:FF:10:2B:C4:", "00-0A-FF-10-2B-C4", "00:0A:FF:10:2B:CG", " 0:0A:FF:10:2B:C4"})
        EXPECT_EQ(ParseDeviceMac(text), std::nullopt) << '"' << text << '"';
}
