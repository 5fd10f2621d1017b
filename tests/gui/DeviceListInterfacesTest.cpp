// The device list on a computer with two interfaces: the tool host of the
// rig has eth0 on the rig's segment and eth1 on segment "two".
#include "common/InterfaceTexts.h"
#include "gui/MessageBox.h"
#include "gui/CSetupIpDlg.h"
#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"
#include "tests/gui/DeviceListRig.h"
#include "tools/apsim/LabAddress.h"

#include <gtest/gtest.h>
#include <QLabel>

#include <cerrno>
#include <functional>

namespace pemblor {
namespace {

constexpr const char* Eth1Address = "198.18.2.1";
const std::string BehindEth0 = GuiRig::ApHost(0); // 198.18.0.10
const std::string BehindEth1 = "198.18.2.10";
const std::string Outside = "198.18.9.9"; // behind eth1, outside its /24

class InterfacesTest : public testing::Test {
protected:
    InterfacesTest()
    {
        rig.net.AddInterface(GuiRig::ToolHost, "eth1", Eth1Address, "two");
        rig.AddStandardAccessPoint(0);
    }
    SimAccessPoint& AddBehindEth1(const std::string& host, int index, const MacBytes& mac)
    {
        apsim::ApSettings settings = GuiRig::Standard(index);
        settings.ip = *apsim::ParseAddress(host);
        settings.mac = mac;
        return rig.AddAccessPointOn("two", settings);
    }
    // The interfaces each broadcast datagram of `type` left by.
    std::vector<std::string> LeftBy(std::uint32_t type) const
    {
        std::vector<std::string> names;
        for (const auto& sent : rig.net.SentLog())
            if (ReplyDatagram(sent.bytes.data(), sent.bytes.size(), "").type() == type &&
                sent.toHost == "255.255.255.255")
                names.push_back(sent.interfaceName);
        return names;
    }
    int RowOf(const std::string& address) const
    {
        const auto cells = rig.Cells();
        for (std::size_t row = 0; row < cells.size(); ++row)
            if (cells[row][2] == address)
                return static_cast<int>(row);
        return -1;
    }

    DeviceListRig rig;
};

TEST_F(InterfacesTest, DiscoveryGoesOutOfEveryInterfaceAndRowsTellWhereTheyAnswered)
{
    AddBehindEth1(BehindEth1, 1, GuiRig::ApMac(1));
    // The same device on both segments is one row, on the first interface
    // it answered on.
    AddBehindEth1("198.18.2.11", 2, GuiRig::ApMac(0));
    rig.OpenAndDiscover();

    EXPECT_EQ(LeftBy(TypeQuery), (std::vector<std::string>{"eth0", "eth1"}));
    std::vector<std::vector<std::uint8_t>> bytes;
    for (const auto& sent : rig.net.SentLog())
        if (sent.toHost == "255.255.255.255")
            bytes.push_back(sent.bytes);
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], bytes[1]) << "the same bytes out of each interface";

