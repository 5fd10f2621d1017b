// The device table on the offscreen platform: the model over the registry,
// the proxy's sort orders and filter, the selection mark following its
// device, and the window's table under real key and mouse input.
#include "QtTestSupport.h"

#include "common/DeviceColumns.h"
#include "resources/ResourceIds.h"
#include "toolkit/IButton.h"
#include "toolkit/IListCtrl.h"
#include "gui/QtDeviceTableModel.h"
#include "toolkit/qt/QtListView.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemblor {
namespace {

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
    QtToolkit toolkit;
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

class QtDeviceTableWindowTest : public ::testing::Test {
protected:
    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
    DeviceRegistry registry;

    void Open(int devices, std::function<void(QtWindow&, QtListView&, IListCtrl&)> act)
    {
        for (int i = 1; i <= devices; ++i)
            RecordDevice(registry, i, "198.18.1." + std::to_string(i), {"SSID=lab-" + std::to_string(i), "IP_ADDR=x"});
        handler.onInit = [this](IWindow& window) {
            IListCtrl* list = window.List(IDC_LIST_DEVICES);
            list->ShowDevices(registry, [] { return DeviceRecord::Millis{0}; });
            list->DevicesAdded(registry.Size());
        };
        handler.whileShown = [&, act](QtWindow& window) {
            auto* view = window.findChild<QtListView*>(QtWindow::ControlName(IDC_LIST_DEVICES));
            act(window, *view, *window.List(IDC_LIST_DEVICES));
            toolkit.EndDialog(window, 0);
        };
        toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
    }
};

QPoint RowCenter(QtListView& view, int row)
{
    return view.visualRect(view.model()->index(row, 1)).center();
}

TEST_F(QtDeviceTableWindowTest, HeadingClickSortsAndTheCurrentRowStaysWithItsDevice)
{
    Open(12, [](QtWindow&, QtListView& view, IListCtrl& list) {
        // Device 10 (198.18.1.10) is the current row.
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, RowCenter(view, 9));
        ASSERT_EQ(list.GetSelectionMark(), 9);

        QHeaderView* header = view.header();
        const QPoint ipHeading(header->sectionViewportPosition(kIp) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, ipHeading);
        EXPECT_EQ(header->sortIndicatorSection(), kIp);
        EXPECT_EQ(view.model()->index(0, kIp).data().toString(), QStringLiteral("198.18.1.1"));
        EXPECT_EQ(view.model()->index(1, kIp).data().toString(), QStringLiteral("198.18.1.2"));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, ipHeading);
        EXPECT_EQ(view.model()->index(0, kIp).data().toString(), QStringLiteral("198.18.1.12"));
        EXPECT_EQ(list.GetSelectionMark(), 9);
        EXPECT_EQ(list.GetSelectedRows(), std::vector<int>{9});
        EXPECT_EQ(view.currentIndex().row(), 2);
    });
    EXPECT_EQ(handler.Count("notify 1001 click"), 1);
}

TEST_F(QtDeviceTableWindowTest, CtrlFFiltersAsTypedAndEscapeClears)
{
    Open(40, [this](QtWindow& window, QtListView& view, IListCtrl& list) {
        auto* filter = window.findChild<QLineEdit*>(QStringLiteral("filter"));
        auto* count = window.findChild<QLabel*>(QStringLiteral("filterCount"));
        ASSERT_NE(filter, nullptr);
        ASSERT_NE(count, nullptr);
        EXPECT_EQ(filter->accessibleName(), QStringLiteral("Filter"));
        EXPECT_FALSE(count->isVisible());

        window.activateWindow();
        ASSERT_TRUE(WaitFor([&] { return window.isActiveWindow(); }, 2000));
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_F, Qt::ControlModifier);
        EXPECT_TRUE(filter->hasFocus());
        QTest::keyClicks(filter, "LAB-1");
        // lab-1 and lab-10 to lab-19.
        EXPECT_EQ(view.model()->rowCount(), 11);
        EXPECT_TRUE(count->isVisible());
        EXPECT_EQ(count->text(), QStringLiteral("11 of 40 devices"));
        EXPECT_EQ(list.GetShownRows().size(), 11u);
        EXPECT_EQ(list.GetShownRows().front(), 0);

        QTest::keyClick(filter, Qt::Key_Escape);
        EXPECT_EQ(filter->text(), QString());
        EXPECT_EQ(view.model()->rowCount(), 40);
        EXPECT_FALSE(count->isVisible());
        EXPECT_EQ(handler.Count("cancel"), 0) << "Escape in the filter closes nothing";
    });
}

