#include "protocol/Requests.h"
#include "resources/ResourceIds.h"
#include "tests/support/SetupIpRig.h"
#include "common/SettingText.h"
#include "common/ValidateSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pemblor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Actions = std::function<void(FakeWindow&)>;

Bytes Change(std::string_view user, std::string_view password, const SettingsChange& change)
{
    return SetupIpRig::Wire(BuildSettingsChange(SetupIpRig::MacText, user, password, change));
}

// A datagram written out by hand from the layout, independent of the
// product's encoder: two signatures, the type, the MAC bytes, user name and
// password in 32 NUL-padded bytes each, the entry count, then each entry as
// a 16-bit length counting its NUL and the text with the NUL.
Bytes HandWritten(std::uint32_t type, const std::array<std::uint8_t, 6>& mac, std::string_view user,
                  std::string_view password, const std::vector<std::string>& entries)
{
    Bytes out;
    const auto u32 = [&](std::uint32_t v) {
        for (int shift : {24, 16, 8, 0})
            out.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    const auto u16 = [&](std::size_t v) {
        out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v));
    };
    const auto padded = [&](std::string_view text) {
        Bytes field(32, 0);
        std::copy(text.begin(), text.end(), field.begin());
        out.insert(out.end(), field.begin(), field.end());
    };
    u32(0xA1B2C3D4);
    u32(0xA1B2C3D4);
    u32(type);
    out.insert(out.end(), mac.begin(), mac.end());
    padded(user);
    padded(password);
    u16(entries.size());
    for (const std::string& entry : entries) {
        u16(entry.size() + 1);
        out.insert(out.end(), entry.begin(), entry.end());
        out.push_back(0);
    }
    return out;
}

std::string Shown(FakeWindow& w, int id)
{
    std::uint32_t value = 0;
    w.IpAddressAt(id).GetAddress(value);
    return AddressToText(value);
}

// The address controls, both edits and Apply; the DHCP box has its own rule.
bool FormEnabled(FakeWindow& w)
{
    bool enabled = w.EditAt(IDC_EDIT_USERNAME).IsWindowEnabled() && w.EditAt(IDC_EDIT_PASSWORD).IsWindowEnabled() &&
                   w.ButtonAt(IDC_BTN_APPLY).IsWindowEnabled();
    for (int id : {IDC_IP_ADDRESS, IDC_IP_NETMASK, IDC_IP_GATEWAY})
        enabled = enabled && w.IpAddressAt(id).IsWindowEnabled();
    return enabled;
}

bool FormDisabled(FakeWindow& w)
{
    bool disabled = !w.EditAt(IDC_EDIT_USERNAME).IsWindowEnabled() && !w.EditAt(IDC_EDIT_PASSWORD).IsWindowEnabled() &&
                    !w.ButtonAt(IDC_BTN_APPLY).IsWindowEnabled() && !w.CheckBoxAt(IDC_CHK_DHCP).IsWindowEnabled();
    for (int id : {IDC_IP_ADDRESS, IDC_IP_NETMASK, IDC_IP_GATEWAY})
        disabled = disabled && !w.IpAddressAt(id).IsWindowEnabled();
    return disabled;
}

FakeWindow& OpenWith(SetupIpRig& rig, const std::string& ip = "192.168.1.20", const std::string& dhcp = "1",
                     bool answerCommands = true)
{
    rig.Report(ip, "255.255.255.0", "192.168.1.1", dhcp);
    rig.Configure(rig.device, [&](FakeAccessPoint::Profile& p) { p.answerCommands = answerCommands; });
    rig.Start();
    return rig.OpenDialog();
}

