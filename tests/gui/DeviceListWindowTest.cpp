// The device list window under real input: its layout and keys, the
// buttons as discovery and the selection move, the device commands, the
// About box, closing with the stop datagram, a failed endpoint and the
// application's start.
#include "common/DeviceColumns.h"
#include "gui/Application.h"
#include "gui/CAboutDlg.h"
#include "gui/MessageBox.h"
#include "tests/gui/DeviceListRig.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

namespace pemblor {
namespace {

const std::string Host0 = GuiRig::ApHost(0);

TEST(DeviceListWindowTest, LayoutTextsAndDefaultButton)
{
    DeviceListRig rig;
    CDeviceListDlg& window = rig.Open();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quarnel Access Point Configuration Tool"));
    EXPECT_EQ(window.objectName(), QStringLiteral("CDeviceListDlg"));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_NE(window.minimumSize(), window.maximumSize());
    EXPECT_GE(window.width(), 753);
    struct Button {
        const char* name;
        const char* text;
        bool enabled;
        bool isDefault;
    };
    for (const Button& b : {Button{"IDC_BTN_DISCOVER", "Discover", true, true}, {"IDC_BTN_SETUPIP", "Setup IP", false, false},
                            {"IDC_BTN_WEBSERVER", "Connect to Web Server", false, false},
                            {"IDCANCEL", "Close", true, false}}) {
        const QPushButton& button = rig.Button(b.name);
        EXPECT_EQ(button.text(), QString::fromUtf8(b.text)) << b.name;
        EXPECT_EQ(button.isEnabled(), b.enabled) << b.name;
        EXPECT_EQ(button.isDefault(), b.isDefault) << b.name;
        EXPECT_TRUE(window.rect().contains(button.geometry())) << b.name;
    }
    EXPECT_EQ(rig.Find<QCheckBox>("IDC_CHK_KEEP_DISCOVERING")->text(), QStringLiteral("Keep discovering"));
    EXPECT_FALSE(rig.Find<QCheckBox>("IDC_CHK_KEEP_DISCOVERING")->isChecked());
    // The table has its columns once the endpoint is open.
    QStringList headings;
    for (int column = 0; column < rig.List().model()->columnCount(); ++column)
        headings << rig.List().model()->headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(headings, (QStringList{"No", "SSID", "IP Address", "Subnet Mask", "Channel", "MAC Address", "Interface",
                                     "Last seen"}));
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST(DeviceListWindowTest, WindowResizesAndTheTableTakesTheRoom)
{
    DeviceListRig rig;
    CDeviceListDlg& window = rig.Open();
    DeviceTableView& view = rig.List();
    const QSize before = view.size();
    window.resize(window.width() + 200, window.height() + 150);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.width() > before.width(); }));
    EXPECT_EQ(view.width(), before.width() + 200);
    EXPECT_EQ(view.height(), before.height() + 150);
    // The buttons stay along the bottom, Close at the right.
    const QPushButton& close = rig.Button("IDCANCEL");
    const QPushButton& discover = rig.Button("IDC_BTN_DISCOVER");
    EXPECT_GT(close.x(), discover.x());
    EXPECT_GT(discover.y(), view.geometry().bottom());
    EXPECT_GE(close.geometry().right(), window.width() - 20);
}

// Tab runs as the eye reads: the filter, the table, then the buttons from
// left to right, the check box, Close last.
TEST(DeviceListWindowTest, TabFollowsTheLayout)
{
    DeviceListRig rig;
    rig.Open();
    for (const char* name : {"IDC_BTN_SETUPIP", "IDC_BTN_WEBSERVER"})
        rig.Button(name).setEnabled(true);
    QWidget* start = rig.Find("filter");
    QStringList order;
    QWidget* widget = start;
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != start && order.size() < 20);
    EXPECT_EQ(order, (QStringList{"filter", "IDC_LIST_DEVICES", "IDC_BTN_DISCOVER", "IDC_BTN_SETUPIP",
                                  "IDC_BTN_WEBSERVER", "IDC_CHK_KEEP_DISCOVERING", "IDCANCEL"}));
}