TEST_F(QtDeviceTableWindowTest, ShiftClickCtrlAAndCtrlCSelectAndCopySeveralRows)
{
    Open(8, [](QtWindow&, QtListView& view, IListCtrl& list) {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, RowCenter(view, 1));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, RowCenter(view, 3));
        EXPECT_EQ(list.GetSelectedRows(), (std::vector<int>{1, 2, 3}));
        QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
        EXPECT_EQ(list.GetSelectedRows(), (std::vector<int>{1, 2, 3, 4}));
        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(list.GetSelectedRows().size(), 8u);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    });
    EXPECT_EQ(handler.Count("notify 1001 copy"), 1);
}

TEST_F(QtDeviceTableWindowTest, WindowResizesAndTheTableTakesTheRoom)
{
    Open(3, [](QtWindow& window, QtListView& view, IListCtrl&) {
        EXPECT_TRUE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_NE(window.minimumSize(), window.maximumSize());
        const QSize before = view.size();
        auto* close = window.findChild<QPushButton*>(QtWindow::ControlName(IDCANCEL));
        auto* discover = window.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
        window.resize(window.width() + 200, window.height() + 150);
        ASSERT_TRUE(WaitFor([&] { return view.width() > before.width(); }));
        EXPECT_EQ(view.width(), before.width() + 200);
        EXPECT_EQ(view.height(), before.height() + 150);
        // The buttons stay along the bottom, Close at the right.
        EXPECT_GT(close->x(), discover->x());
        EXPECT_GT(discover->y(), view.geometry().bottom());
        EXPECT_GE(close->geometry().right(), window.width() - 20);
    });
}

// Discover disables itself for its cycle: the focus must not move on to
// Close, so the second Enter discovers again.
TEST_F(QtDeviceTableWindowTest, EnterPressedAgainAfterTheCycleDiscoversAgain)
{
    handler.bEndOnCancel = false;
    handler.onCommand = [this](int id) {
        if (id != IDC_BTN_DISCOVER)
            return;
        IButton* discover = handler.Window().Button(IDC_BTN_DISCOVER);
        discover->EnableWindow(false);
        QTimer::singleShot(50, [discover] { discover->EnableWindow(true); });
    };
    Open(2, [](QtWindow& window, QtListView&, IListCtrl&) {
        window.activateWindow();
        WaitFor([&] { return window.isActiveWindow(); }, 2000);
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        QTest::keyClick(focused, Qt::Key_Return);
        IButton* discover = window.Button(IDC_BTN_DISCOVER);
        ASSERT_TRUE(WaitFor([&] { return discover->IsWindowEnabled(); }));
        focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        EXPECT_NE(focused, window.Control(IDCANCEL));
        QTest::keyClick(focused, Qt::Key_Return);
        ASSERT_TRUE(WaitFor([&] { return discover->IsWindowEnabled(); }));
    });
    EXPECT_EQ(handler.Count("command 1002"), 2);
    EXPECT_EQ(handler.Count("cancel"), 0);
}

// Tab runs as the eye reads: the filter, the table, then the buttons from
// left to right, Close last.
TEST_F(QtDeviceTableWindowTest, TabFollowsTheLayout)
{
    Open(2, [](QtWindow& window, QtListView&, IListCtrl&) {
        for (int id : {IDC_BTN_SETUPIP, IDC_BTN_WEBSERVER})
            window.Control(id)->setEnabled(true);
        QWidget* start = window.findChild<QLineEdit*>(QStringLiteral("filter"));
        std::vector<QString> order;
        QWidget* widget = start;
        do {
            if (widget->focusPolicy() & Qt::TabFocus)
                order.push_back(widget->objectName());
            widget = widget->nextInFocusChain();
        } while (widget != start && order.size() < 20);
        const std::vector<QString> expected{QStringLiteral("filter"), QStringLiteral("id1001"), QStringLiteral("id1002"),
                                            QStringLiteral("id1000"), QStringLiteral("id1010"), QStringLiteral("id1030"),
                                            QStringLiteral("id2")};
        EXPECT_EQ(order, expected);
    });
}

} // namespace
} // namespace pemblor
