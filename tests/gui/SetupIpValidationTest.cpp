#include "common/SettingText.h"
#include "common/ValidateSettings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace pemblor {
namespace {

constexpr std::uint32_t A(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

constexpr AddressInput Filled(std::uint32_t value) { return {false, value}; }
constexpr AddressInput Blank{true, 0};

TEST(SetupIpValidation, NetmaskOctetsMustBeAcceptedAndNeverGrowToTheRight)
{
    for (std::uint32_t mask : {A(255, 255, 255, 0), A(255, 255, 128, 128), A(255, 254, 254, 0), A(0, 0, 0, 0),
                               A(255, 255, 255, 255)})
        EXPECT_TRUE(IsAcceptedNetmask(mask)) << AddressToText(mask);
    for (std::uint32_t mask : {A(255, 0, 255, 0), A(255, 255, 255, 7), A(128, 192, 0, 0), A(253, 0, 0, 0)})
        EXPECT_FALSE(IsAcceptedNetmask(mask)) << AddressToText(mask);
}

// Flagged values, built up one control at a time.
struct In : SettingsInput {
    In& Ip(AddressInput a) { return ipAddress = a, ipChanged = true, *this; }
    In& Mask(AddressInput a) { return netmask = a, netmaskChanged = true, *this; }
    In& Gw(AddressInput a) { return gateway = a, gatewayChanged = true, *this; }
    In& Dhcp(bool ticked) { return dhcpChanged = true, dhcpTicked = ticked, *this; }
    In& UnflaggedIp(AddressInput a) { return ipAddress = a, *this; }
    In& User(std::string_view text) { return userName = text, *this; }
    In& Password(std::string_view text) { return password = text, *this; }
};

TEST(SetupIpValidation, FirstFailureInFixedOrderWithValuesAcceptedBeforeIt)
{
    const AddressInput ip = Filled(A(10, 0, 0, 2)), mask = Filled(A(255, 255, 255, 0));
    const AddressInput badMask = Filled(A(255, 0, 255, 0));
    const std::string bytes30(30, 'c'), bytes31(31, 'c');
    using S = std::optional<std::string>;
    struct Row {
        const char* what;
        SettingsInput in;
        std::string_view failure;
        FocusField focus;
        S ip, mask, gateway; // accepted, also when a later check fails
        std::optional<int> dhcp;
    };
    const FocusField none = FocusField::None;
    const Row rows[] = {
        {"blank IP", In().Ip(Blank), MsgIpEmpty, FocusField::IpAddress, S(), S(), S(), {}},
        {"blank first field reads 0", In().Ip(Filled(A(0, 168, 1, 1))), MsgIpInvalid, FocusField::IpAddress, S(), S(),
         S(), {}},
        {"first octet 1", In().Ip(Filled(A(1, 0, 0, 0))), {}, none, "1.0.0.0", S(), S(), {}},
        {"first octet 233 passes", In().Ip(Filled(A(233, 1, 2, 3))), {}, none, "233.1.2.3", S(), S(), {}},
        {"first octet 234 fails", In().Ip(Filled(A(234, 1, 2, 3))), MsgIpInvalid, FocusField::IpAddress, S(), S(), S(),
         {}},
        {"IP kept when the netmask fails", In().Ip(ip).Mask(badMask), MsgNetmaskInvalid, FocusField::Netmask,
         "10.0.0.2", S(), S(), {}},
        {"IP checked before the netmask", In().Ip(Filled(A(234, 0, 0, 1))).Mask(badMask), MsgIpInvalid,
         FocusField::IpAddress, S(), S(), S(), {}},
        {"blank netmask", In().Mask(Blank), MsgNetmaskEmpty, FocusField::Netmask, S(), S(), S(), {}},
        {"blank gateway is 0.0.0.0", In().Gw(Blank), {}, none, S(), S(), "0.0.0.0", {}},
        {"gateway 234", In().Gw(Filled(A(234, 0, 0, 1))), MsgGatewayInvalid, FocusField::Gateway, S(), S(), S(), {}},
        {"IP and netmask kept when the gateway fails", In().Ip(ip).Mask(mask).Gw(Filled(A(0, 0, 0, 1))),
         MsgGatewayInvalid, FocusField::Gateway, "10.0.0.2", "255.255.255.0", S(), {}},
        {"unflagged values are not checked", In().UnflaggedIp(Blank).Gw(ip), {}, none, S(), S(), "10.0.0.2", {}},
        {"DHCP alone", In().Dhcp(true), {}, none, S(), S(), S(), 1},
        {"all four", In().Ip(ip).Mask(mask).Gw(Blank).Dhcp(false), {}, none, "10.0.0.2", "255.255.255.0", "0.0.0.0", 0},
        {"nothing flagged", In().UnflaggedIp(ip), MsgNoChange, none, S(), S(), S(), {}},
        {"31-byte user name", In().Ip(ip).User(bytes31), MsgUserNameTooLong, FocusField::UserName, "10.0.0.2", S(),
         S(), {}},
        {"30-byte credentials", In().Dhcp(true).User(bytes30).Password(bytes30), {}, none, S(), S(), S(), 1},
        {"31-byte password", In().Dhcp(true).Password(bytes31), MsgPasswordTooLong, FocusField::Password, S(), S(),
         S(), 1},
        {"no change comes first", In().User(bytes31), MsgNoChange, none, S(), S(), S(), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ValidationOutcome outcome = ValidateSettings(row.in);
        EXPECT_EQ(outcome.failure, row.failure);
        EXPECT_EQ(outcome.focus, row.focus);
        EXPECT_EQ(outcome.ipAddress, row.ip);
        EXPECT_EQ(outcome.subnetMask, row.mask);
        EXPECT_EQ(outcome.gateway, row.gateway);
        EXPECT_EQ(outcome.dhcp, row.dhcp);
    }
}

TEST(SetupIpSettingText, ConvertsLikeTheSocketsLibraryAndAtoi)
{
    EXPECT_EQ(AddressFromText("192.168.1.10"), A(192, 168, 1, 10));
    EXPECT_EQ(AddressFromText("192.168.001.001"), A(192, 168, 1, 1));
    for (const char* rejected : {"", "not an address", "1.2.3.256"})
        EXPECT_EQ(AddressFromText(rejected), 0xFFFFFFFFu) << '"' << rejected << '"';
    EXPECT_EQ(AddressToText(A(192, 168, 1, 10)), "192.168.1.10");
    EXPECT_EQ(AddressToText(0), "0.0.0.0");

    struct Row {
        const char* text;
        int value;
    };
    for (const Row& row : {Row{"1", 1}, Row{" \t+1", 1}, Row{"-1", -1}, Row{"1abc", 1}, Row{"01", 1}, Row{"abc", 0},
                           Row{"", 0}, Row{"- 1", 0}, Row{"99999999999", 2147483647}})
        EXPECT_EQ(LeadingInteger(row.text), row.value) << '"' << row.text << '"';
}

} // namespace
} // namespace pemblor