// Discover has the focus at start. It disables itself for its cycle: the
// focus must not move on to Close, so Enter pressed again after the cycle
// discovers again; a focused push button takes Enter itself.
TEST(DeviceListWindowTest, EnterTwiceDiscoversTwiceAndAFocusedButtonTakesEnter)
{
    DeviceListRig rig;
    CDeviceListDlg& window = rig.Open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), &rig.Button("IDC_BTN_DISCOVER"));
    QSignalSpy finished(&window, &QDialog::finished);

    rig.Key(Qt::Key_Return);
    EXPECT_EQ(rig.DiscoveriesSent(), 1);
    EXPECT_NE(QApplication::focusWidget(), &rig.Button("IDCANCEL"));
    rig.Advance(5000);
    ASSERT_TRUE(rig.Enabled("IDC_BTN_DISCOVER"));
    rig.Key(Qt::Key_Return);
    EXPECT_EQ(rig.DiscoveriesSent(), 2);
    EXPECT_EQ(finished.count(), 0);

    rig.Button("IDCANCEL").setFocus();
    rig.Key(Qt::Key_Return);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(rig.DiscoveriesSent(), 2);
}

// The table keeps its columns whatever failed, and Discover says the same
// again instead of sending through a socket that is not there. A receive
// port taken by another program gets a second line that says so.
TEST(DeviceListWindowTest, EndpointFailureIsToldAndTheTableKeepsItsColumns)
{
    const QString portTaken = "\nUDP port 21212 is in use by a program that does not share it.";
    struct Case {
        FakeOp op;
        int error;
        int skip;
        QString message;
    };
    const Case cases[]{
        {FakeOp::Bind, EADDRINUSE, 0, QStringLiteral("m_skSend.Create Error(%1)").arg(EADDRINUSE)},
        {FakeOp::Bind, EADDRINUSE, 1, QStringLiteral("m_skRecv.Create Error(%1)").arg(EADDRINUSE) + portTaken},
        {FakeOp::Open, EMFILE, 1, QStringLiteral("m_skRecv.Create Error(%1)").arg(EMFILE)},
        {FakeOp::SetBroadcast, ENOPROTOOPT, 0, QStringLiteral("m_skSend.SetSockOpt Error(%1)!").arg(ENOPROTOOPT)},
        {FakeOp::SetBroadcast, EACCES, 1, QStringLiteral("m_skRecv.SetSockOpt Error(%1)!").arg(EACCES)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        DeviceListRig rig;
        rig.tool->InjectFailure(c.op, c.error, c.skip);
        rig.Open();
        EXPECT_EQ(rig.Messages(), QStringList{c.message});
        EXPECT_EQ(rig.List().model()->columnCount(), kDeviceColumnCount);
        EXPECT_TRUE(rig.window->isVisible());

        const std::size_t sent = rig.net.SentLog().size();
        rig.Discover(5000);
        EXPECT_EQ(rig.Messages(), (QStringList{c.message, c.message}));
        EXPECT_EQ(rig.net.SentLog().size(), sent);
        // Closing sends nothing either.
        rig.window->close();
        rig.Settle();
        EXPECT_EQ(rig.net.SentLog().size(), sent);
        EXPECT_FALSE(rig.window->isVisible());
    }
}

TEST(DeviceListWindowTest, ReceiveThreadWithoutSocketsLibraryIsReportedAndFindsNothing)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    rig.tool->InjectFailure(FakeOp::StartupThread, 10093);
    rig.Open();
    rig.Discover(5000);
    EXPECT_EQ(rig.Messages(), (QStringList{"Socket Init Error", "Find no devices!"}));
    EXPECT_TRUE(rig.Cells().empty());
}

TEST(DeviceListWindowTest, ButtonsFollowDiscoverSelectionAndTimeOut)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    rig.Open();
    auto enabled = [&] {
        return std::vector<bool>{rig.Enabled("IDC_BTN_DISCOVER"), rig.Enabled("IDC_BTN_SETUPIP"),
                                 rig.Enabled("IDC_BTN_WEBSERVER")};
    };
    using V = std::vector<bool>;
    EXPECT_EQ(enabled(), (V{true, false, false}));

    rig.Discover(1000);
    EXPECT_EQ(enabled(), (V{false, false, false}));
    ASSERT_EQ(rig.Cells().size(), 1u);

    // No current row: a click on an empty part changes nothing.
    rig.ClickRow(-1);
    EXPECT_EQ(enabled(), (V{false, false, false}));

    // A row selected from the keyboard is the current row; a later click on
    // an empty part acts on it. (The focus makes row 0 current, Space
    // selects it.)
    rig.List().setFocus();
    rig.Key(Qt::Key_Space);
    EXPECT_EQ(enabled(), (V{false, true, true}));
    rig.ClickRow(-1);
    EXPECT_EQ(enabled(), (V{false, true, true}));
    EXPECT_EQ(rig.List().SelectionMark(), 0);

    // The end of the cycle enables Discover only; the others stay.
    rig.Advance(4000);
    EXPECT_EQ(enabled(), (V{true, true, true}));

    // Discover clears the table and with it the current row.
    rig.Discover(1000);
    EXPECT_EQ(enabled(), (V{false, false, false}));
    EXPECT_LT(rig.List().SelectionMark(), 0);
    rig.ClickRow(0);
    EXPECT_EQ(enabled(), (V{false, true, true}));
}

