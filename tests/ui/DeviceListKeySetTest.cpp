#include "ui/devicelist/DeviceKeySet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace pemblor {
namespace {

std::string Key(int n)
{
    char text[32];
    std::snprintf(text, sizeof text, "02:00:00:%02X:%02X:%02X", (n >> 16) & 0xFF, (n >> 8) & 0xFF, n & 0xFF);
    return text;
}

TEST(DeviceKeySetTest, StoresOnlyTextsOfMacLength)
{
    DeviceKeySet keys(4);
    EXPECT_TRUE(keys.Insert("02:00:00:00:00:01"));
    EXPECT_FALSE(keys.Insert("02:00:00:00:00:01"));
    for (const char* other : {"", "e", "02:00:00:00:00:0", "02:00:00:00:00:011"}) {
        EXPECT_FALSE(keys.Insert(other)) << other;
        EXPECT_FALSE(keys.Contains(other)) << other;
    }
    EXPECT_TRUE(keys.Contains("02:00:00:00:00:01"));
    EXPECT_FALSE(keys.Contains("02:00:00:00:00:02"));
    // Case matters: the texts are compared byte for byte.
    EXPECT_TRUE(keys.Insert("0A:00:00:00:00:01"));
    EXPECT_FALSE(keys.Contains("0a:00:00:00:00:01"));
    EXPECT_EQ(keys.Size(), 2u);
}

TEST(DeviceKeySetTest, GrowsPastItsReservationAndClearsEveryKey)
{
    DeviceKeySet keys(8);
    constexpr int kKeys = 5000;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kKeys; i += 2)
            ASSERT_TRUE(keys.Insert(Key(i + round))) << i;
        for (int i = 0; i < kKeys; ++i)
            ASSERT_EQ(keys.Contains(Key(i + round)), i % 2 == 0) << i;
        EXPECT_EQ(keys.Size(), static_cast<std::size_t>(kKeys / 2));
        keys.Clear();
        EXPECT_EQ(keys.Size(), 0u);
        for (int i = 0; i < kKeys; ++i)
            ASSERT_FALSE(keys.Contains(Key(i + round))) << i;
    }
}

} // namespace
} // namespace pemblor
