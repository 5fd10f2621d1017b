#include "protocol/EntryText.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace pemblor;

namespace {

struct Split {
    std::string name;
    std::string value;
};

Split SplitOf(const std::string& bytes, std::size_t length)
{
    EntryTextBuffer work;
    work.fill('#'); // leftovers of earlier texts must not leak into the result
    const EntryText t = SplitEntryText(bytes.data(), length, work);
    return {std::string(t.name), std::string(t.value)};
}

} // namespace

TEST(SplitEntryText, Table)
{
    using namespace std::string_literals;
    struct Case {
        std::string bytes;
        std::size_t length;
        std::string name, value;
    };
    const Case cases[] = {
        {"CHANNEL=6\0"s, 10, "CHANNEL", "6"},
        {"SSID=\"lab\"\0"s, 11, "SSID", "lab"},
        {"SSID=\"\"\0"s, 8, "SSID", ""},
        {"SSID=\"lab\"\0"s, 10, "SSID", "lab\""},
        {"SSID=lab\"\0"s, 10, "SSID", "lab"},
        {"SSID=\"lab\0"s, 10, "SSID", "lab"},
        {"IP_ADDR==10.0.0.2\0"s, 18, "IP_ADDR", "10.0.0.2"},
        {"SSID=a=b\0"s, 9, "SSID", "a"},
        {"SSID=ab\0cd\0"s, 11, "SSID", "ab"},
        {"SSID=abc"s, 8, "SSID", "abc"},
        {""s, 0, "", ""},
        {"x"s, 1, "x", ""},
        {"\0"s, 1, "", ""},
        {"\"\0"s, 2, "", ""},
        {"SSID\0"s, 5, "SSID", ""},
        {"===\0"s, 4, "", ""},
        {"=DHCP=1\0"s, 8, "DHCP", "1"},
        {"DHCP=\"\0"s, 7, "DHCP", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.bytes << "\" length " << c.length);
        const Split s = SplitOf(c.bytes, c.length);
        EXPECT_EQ(s.name, c.name);
        EXPECT_EQ(s.value, c.value);
    }
}

TEST(SplitEntryText, TextLongerThanWorkBufferIsCut)
{
    const std::string text = "N=" + std::string(3000, 'v');
    const Split s = SplitOf(text, text.size());
    EXPECT_EQ(s.name, "N");
    EXPECT_EQ(s.value, std::string(EntryTextBufferSize - 2, 'v'));
}

TEST(SplitEntryText, TwoThreadsSplitIndependently)
{
    using namespace std::string_literals;
    auto run = [](std::string text, std::string name, std::string value, bool& ok) {
        ok = true;
        for (int i = 0; i < 20000 && ok; ++i) {
            const Split s = SplitOf(text, text.size());
            ok = s.name == name && s.value == value;
        }
    };
    bool okA = false, okB = false;
    std::thread a(run, "SSID=\"first network\"\0"s, "SSID", "first network", std::ref(okA));
    std::thread b(run, "IP_ADDR==192.168.100.200\0"s, "IP_ADDR", "192.168.100.200", std::ref(okB));
    a.join();
    b.join();
    EXPECT_TRUE(okA);
    EXPECT_TRUE(okB);
}
