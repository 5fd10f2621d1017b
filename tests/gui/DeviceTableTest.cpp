// The device table: the model over the registry, the proxy's sort orders
// and filter, and the window's table under real key and mouse input: the
// heading sorts, the current row stays with its device, Ctrl+F filters,
// several rows are selected and copied.
#include "common/DeviceColumns.h"
#include "engine/NetworkInterface.h"
#include "gui/QtDeviceTableModel.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"
#include "tests/gui/DeviceListRig.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemblor {
namespace {

// Records a discovery reply from `sender` with MAC 02:00:00:00:<index>
// (two bytes) and the entries given, heard on `interfaceName` at `now`.
void RecordDevice(DeviceRegistry& registry, int index, const std::string& sender,
                  const std::vector<std::string>& entries, DeviceRecord::Millis now = 0,
                  const std::string& interfaceName = "lab0")
{
    const MacBytes mac{0x02, 0, 0, 0, static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index & 0xFF)};
    const std::vector<std::string_view> texts(entries.begin(), entries.end());
    const Datagram datagram = EncodeDatagram(TypeQueryReply, mac, "", "", texts);
    const ReplyDatagram reply(datagram.data(), datagram.size, sender);
    NetworkInterface heardOn;
    heardOn.name = interfaceName;
    heardOn.index = 2;
    registry.Record(reply, heardOn, now);
}

constexpr int kIp = static_cast<int>(DeviceColumn::IpAddress);

// Five devices whose columns sort differently: addresses that compare
// wrongly as text, channels of one and two digits, text of mixed case.
void FillMixed(DeviceRegistry& registry)
{
    RecordDevice(registry, 1, "198.18.1.10", {"SSID=beta", "IP_ADDR=x", "CURRENT_SUBNET_MASK=255.255.0.0", "CHANNEL=11"});
    RecordDevice(registry, 2, "198.18.1.9", {"SSID=Alpha", "IP_ADDR=x", "CURRENT_SUBNET_MASK=255.255.255.0", "CHANNEL=6"});
    RecordDevice(registry, 3, "198.18.1.100", {"SSID=gamma", "IP_ADDR=x", "CURRENT_SUBNET_MASK=255.0.0.0", "CHANNEL=1"});
    RecordDevice(registry, 4, "198.18.2.1", {"SSID=delta", "IP_ADDR=x", "CURRENT_SUBNET_MASK=none", "CHANNEL=auto"},
                 0, "wlan1");
    RecordDevice(registry, 5, "10.0.0.1", {"SSID=Epsilon", "IP_ADDR=x", "CURRENT_SUBNET_MASK=255.255.255.128",
                                           "CHANNEL=36"});
}

// The No column of the proxy's rows, top to bottom.
std::vector<int> Numbers(const QtDeviceSortProxy& proxy)
{
    std::vector<int> numbers;
    for (int row = 0; row < proxy.rowCount(); ++row)
        numbers.push_back(proxy.index(row, 0).data().toString().toInt());
    return numbers;
}

class QtDeviceTableTest : public ::testing::Test {
protected:
    DeviceRegistry registry;
    QtDeviceTableModel model;
    QtDeviceSortProxy proxy{model, nullptr};
    DeviceRecord::Millis now = 0;

    void Show()
    {
        model.ShowDevices(registry, [this] { return now; });
        model.DevicesAdded(registry.Size());
    }
};

TEST_F(QtDeviceTableTest, ColumnsSortAsNumbersAddressesOrText)
{
    FillMixed(registry);
    Show();
    struct Case {
        DeviceColumn column;
        Qt::SortOrder order;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {DeviceColumn::Number, Qt::DescendingOrder, {5, 4, 3, 2, 1}},
        {DeviceColumn::IpAddress, Qt::AscendingOrder, {5, 2, 1, 3, 4}},
        {DeviceColumn::IpAddress, Qt::DescendingOrder, {4, 3, 1, 2, 5}},
        // "none" is no address: after the addresses.
        {DeviceColumn::SubnetMask, Qt::AscendingOrder, {3, 1, 2, 5, 4}},
        // "auto" is no number: after the numbers.
        {DeviceColumn::Channel, Qt::AscendingOrder, {3, 2, 1, 5, 4}},
        {DeviceColumn::Ssid, Qt::AscendingOrder, {2, 1, 4, 5, 3}},
        {DeviceColumn::Mac, Qt::DescendingOrder, {5, 4, 3, 2, 1}},
        {DeviceColumn::Interface, Qt::AscendingOrder, {1, 2, 3, 5, 4}},
    };
    for (const Case& c : cases) {
        proxy.sort(static_cast<int>(c.column), c.order);
        EXPECT_EQ(Numbers(proxy), c.expected) << DeviceColumnHeading(c.column) << " " << c.order;
    }
}