TEST(SetupIpForm, DetailReplyFillsAndEnablesTheForm)
{
    SetupIpRig rig;
    FakeWindow& w = OpenWith(rig);

    ASSERT_FALSE(rig.SentByTool().empty());
    EXPECT_EQ(rig.SentByTool().front(), SetupIpRig::Wire(BuildDetailQuery(SetupIpRig::MacText)));
    ASSERT_NE(rig.dialog->Job(), nullptr);
    EXPECT_FALSE(rig.dialog->Job()->Running()) << "the reply ends the read and its 5-second deadline";
    EXPECT_EQ(Shown(w, IDC_IP_ADDRESS), "192.168.1.20");
    EXPECT_EQ(Shown(w, IDC_IP_NETMASK), "255.255.255.0");
    EXPECT_EQ(Shown(w, IDC_IP_GATEWAY), "192.168.1.1");
    EXPECT_TRUE(FormEnabled(w));

    // Field 1 of the IP address starts at 1, of the gateway at 0; field 4 of
    // all three ends at 254.
    EXPECT_EQ(w.IpAddressAt(IDC_IP_ADDRESS).Range(0), std::make_pair(1, 223));
    EXPECT_EQ(w.IpAddressAt(IDC_IP_GATEWAY).Range(0), std::make_pair(0, 223));
    for (int id : {IDC_IP_ADDRESS, IDC_IP_NETMASK, IDC_IP_GATEWAY})
        EXPECT_EQ(w.IpAddressAt(id).Range(3), std::make_pair(0, 254)) << id;
    for (int id : {IDC_EDIT_USERNAME, IDC_EDIT_PASSWORD}) {
        w.TypeText(id, std::string(31, 'x'));
        EXPECT_EQ(w.EditAt(id).GetWindowText(), std::string(30, 'x')) << "refuses the 31st character";
    }
    EXPECT_TRUE(rig.toolkit.Messages().empty());
    // The row learns the address the reply came from, whatever it showed.
    EXPECT_EQ(rig.CloseDialog(), SetupIpRig::DeviceHost);
}

// Whoever opens the dialog, a MAC text that names no single device gets a
// message and a closed dialog, never a query to every device.
TEST(SetupIpForm, MacThatNamesNoDeviceClosesTheDialogWithoutSending)
{
    for (const char* mac : {"", "00:00:00:00:00:00", "00:0A:FF:10:2B", "lab"}) {
        SCOPED_TRACE(mac);
        SetupIpRig rig;
        rig.Start();
        rig.dialog = rig.owner.NewDialog();
        rig.owner.RunSetupIp(*rig.dialog, mac, SetupIpRig::DeviceHost);
        rig.toolkit.Advance(10000);

        EXPECT_FALSE(rig.toolkit.Stalled());
        ASSERT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{std::string(MsgNoDeviceMac)});
        EXPECT_EQ(rig.toolkit.Messages().front().ownerTemplate, IDD_SETUPIP);
        EXPECT_TRUE(rig.toolkit.LastWindow(IDD_SETUPIP)->Ended());
        EXPECT_TRUE(rig.SentByTool().empty());
    }
}

TEST(SetupIpForm, DhcpBoxIsEnabledOnlyWhenTheFirstFillReadOne)
{
    struct Row {
        const char *first, *later;
        bool enabled;
    };
    const Row rows[] = {{"1", "0", true}, {" 1x", "", true}, {"0", "1", false}, {"2", "1", false}, {"yes", "1", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.first);
        SetupIpRig rig;
        FakeWindow& w = OpenWith(rig, "192.168.1.20", row.first);
        EXPECT_EQ(w.CheckBoxAt(IDC_CHK_DHCP).GetCheck(), row.enabled ? 1 : 0);
        EXPECT_EQ(w.CheckBoxAt(IDC_CHK_DHCP).IsWindowEnabled(), row.enabled);
        // A later fill ticks by the new value; enabling stays as the first
        // fill decided.
        rig.dialog->SetSetting("DHCP", row.later);
        rig.dialog->FillControls();
        EXPECT_EQ(w.CheckBoxAt(IDC_CHK_DHCP).GetCheck(), row.enabled ? 0 : 1);
        EXPECT_EQ(w.CheckBoxAt(IDC_CHK_DHCP).IsWindowEnabled(), row.enabled);
    }
}