TEST(DeviceListWindowTest, WebServerAndContextMenuActOnTheCurrentRow)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0, {});
    apsim::Quirks later;
    later.replyDelayMs = 200;
    rig.AddStandardAccessPoint(1, later).SetDiscoveryEntries(std::vector<std::string>{});
    rig.Open();

    // Nothing to act on yet.
    rig.RightClickRow(-1);
    rig.DoubleClickRow(-1);
    EXPECT_EQ(rig.OpenMenu(), nullptr);
    EXPECT_TRUE(rig.urls.urls.empty());

    rig.Discover(1000);
    ASSERT_EQ(rig.Cells().size(), 2u);

    rig.DoubleClickRow(0);
    rig.ClickRow(1);
    rig.Click("IDC_BTN_WEBSERVER");
    rig.RightClickRow(0);
    ASSERT_NE(rig.OpenMenu(), nullptr);
    QStringList texts;
    for (const QAction* action : rig.OpenMenu()->actions())
        texts << action->text();
    EXPECT_EQ(texts, (QStringList{"Setup IP ...", "Connect to web server ...", "Export list..."}));
    rig.Choose(QStringLiteral("Connect to web server ..."));
    rig.RightClickRow(1);
    rig.Choose(QString()); // dismissed
    EXPECT_EQ(rig.OpenMenu(), nullptr);

    // The bare device's row shows no address; its page is where it answered
    // from.
    EXPECT_EQ(rig.urls.urls, (std::vector<std::string>{"http://" + Host0, "http://" + GuiRig::ApHost(1),
                                                       "http://" + Host0}));
}

// From the keyboard alone: a row selected by a key enables the device
// commands as a click does, and the Menu key or Shift+F10 opens the current
// row's menu at that row, wherever the pointer is.
TEST(DeviceListWindowTest, KeyboardSelectionAndMenuKeyActLikeTheMouse)
{
    DeviceListRig rig;
    rig.AddStandardAccessPoint(0);
    apsim::Quirks later;
    later.replyDelayMs = 200;
    rig.AddStandardAccessPoint(1, later);
    rig.Open();
    rig.List().setFocus();
    rig.Key(Qt::Key_Menu); // no row yet: no menu
    EXPECT_EQ(rig.OpenMenu(), nullptr);

    rig.Discover(5000);
    ASSERT_EQ(rig.Cells().size(), 2u);
    EXPECT_FALSE(rig.Enabled("IDC_BTN_SETUPIP"));
    rig.List().setFocus();
    rig.Key(Qt::Key_Down);
    rig.Key(Qt::Key_Down);
    EXPECT_TRUE(rig.Enabled("IDC_BTN_SETUPIP"));
    EXPECT_TRUE(rig.Enabled("IDC_BTN_WEBSERVER"));

    QCursor::setPos(rig.window->mapToGlobal(QPoint(1, 1)));
    rig.Key(Qt::Key_Menu);
    ASSERT_NE(rig.OpenMenu(), nullptr);
    const QRect row = rig.List().visualRect(rig.List().model()->index(1, 0));
    const QPoint rowOnScreen = rig.List().viewport()->mapToGlobal(row.topLeft());
    EXPECT_EQ(rig.OpenMenu()->pos().x(), rowOnScreen.x());
    EXPECT_GE(rig.OpenMenu()->pos().y(), rowOnScreen.y());
    rig.Choose(QStringLiteral("Connect to web server ..."));
    rig.Key(Qt::Key_Up);
    rig.Key(Qt::Key_F10, Qt::ShiftModifier);
    rig.Choose(QStringLiteral("Connect to web server ..."));
    EXPECT_EQ(rig.urls.urls, (std::vector<std::string>{"http://" + GuiRig::ApHost(1), "http://" + Host0}));
}

