// The notes a row of the device table carries: a MAC that answered from two
// addresses in one round (marked, named in the tool tip, asked about before
// Setup IP and Connect to Web Server), how the row's password would travel,
// each note on a line of its own; and the line under the table when more
// devices answered than are listed.
#include "gui/CSetupIpDlg.h"
#include "gui/MessageBox.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"
#include "tests/gui/DeviceListRig.h"
#include "tools/apsim/LabAddress.h"

#include <QLabel>

#include <gtest/gtest.h>

#include <string>

namespace pemblor {
namespace {

constexpr const char* SecondHost = "198.18.0.40";

class DeviceListNotesTest : public testing::Test {
protected:
    // The first access point, and a second host that answers with its MAC.
    DeviceListNotesTest()
    {
        rig.AddStandardAccessPoint(0);
        apsim::ApSettings copy = GuiRig::Standard(0);
        copy.ip = *apsim::ParseAddress(SecondHost);
        rig.AddAccessPoint(copy);
        rig.OpenAndDiscover();
    }
    QString Tip(int column = 2) const
    {
        return rig.List().model()->index(0, column).data(Qt::ToolTipRole).toString();
    }

    DeviceListRig rig;
};

TEST_F(DeviceListNotesTest, AMacHeardFromTwoAddressesIsMarkedAndNamesBoth)
{
    ASSERT_EQ(rig.Cells().size(), 1u) << "one row: the record keeps the first address";
    const std::string first = rig.Cells()[0][2];
    const std::string other = first == SecondHost ? GuiRig::ApHost(0) : SecondHost;
    const QAbstractItemModel& model = *rig.List().model();
    EXPECT_TRUE(model.index(0, 2).data(Qt::DecorationRole).isValid());
    const QStringList lines = Tip().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2) << Tip().toStdString();
    EXPECT_EQ(lines[0].toStdString(), GuiRig::ApMacText(0) + " also answered from " + other);
    EXPECT_EQ(lines[1].toStdString(), "by unicast to " + first + " on eth0, if it answers there");
    EXPECT_EQ(model.index(0, 2).data(Qt::AccessibleDescriptionRole).toString(), Tip());
}

TEST_F(DeviceListNotesTest, SetupIpAndTheWebPageAskFirst)
{
    ASSERT_EQ(rig.Cells().size(), 1u);
    const std::string first = rig.Cells()[0][2];
    const std::string other = first == SecondHost ? GuiRig::ApHost(0) : SecondHost;
    const std::string question = GuiRig::ApMacText(0) + " also answered from " + other +
                                 "\n\nGo on with the device at " + first + "?";
    rig.ClickRow(0);
    rig.ClearMessages();

    MessageBox::setNextAnswer(QMessageBox::No);
    rig.Click("IDC_BTN_WEBSERVER");
    EXPECT_TRUE(rig.urls.urls.empty());
    MessageBox::setNextAnswer(QMessageBox::Yes);
    rig.Click("IDC_BTN_WEBSERVER");
    EXPECT_EQ(rig.urls.urls, std::vector<std::string>{"http://" + first});

    MessageBox::setNextAnswer(QMessageBox::No);
    rig.Click("IDC_BTN_SETUPIP");
    rig.Settle();
    EXPECT_EQ(rig.window->findChild<CSetupIpDlg*>(), nullptr);
    const QStringList messages = rig.Messages();
    ASSERT_EQ(messages.size(), 3);
    for (const QString& message : messages)
        EXPECT_EQ(message.toStdString(), question);
}

// Past the list's bound the line under the table counts the devices that
// answered but are not listed; the filter count stands beside it.
TEST(DeviceListUnlistedTest, TheLineUnderTheTableCountsTheDevicesNotListed)
{
    DeviceListRig rig;
    rig.Open();
    DeviceRegistry& registry = rig.window->GetSession().registry();
    const int extra = 3;
    for (int n = 0; n < DeviceRegistry::MaxDevices + extra; ++n) {
        const MacBytes mac{0x02, 0x10, 0x00, static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(n)};
        const Datagram reply = EncodeDatagram(TypeQueryReply, mac, "", "", {"SSID=x"});
        registry.Record(ReplyDatagram(reply.data(), reply.size, "198.18.0.99"), NetworkInterface{}, 0);
    }
    rig.Settle();
    auto* line = rig.Find<QLabel>("filterCount");
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->isVisibleTo(rig.window.get()));
    EXPECT_EQ(line->text(), QStringLiteral("Only the first 16384 devices are listed; 3 more answered."));
    EXPECT_EQ(registry.Size(), DeviceRegistry::MaxDevices);
}

} // namespace
} // namespace pemblor