// What Apply does after a series of edits tells which flags the edits left
// set: the entries sent, or the first validation message and its focus.
TEST(SetupIpForm, EditsSetAndClearFlagsAndApplyValidatesThem)
{
    constexpr int Ip = IDC_IP_ADDRESS, Mask = IDC_IP_NETMASK, Gw = IDC_IP_GATEWAY;
    const std::optional<int> blank;
    auto blankAll = [blank](FakeWindow& w, int id) {
        for (int field = 0; field < 4; ++field)
            w.TypeField(id, field, blank);
    };
    struct Row {
        const char* what;
        std::string deviceIp, dhcp;
        Actions edit;
        SettingsChange sent; // nothing present: a message instead
        const char* message = nullptr;
        int focus = 0;
    };
    const Row rows[] = {
        {"other octet", "192.168.1.20", "1", [](FakeWindow& w) { w.TypeField(Ip, 3, 30); },
         {.ipAddress = "192.168.1.30"}},
        {"old octet typed back", "192.168.1.20", "1",
         [](FakeWindow& w) { w.TypeField(Ip, 3, 30), w.TypeField(Ip, 3, 20); }, {}, "No change is made!"},
        {"leading zeros never match", "192.168.001.001", "1", [](FakeWindow& w) { w.TypeField(Ip, 3, 1); },
         {.ipAddress = "192.168.1.1"}},
        {"netmask back", "192.168.1.20", "1", [](FakeWindow& w) { w.TypeField(Mask, 3, 128), w.TypeField(Mask, 3, 0); },
         {}, "No change is made!"},
        {"blank gateway", "192.168.1.20", "1", [&](FakeWindow& w) { blankAll(w, Gw); }, {.gateway = "0.0.0.0"}},
        {"DHCP unticked", "192.168.1.20", "1", [](FakeWindow& w) { w.Click(IDC_CHK_DHCP); }, {.dhcp = 0}},
        {"DHCP ticked back", "192.168.1.20", "1", [](FakeWindow& w) { w.Click(IDC_CHK_DHCP), w.Click(IDC_CHK_DHCP); },
         {}, "No change is made!"},
        {"blank first field", "192.168.1.20", "1", [&](FakeWindow& w) { w.TypeField(Ip, 0, blank); }, {},
         "Invalid IP Address!", Ip},
        {"blank IP", "192.168.1.20", "1", [&](FakeWindow& w) { blankAll(w, Ip); }, {}, "IP Address cannot be empty!",
         Ip},
        {"blank netmask", "192.168.1.20", "1", [&](FakeWindow& w) { blankAll(w, Mask); }, {},
         "Netmask cannot be empty!", Mask},
        {"IP before netmask", "192.168.1.20", "1",
         [&](FakeWindow& w) { w.TypeField(Mask, 1, 0), w.TypeField(Ip, 0, blank); }, {}, "Invalid IP Address!", Ip},
        {"gateway first field 0", "192.168.1.20", "1", [](FakeWindow& w) { w.TypeField(Gw, 0, 0); }, {},
         "Invalid Gateway Address!", Gw},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetupIpRig rig;
        FakeWindow& w = OpenWith(rig, row.deviceIp, row.dhcp, false);
        EXPECT_EQ(Shown(w, Ip), AddressToText(AddressFromText(row.deviceIp)));
        row.edit(w);
        const std::size_t sentBefore = rig.SentByTool().size();
        w.Click(IDC_BTN_APPLY);
        if (row.message) {
            ASSERT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{row.message});
            const auto& box = rig.toolkit.Messages().front();
            EXPECT_EQ(box.ownerTemplate, IDD_SETUPIP);
            EXPECT_EQ(box.buttons, MbButtons::Ok);
            EXPECT_EQ(box.icon, MbIcon::None);
            for (int id : {Ip, Mask, Gw})
                EXPECT_EQ(w.IpAddressAt(id).Focused(), id == row.focus) << id;
            EXPECT_EQ(rig.SentByTool().size(), sentBefore);
            EXPECT_TRUE(FormEnabled(w));
        } else {
            EXPECT_TRUE(rig.toolkit.Messages().empty());
            EXPECT_EQ(rig.SentByTool().back(), Change("", "", row.sent));
        }
    }
}