TEST(DeviceListWindowTest, CloseBoxSendsTwoStopDatagramsCloseButtonAndEscapeOne)
{
    struct Case {
        const char* name;
        std::function<void(DeviceListRig&)> close;
        int stops;
    };
    const Case cases[]{
        {"close box", [](DeviceListRig& rig) { rig.window->close(); }, 2},
        {"Close button", [](DeviceListRig& rig) { rig.Click("IDCANCEL"); }, 1},
        {"Escape", [](DeviceListRig& rig) { QTest::keyClick(rig.window.get(), Qt::Key_Escape); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceListRig rig;
        rig.OpenAndDiscover(); // the receive thread runs
        QSignalSpy finished(rig.window.get(), &QDialog::finished);
        c.close(rig);
        rig.Settle();
        EXPECT_EQ(rig.StopDatagramsSent(), c.stops);
        ASSERT_EQ(finished.count(), 1);
        EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Rejected);
        EXPECT_FALSE(rig.window->isVisible());
        EXPECT_EQ(rig.window->GetSession().discovery().State(), Closing);
    }
}

// The About entry: Ctrl+F1, and a menu on the window's background only.
TEST(DeviceListWindowTest, AboutBoxFromItsShortcutAndTheBackgroundMenu)
{
    InstallApplicationIcon();
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    DeviceListRig rig;
    CDeviceListDlg& window = rig.Open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_F1, Qt::ControlModifier);
    rig.Settle();
    auto* about = window.findChild<CAboutDlg*>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Pemblor"));
    EXPECT_EQ(about->windowModality(), Qt::WindowModal);
    const QStringList texts{about->findChild<QLabel*>("version")->text(), about->findChild<QLabel*>("purpose")->text()};
    EXPECT_EQ(texts, (QStringList{"Pemblor Version 1.0", "Sets up access point addresses"}));
    EXPECT_EQ(about->findChild<QLabel*>("icon")->pixmap().size(), QSize(32, 32));
    QTest::mouseClick(about->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
    rig.Settle();
    EXPECT_EQ(window.findChild<CAboutDlg*>(), nullptr);

    // Over a control: no menu. On the background: the About entry.
    const QPoint onButton = rig.Button("IDC_BTN_DISCOVER").geometry().center();
    QContextMenuEvent overButton(QContextMenuEvent::Mouse, onButton, window.mapToGlobal(onButton));
    QApplication::sendEvent(&window, &overButton);
    EXPECT_EQ(rig.OpenMenu(), nullptr);
    const QPoint background(window.width() / 2, rig.Button("IDC_BTN_DISCOVER").geometry().top() - 2);
    QContextMenuEvent onBackground(QContextMenuEvent::Mouse, background, window.mapToGlobal(background));
    QApplication::sendEvent(&window, &onBackground);
    ASSERT_NE(rig.OpenMenu(), nullptr);
    ASSERT_EQ(rig.OpenMenu()->actions().size(), 1);
    EXPECT_EQ(rig.OpenMenu()->actions()[0]->text(), QStringLiteral("&About Pemblor..."));
    rig.Choose(QStringLiteral("&About Pemblor..."));
    about = window.findChild<CAboutDlg*>();
    ASSERT_NE(about, nullptr);
    QTest::keyClick(about, Qt::Key_Escape);
    rig.Settle();
    EXPECT_EQ(window.findChild<CAboutDlg*>(), nullptr);
    EXPECT_TRUE(rig.Messages().isEmpty());
}

TEST(ApplicationTest, SocketsStartupFailureShowsTheMessageAndOpensNoWindow)
{
    GuiRig rig;
    rig.tool->InjectFailure(FakeOp::StartupProcess, 10091);
    EXPECT_EQ(RunApplication(rig.loop, rig.clock, *rig.tool), 0);
    EXPECT_EQ(rig.Messages(), QStringList{"Windows sockets initialization failed."});
    EXPECT_EQ(QApplication::topLevelWidgets().count(), 0);
}

TEST(ApplicationTest, RunsTheDeviceListWindowUntilItCloses)
{
    GuiRig rig;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<CDeviceListDlg*>(top)) {
                shown = window->isVisible();
                QTest::mouseClick(window->findChild<QPushButton*>("IDCANCEL"), Qt::LeftButton);
            }
    });
    EXPECT_EQ(RunApplication(rig.loop, rig.clock, *rig.tool, rig.config), 0);
    EXPECT_TRUE(shown);
    EXPECT_EQ(rig.StopDatagramsSent(), 1);
    EXPECT_TRUE(rig.Messages().isEmpty());
}

} // namespace
} // namespace pemblor