TEST_F(QtDeviceTableTest, FilterKeepsRowsContainingTheTextInAnyColumnIgnoringCase)
{
    FillMixed(registry);
    Show();
    proxy.sort(0, Qt::AscendingOrder);
    struct Case {
        const char* text;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"", {1, 2, 3, 4, 5}},
        {"ALPHA", {2}},
        {"198.18.1.1", {1, 3}},
        {"02:00:00:00:00:05", {5}},
        {"wlan", {4}},
        {"255.255.255", {2, 5}},
        {"nothing like it", {}},
    };
    for (const Case& c : cases) {
        proxy.SetFilterText(QString::fromUtf8(c.text));
        EXPECT_EQ(Numbers(proxy), c.expected) << c.text;
    }
}

TEST_F(QtDeviceTableTest, ArrivingRowsGoToTheirSortedPlaceAndChangedOnesMove)
{
    RecordDevice(registry, 1, "198.18.1.20", {"SSID=a", "IP_ADDR=x"});
    RecordDevice(registry, 2, "198.18.1.5", {"SSID=b", "IP_ADDR=x"});
    Show();
    proxy.sort(kIp, Qt::AscendingOrder);
    EXPECT_EQ(Numbers(proxy), (std::vector<int>{2, 1}));

    RecordDevice(registry, 3, "198.18.1.10", {"SSID=c", "IP_ADDR=x"});
    model.DevicesAdded(registry.Size());
    EXPECT_EQ(Numbers(proxy), (std::vector<int>{2, 3, 1}));

    // Device 2 moves to another address by the next round: the row shows it
    // and moves.
    registry.BeginRound();
    RecordDevice(registry, 2, "198.18.1.30", {"SSID=b", "IP_ADDR=x"});
    model.DevicesChanged(1, 1);
    EXPECT_EQ(Numbers(proxy), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(proxy.index(2, kIp).data().toString(), QStringLiteral("198.18.1.30"));
}

TEST_F(QtDeviceTableTest, GreyedWithItsSilenceAsToolTipOnlyWhileLive)
{
    RecordDevice(registry, 1, "198.18.1.20", {"SSID=a"}, 0);
    RecordDevice(registry, 2, "198.18.1.21", {"SSID=b"}, 10000);
    Show();
    now = 20000;
    const QModelIndex old = model.index(0, 1);
    const QModelIndex recent = model.index(1, 1);
    EXPECT_FALSE(old.data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(model.index(0, static_cast<int>(DeviceColumn::LastSeen)).data().toString(), QStringLiteral("20 s"));

    model.SetStaleAfter(kStaleAfterMs);
    EXPECT_TRUE(old.data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(old.data(Qt::ToolTipRole).toString(), QStringLiteral("Not heard for 20 s"));
    EXPECT_FALSE(recent.data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(recent.data(Qt::ToolTipRole).toString(), QStringLiteral("b"));

    model.SetStaleAfter(std::nullopt);
    EXPECT_FALSE(old.data(Qt::ForegroundRole).isValid());
}

TEST(LastSeenTextTest, WordsTheTimeSinceTheLastAnswer)
{
    const std::pair<DeviceRecord::Millis, const char*> cases[] = {
        {-5, "now"}, {0, "now"}, {999, "now"}, {1000, "1 s"}, {12500, "12 s"}, {59999, "59 s"},
        {60000, "1 min"}, {185000, "3 min"},
    };
    for (const auto& [ago, text] : cases)
        EXPECT_EQ(LastSeenText(ago), text) << ago;
}

// ---- The table in the window, under real input ---------------------------

class DeviceTableWindowTest : public testing::Test {
protected:
    // The window with `devices` devices lab-1, lab-2, ... at 198.18.1.1,
    // 198.18.1.2, ... in its table.
    void Open(int devices)
    {
        rig.Open();
        for (int i = 1; i <= devices; ++i)
            RecordDevice(rig.window->GetSession().registry(), i, "198.18.1." + std::to_string(i),
                         {"SSID=lab-" + std::to_string(i), "IP_ADDR=x"});
        rig.Settle();
        ASSERT_EQ(rig.List().model()->rowCount(), devices);
    }
    DeviceListRig rig;
};

TEST_F(DeviceTableWindowTest, HeadingClickSortsAndTheCurrentRowStaysWithItsDevice)
{
    Open(12);
    DeviceTableView& view = rig.List();
    // Device 10 (198.18.1.10) is the current row.
    rig.ClickRow(9);
    ASSERT_EQ(view.SelectionMark(), 9);
    EXPECT_TRUE(rig.Enabled("IDC_BTN_SETUPIP"));

    QHeaderView* header = view.header();
    const QPoint ipHeading(header->sectionViewportPosition(kIp) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, ipHeading);
    EXPECT_EQ(header->sortIndicatorSection(), kIp);
    EXPECT_EQ(view.model()->index(0, kIp).data().toString(), QStringLiteral("198.18.1.1"));
    EXPECT_EQ(view.model()->index(1, kIp).data().toString(), QStringLiteral("198.18.1.2"));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, ipHeading);
    EXPECT_EQ(view.model()->index(0, kIp).data().toString(), QStringLiteral("198.18.1.12"));
    EXPECT_EQ(view.SelectionMark(), 9);
    EXPECT_EQ(view.SelectedRows(), std::vector<int>{9});
    EXPECT_EQ(view.currentIndex().row(), 2);
}

TEST_F(DeviceTableWindowTest, CtrlFFiltersAsTypedAndEscapeClears)
{
    Open(40);
    DeviceTableView& view = rig.List();
    auto* filter = rig.Find<QLineEdit>("filter");
    auto* count = rig.Find<QLabel>("filterCount");
    ASSERT_NE(filter, nullptr);
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(filter->accessibleName(), QStringLiteral("Filter"));
    EXPECT_FALSE(count->isVisible());

    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.window.get()));
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(filter->hasFocus());
    QTest::keyClicks(filter, "LAB-1");
    // lab-1 and lab-10 to lab-19.
    EXPECT_EQ(view.model()->rowCount(), 11);
    EXPECT_TRUE(count->isVisible());
    EXPECT_EQ(count->text(), QStringLiteral("11 of 40 devices"));
    EXPECT_EQ(view.ShownRows().size(), 11u);
    EXPECT_EQ(view.ShownRows().front(), 0);
    // A device that arrives meanwhile counts at once.
    RecordDevice(rig.window->GetSession().registry(), 41, "198.18.1.41", {"SSID=lab-100"});
    rig.Settle();
    EXPECT_EQ(count->text(), QStringLiteral("12 of 41 devices"));

    QSignalSpy finished(rig.window.get(), &QDialog::finished);
    QTest::keyClick(filter, Qt::Key_Escape);
    EXPECT_EQ(filter->text(), QString());
    EXPECT_EQ(view.model()->rowCount(), 41);
    EXPECT_FALSE(count->isVisible());
    EXPECT_EQ(finished.count(), 0) << "Escape in the filter closes nothing";
}

TEST_F(DeviceTableWindowTest, ShiftClickCtrlAAndCtrlCSelectAndCopySeveralRows)
{
    Open(8);
    DeviceTableView& view = rig.List();
    rig.ClickRow(1);
    rig.ClickRow(3, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectedRows(), (std::vector<int>{1, 2, 3}));
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectedRows(), (std::vector<int>{1, 2, 3, 4}));
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view.SelectedRows().size(), 8u);
    QApplication::clipboard()->clear();
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().count(QLatin1Char('\n')), 9) << "the heading and eight rows";
}

} // namespace
} // namespace pemblor