TEST(SetupIpApply, EntriesGoInFixedOrderWhateverTheEditingOrder)
{
    SetupIpRig rig;
    FakeWindow& w = OpenWith(rig, "192.168.1.20", "1", false);
    w.TypeText(IDC_EDIT_PASSWORD, "secret");
    w.TypeField(IDC_IP_GATEWAY, 3, 254);
    w.Click(IDC_CHK_DHCP);
    w.TypeField(IDC_IP_NETMASK, 2, 254);
    w.TypeText(IDC_EDIT_USERNAME, "admin");
    w.TypeField(IDC_IP_ADDRESS, 3, 30);
    w.Click(IDC_BTN_APPLY);

    // The device MAC 00:0A:FF:10:2B:C4; entries in the fixed order address,
    // netmask, gateway, DHCP.
    EXPECT_EQ(rig.SentByTool().back(),
              HandWritten(2, {0x00, 0x0A, 0xFF, 0x10, 0x2B, 0xC4}, "admin", "secret",
                          {"flash set IP_ADDR 192.168.1.30", "flash set SUBNET_MASK 255.255.254.0",
                           "flash set DEFAULT_GATEWAY 192.168.1.254", "flash set DHCP 0"}));
    EXPECT_EQ(rig.dialog->Job()->Step(), JobStep::Change);
    EXPECT_TRUE(FormDisabled(w));
    EXPECT_TRUE(rig.toolkit.TimerArmed(w, 1));
    EXPECT_EQ(rig.toolkit.TimerPeriod(w, 1), 1000);
}

// A value accepted before a later check fails is stored all the same: typing
// the device's old value back then no longer clears the flag.
TEST(SetupIpApply, ValueAcceptedBeforeAFailureStaysStored)
{
    SetupIpRig rig;
    FakeWindow& w = OpenWith(rig, "192.168.1.20", "1", false);
    w.TypeField(IDC_IP_ADDRESS, 3, 30);
    w.TypeField(IDC_IP_NETMASK, 1, 0); // 255.0.255.0
    w.Click(IDC_BTN_APPLY);
    EXPECT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{"Invalid Netmask!"});

    w.TypeField(IDC_IP_ADDRESS, 3, 20);
    w.TypeField(IDC_IP_NETMASK, 1, 255); // as the device reported it: flag cleared
    w.Click(IDC_BTN_APPLY);
    EXPECT_EQ(rig.SentByTool().back(), Change("", "", {.ipAddress = "192.168.1.20"}));
}

TEST(SetupIpApply, AuthenticationErrorRefillsWithTheEnteredValues)
{
    SetupIpRig rig;
    rig.Configure(rig.device, [](FakeAccessPoint::Profile& p) { p.commandResult = 1; });
    FakeWindow& w = OpenWith(rig);
    w.TypeText(IDC_EDIT_USERNAME, "admin");
    w.TypeText(IDC_EDIT_PASSWORD, "wrong");
    w.TypeField(IDC_IP_ADDRESS, 3, 30);
    w.Click(IDC_BTN_APPLY);
    rig.toolkit.Advance(999);
    EXPECT_TRUE(rig.toolkit.Messages().empty()) << "acted on at the first poll tick";
    rig.toolkit.Advance(1);

    ASSERT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{"Authentication Error!"});
    EXPECT_EQ(rig.toolkit.Messages().front().ownerTemplate, IDD_SETUPIP);
    EXPECT_TRUE(FormEnabled(w));
    EXPECT_EQ(Shown(w, IDC_IP_ADDRESS), "192.168.1.30");
    EXPECT_FALSE(rig.toolkit.TimerArmed(w, 1));

    // The flags describe the last attempt: other credentials, same change.
    w.TypeText(IDC_EDIT_PASSWORD, "2");
    w.Click(IDC_BTN_APPLY);
    EXPECT_EQ(rig.SentByTool().back(), Change("admin", "wrong2", {.ipAddress = "192.168.1.30"}));
}