    // Each row names the interface its device's address sits behind.
    const auto cells = rig.Cells();
    ASSERT_EQ(cells.size(), 2u) << "one row per MAC";
    for (std::size_t row = 0; row < cells.size(); ++row)
        EXPECT_EQ(rig.Interfaces()[row], cells[row][2].starts_with("198.18.2.") ? "eth1" : "eth0") << cells[row][2];
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST_F(InterfacesTest, AFailedSendOnOneInterfaceNamesItAndTheOthersStillGo)
{
    AddBehindEth1(BehindEth1, 1, GuiRig::ApMac(1));
    rig.Open();
    rig.tool->InjectFailure(FakeOp::Send, ENETUNREACH); // the first send: eth0's
    rig.Discover(6000);
    EXPECT_EQ(rig.Messages(), QStringList{QStringLiteral("skSend.SendTo: %1 (eth0)\n").arg(ENETUNREACH)});
    EXPECT_EQ(LeftBy(TypeQuery), std::vector<std::string>{"eth1"});
    EXPECT_EQ(rig.Interfaces(), std::vector<std::string>{"eth1"});
}

TEST_F(InterfacesTest, ADeviceBehindAnInterfaceWithoutAddressIsListedAndTheDropsShowBelowTheTable)
{
    rig.net.AddInterface(GuiRig::ToolHost, "eth2", "", "three");
    apsim::ApSettings settings = GuiRig::Standard(1);
    settings.ip = *apsim::ParseAddress("198.19.250.1");
    settings.mac = GuiRig::ApMac(1);
    apsim::Quirks broadcasting;
    broadcasting.broadcastReplies = true;
    rig.AddAccessPointOn("three", settings).SetQuirks(broadcasting);
    rig.reversePath.modes = {{"eth0", 1}};
    rig.reversePath.risePerRead = 4;
    rig.OpenAndDiscover();
    const int bare = RowOf("198.19.250.1");
    ASSERT_GE(bare, 0);
    EXPECT_EQ(rig.Interfaces()[static_cast<std::size_t>(bare)], "eth2");
    const QString reason = rig.List().model()->index(bare, 2).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(reason.startsWith(QStringLiteral("This computer has no address on eth2"))) << reason.toStdString();
    const QLabel* note = rig.Find<QLabel>("reversePathNote");
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(note->text().startsWith(QStringLiteral("The kernel's reverse-path filter dropped 4 packets")))
        << note->text().toStdString();
    EXPECT_TRUE(note->text().contains(QStringLiteral("net.ipv4.conf.eth0.rp_filter=2")));
}

TEST_F(InterfacesTest, ADeviceOutsideItsInterfaceNetworkIsWarnedAndAsksBeforeItsPage)
{
    AddBehindEth1(Outside, 1, GuiRig::ApMac(1));
    rig.OpenAndDiscover();
    ASSERT_EQ(rig.Cells().size(), 2u);
    const int outside = RowOf(Outside);
    const int inside = RowOf(BehindEth0);
    const QAbstractItemModel& model = *rig.List().model();
    EXPECT_FALSE(model.index(inside, 2).data(Qt::DecorationRole).isValid());
    EXPECT_TRUE(model.index(outside, 2).data(Qt::DecorationRole).isValid());
    EXPECT_FALSE(model.index(outside, 1).data(Qt::DecorationRole).isValid());
    const QString reason = model.index(outside, 2).data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(reason.contains(QStringLiteral("outside this computer's network 198.18.2.0/24 on eth1"))) << reason.toStdString();
    EXPECT_EQ(model.index(outside, 2).data(Qt::AccessibleDescriptionRole).toString(), reason);

    // Connect to Web Server and the context menu ask; Cancel opens nothing.
    rig.ClickRow(outside);
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    rig.Click("IDC_BTN_WEBSERVER");
    EXPECT_TRUE(rig.urls.urls.empty());
    ASSERT_EQ(rig.Messages().size(), 1);
    EXPECT_TRUE(rig.Messages()[0].startsWith(QStringLiteral("This device's address 198.18.9.9 is outs")));
    EXPECT_TRUE(rig.Messages()[0].endsWith(QStringLiteral("Open anyway?")));
    MessageBox::setNextAnswer(QMessageBox::Ok);
    rig.RightClickRow(outside);
    rig.Choose(QStringLiteral("Connect to web server ..."));
    EXPECT_EQ(rig.urls.urls, std::vector<std::string>{"http://" + Outside});
    EXPECT_EQ(rig.Messages().size(), 2);

    // A row inside its network opens without a question.
    rig.ClickRow(inside);
    rig.Click("IDC_BTN_WEBSERVER");
    EXPECT_EQ(rig.urls.urls.back(), "http://" + BehindEth0);
    EXPECT_EQ(rig.Messages().size(), 2);
}

TEST_F(InterfacesTest, ADeviceIsAskedOnlyOutOfItsInterfaceAndTheStopLeavesByAll)
{
    AddBehindEth1(BehindEth1, 1, GuiRig::ApMac(1));
    rig.OpenAndDiscover();
    rig.ClickRow(RowOf(BehindEth1));
    rig.Click("IDC_BTN_SETUPIP");
    auto* dialog = rig.window->findChild<CSetupIpDlg*>();
    ASSERT_NE(dialog, nullptr);
    rig.Advance(1000);
    // The detail query is a query with the device's MAC: eth1 only.
    EXPECT_EQ(LeftBy(TypeQuery), (std::vector<std::string>{"eth0", "eth1", "eth1"}));
    dialog->reject();
    rig.Settle();

    rig.Click("IDCANCEL");
    EXPECT_EQ(LeftBy(TypeStop), (std::vector<std::string>{"eth0", "eth1"}));
}

TEST_F(InterfacesTest, EachDiagnosisAppearsWhenItsCauseIsThere)
{
    rig.Open();
    struct Case {
        const char* name;
        std::function<void()> arrange;
        SilenceDiagnosis expected;
    };
    const Case cases[] = {
        {"silent segments", [&] { rig.accessPoints.clear(); }, {SilenceCause::NobodyAnswered, {"eth0", "eth1"}}},
        {"firewall", [&] { rig.net.DropInbound(GuiRig::ToolHost, DevicePort); },
         {SilenceCause::InboundBlocked, {"eth0", "eth1"}}},
        {"firewall open again, eth1 unplugged",
         [&] {
             rig.net.DropInbound(GuiRig::ToolHost, DevicePort, false);
             rig.net.SetInterfaceUp(GuiRig::ToolHost, "eth1", false);
         },
         {SilenceCause::NobodyAnswered, {"eth0"}}},
        {"no interface", [&] { rig.net.SetInterfaceUp(GuiRig::ToolHost, "eth0", false); }, {SilenceCause::NoInterface, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        rig.ClearMessages();
        rig.Discover(5000);
        EXPECT_EQ(rig.Messages(), QStringList{QString::fromStdString(FindNoDevicesText(c.expected))});
    }
    // An interface that comes back is used by the next Discover.
    rig.net.SetInterfaceUp(GuiRig::ToolHost, "eth1", true);
    AddBehindEth1(BehindEth1, 1, GuiRig::ApMac(1));
    rig.ClearMessages();
    rig.Discover(5000);
    EXPECT_EQ(rig.Interfaces(), std::vector<std::string>{"eth1"});
    EXPECT_TRUE(rig.Messages().isEmpty());
}

} // namespace
} // namespace pemblor