// Each credential travels in a 32-byte header field. Typed text that fits
// (counted in UTF-8 bytes) goes out byte for byte; longer text is refused at
// Apply, naming the field, and nothing is sent.
TEST(SetupIpApply, CredentialsLongerThanTheHeaderHoldsAreRefusedAtApply)
{
    const auto times = [](const std::string& piece, int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += piece;
        return text;
    };
    const std::string ascii30(30, 'a');
    struct Row {
        const char* what;
        std::string typedUser, typedPassword;
        std::string sentUser, sentPassword; // when sent
        const char* message = nullptr;
        int focus = 0;
    };
    const Row rows[] = {
        {"30 ASCII characters", ascii30, "pw", ascii30, "pw"},
        {"a 31st character is refused by the edit", ascii30 + "b", "pw", ascii30, "pw"},
        {"15 two-byte characters: 30 bytes", "admin", times("\u00e4", 15), "admin", times("\u00e4", 15)},
        {"16 two-byte characters: 32 bytes", times("\u00e4", 16), "pw", "", "", MsgUserNameTooLong.data(),
         IDC_EDIT_USERNAME},
        {"one byte over", "m\u00fcller" + std::string(24, 'x'), "pw", "", "", MsgUserNameTooLong.data(),
         IDC_EDIT_USERNAME},
        {"11 three-byte characters: 33 bytes", "admin", times("\u30d1", 11), "", "", MsgPasswordTooLong.data(),
         IDC_EDIT_PASSWORD},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetupIpRig rig;
        FakeWindow& w = OpenWith(rig, "192.168.1.20", "1", false);
        w.TypeText(IDC_EDIT_USERNAME, row.typedUser);
        w.TypeText(IDC_EDIT_PASSWORD, row.typedPassword);
        w.TypeField(IDC_IP_ADDRESS, 3, 30);
        const std::size_t sentBefore = rig.SentByTool().size();
        w.Click(IDC_BTN_APPLY);
        if (row.message) {
            ASSERT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{row.message});
            EXPECT_EQ(rig.toolkit.Messages().front().ownerTemplate, IDD_SETUPIP);
            EXPECT_EQ(w.Focus(), row.focus);
            EXPECT_EQ(rig.SentByTool().size(), sentBefore);
            EXPECT_TRUE(FormEnabled(w));
        } else {
            EXPECT_TRUE(rig.toolkit.Messages().empty());
            EXPECT_EQ(rig.SentByTool().back(), Change(row.sentUser, row.sentPassword, {.ipAddress = "192.168.1.30"}));
        }
    }
}

// Only a command reply (type 3) from the device ends the wait: a query reply
// of the device, or another device's result, is ignored, and without the
// device's answer the wait ends in "Time Out!" with the form given back.
TEST(SetupIpApply, RepliesOtherThanTheDevicesResultDoNotEndTheWait)
{
    SetupIpRig rig;
    FakeAccessPoint& other = rig.lan.AddAccessPoint(FakeAccessPoint::Standard("198.18.0.11", DeviceListHarness::ApMac(1)),
                                                    "198.18.0.11");
    FakeWindow& w = OpenWith(rig, "192.168.1.20", "1", false);
    w.TypeField(IDC_IP_ADDRESS, 3, 30);
    w.Click(IDC_BTN_APPLY);
    rig.device.Send(EncodeDatagram(TypeQueryReply, rig.device.GetProfile().mac, "", "", {"IP_ADDR=192.168.1.30"}),
                    SetupIpRig::ToolHost);
    Datagram accepted = EncodeDatagram(TypeCommandReply, DeviceListHarness::ApMac(1), "", "", {"0"});
    accepted.bytes[86] = 0;
    other.Send(accepted, SetupIpRig::ToolHost);
    rig.toolkit.Advance(3000);
    EXPECT_EQ(rig.dialog->Job()->Step(), JobStep::Change);
    EXPECT_TRUE(rig.toolkit.TimerArmed(w, 1)) << "the poll goes on";
    EXPECT_TRUE(rig.toolkit.Messages().empty());
    EXPECT_TRUE(FormDisabled(w));

    rig.toolkit.Advance(7000);
    EXPECT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{"Time Out!"});
    EXPECT_FALSE(rig.dialog->Job()->Running());
    EXPECT_TRUE(FormEnabled(w));
}

// A result other than 0 and 1, or a command reply too short to hold one
// (read as -1), is reported with its code at the first poll tick after it
// arrives, and the form comes back as after "Authentication Error!".
TEST(SetupIpApply, UnknownOrShortResultIsReportedAndTheFormComesBack)
{
    struct Row {
        const char* what;
        int deviceResult; // negative: the device answers nothing itself
        const char* message;
    };
    const Row rows[] = {
        {"result 2", 2, "The device answered with an unknown result (2)."},
        {"result 127", 127, "The device answered with an unknown result (127)."},
        {"result byte FF", 0xFF, "The device answered with an unknown result (-1)."},
        {"reply without a result byte", -1, "The device answered with an unknown result (-1)."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetupIpRig rig;
        rig.Configure(rig.device, [&](FakeAccessPoint::Profile& p) { p.commandResult = row.deviceResult; });
        FakeWindow& w = OpenWith(rig, "192.168.1.20", "1", row.deviceResult >= 0);
        w.TypeText(IDC_EDIT_USERNAME, "admin");
        w.TypeField(IDC_IP_ADDRESS, 3, 30);
        w.Click(IDC_BTN_APPLY);
        if (row.deviceResult < 0) {
            const Datagram headerOnly = EncodeDatagram(TypeCommandReply, rig.device.GetProfile().mac, "", "",
                                                       std::span<const std::string_view>{});
            rig.device.Send(headerOnly, SetupIpRig::ToolHost);
        }
        rig.toolkit.Advance(999);
        EXPECT_TRUE(rig.toolkit.Messages().empty());
        EXPECT_TRUE(FormDisabled(w));
        rig.toolkit.Advance(1);

        ASSERT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{row.message});
        EXPECT_EQ(rig.toolkit.Messages().front().ownerTemplate, IDD_SETUPIP);
        EXPECT_EQ(rig.toolkit.Messages().front().time, rig.toolkit.Now());
        EXPECT_TRUE(FormEnabled(w));
        EXPECT_EQ(Shown(w, IDC_IP_ADDRESS), "192.168.1.30");
        EXPECT_FALSE(rig.toolkit.TimerArmed(w, 1));
        // The same change can go again.
        w.Click(IDC_BTN_APPLY);
        EXPECT_EQ(rig.SentByTool().back(), Change("admin", "", {.ipAddress = "192.168.1.30"}));
    }
}

TEST(SetupIpApply, NoResultWithinTenSecondsIsATimeOut)
{
    SetupIpRig rig;
    FakeWindow& w = OpenWith(rig, "192.168.1.20", "1", false);
    w.TypeField(IDC_IP_ADDRESS, 3, 30);
    w.Click(IDC_BTN_APPLY);
    rig.toolkit.Advance(9999);
    EXPECT_TRUE(rig.toolkit.Messages().empty());
    EXPECT_TRUE(FormDisabled(w));
    rig.toolkit.Advance(1);
    ASSERT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{"Time Out!"});
    EXPECT_EQ(rig.toolkit.Messages().front().ownerTemplate, IDD_SETUPIP);
    EXPECT_TRUE(FormEnabled(w));
    EXPECT_EQ(Shown(w, IDC_IP_ADDRESS), "192.168.1.30");
    rig.toolkit.Advance(1000);
    EXPECT_FALSE(rig.toolkit.TimerArmed(w, 1));
}

} // namespace
} // namespace pemblor
