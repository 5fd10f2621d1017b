#include "QtTestSupport.h"

#include "resources/ResourceIds.h"
#include "toolkit/IListCtrl.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QWindow>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace pemblor {

// Receives the URLs handed to the desktop during a test.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    std::vector<QString> urls;
public slots:
    void Open(const QUrl& url) { urls.push_back(url.toString()); }
};

namespace {

class QtToolkitTest : public ::testing::Test {
protected:
    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
};

TEST_F(QtToolkitTest, AppNameIsTheProgramFilesBaseName)
{
    EXPECT_EQ(toolkit.AppName(), "qt_toolkit_tests");
}

// The modal loop: OnInitDialog before the window shows, OnShowWindow once it
// is visible, the default focus, and EndDialog's result.
TEST_F(QtToolkitTest, RunModalOrderFocusAndResult)
{
    bool focusOnDiscover = false;
    handler.whileShown = [&](QtWindow& window) {
        focusOnDiscover = WaitFor([&] {
            return QApplication::focusWidget() == window.findChild<QWidget*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
        });
        toolkit.EndDialog(window, 42);
    };
    EXPECT_EQ(toolkit.RunModal(handler, IDD_DEVICELIST, nullptr), 42);
    EXPECT_TRUE(focusOnDiscover);
    EXPECT_EQ(handler.log, (std::vector<std::string>{"init", "show visible", "destroy"}));
    EXPECT_EQ(toolkit.RunModal(handler, 9999, nullptr), -1);
}

TEST_F(QtToolkitTest, EndDialogDuringInitSkipsTheLoop)
{
    handler.onInit = [&](IWindow& window) { toolkit.EndDialog(window, 5); };
    EXPECT_EQ(toolkit.RunModal(handler, IDD_ABOUTBOX, nullptr), 5);
    EXPECT_EQ(handler.log, (std::vector<std::string>{"init", "destroy"}));
}

// How each way of asking a window to go reaches the handler; the window only
// ends when the handler calls EndDialog.
TEST_F(QtToolkitTest, CloseRequestsReachTheHandler)
{
    struct Case {
        const char* name;
        std::function<void(QtWindow&)> act;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases{
        {"escape", [](QtWindow& w) { QTest::keyClick(&w, Qt::Key_Escape); }, {"cancel"}},
        {"close button",
         [](QtWindow& w) { QTest::mouseClick(w.findChild<QPushButton*>(QtWindow::ControlName(IDCANCEL)), Qt::LeftButton); },
         {"cancel"}},
        {"close box", [](QtWindow& w) { w.close(); }, {"close", "cancel"}},
        {"reject", [](QtWindow& w) { w.reject(); }, {"cancel"}},
        {"post close", [this](QtWindow& w) { toolkit.PostClose(w); }, {"close", "cancel"}},
        {"other button",
         [](QtWindow& w) {
             auto* discover = w.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
             QTest::mouseClick(discover, Qt::LeftButton);
         },
         {"command 1002"}},
    };
    for (const Case& c : cases) {
        ScriptedHandler stubborn(toolkit);
        stubborn.bEndOnCancel = false;
        bool stillOpen = false;
        stubborn.whileShown = [&](QtWindow& window) {
            c.act(window);
            // Posted requests arrive through the loop.
            WaitFor([&] { return stubborn.log.size() > 2; }, 2000);
            stillOpen = window.isVisible() && !window.IsEnded();
            toolkit.EndDialog(window, 3);
        };
        EXPECT_EQ(toolkit.RunModal(stubborn, IDD_DEVICELIST, nullptr), 3) << c.name;
        std::vector<std::string> expected{"init", "show visible"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        expected.push_back("destroy");
        EXPECT_EQ(stubborn.log, expected) << c.name;
        EXPECT_TRUE(stillOpen) << c.name;
    }
}

TEST_F(QtToolkitTest, OwnedDialogIsChildOfItsOwner)
{
    int parentTemplate = 0;
    handler.whileShown = [&](QtWindow& owner) {
        ScriptedHandler child(toolkit);
        child.whileShown = [&](QtWindow& window) {
            if (auto* parent = dynamic_cast<QtWindow*>(window.parentWidget()))
                parentTemplate = parent->TemplateId();
            QTest::keyClick(&window, Qt::Key_Escape);
        };
        EXPECT_EQ(toolkit.RunModal(child, IDD_SETUPIP, &owner), IDCANCEL);
        toolkit.EndDialog(owner, 0);
    };
    toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
    EXPECT_EQ(parentTemplate, IDD_DEVICELIST);
}

// Caption, buttons, icon, owner and the answer of each kind of box.
TEST_F(QtToolkitTest, MessageBoxCaptionButtonsAndAnswer)
{
    struct Case {
        MbButtons buttons;
        MbIcon icon;
        QMessageBox::StandardButton click;
        QMessageBox::Icon expectedIcon;
        int expected;
    };
    const Case cases[]{
        {MbButtons::Ok, MbIcon::None, QMessageBox::Ok, QMessageBox::NoIcon, IdOk},
        {MbButtons::Ok, MbIcon::Exclamation, QMessageBox::Ok, QMessageBox::Warning, IdOk},
        {MbButtons::OkCancel, MbIcon::Question, QMessageBox::Ok, QMessageBox::Question, IdOk},
        {MbButtons::OkCancel, MbIcon::Question, QMessageBox::Cancel, QMessageBox::Question, IdCancel},
        {MbButtons::YesNo, MbIcon::Question, QMessageBox::Yes, QMessageBox::Question, IdOk},
        {MbButtons::YesNo, MbIcon::Question, QMessageBox::No, QMessageBox::Question, IdCancel},
    };
    for (const Case& c : cases) {
        QString caption;
        QString text;
        QMessageBox::Icon icon{};
        QWidget* parent = nullptr;
        int buttonCount = 0;
        WhenActive<QMessageBox>([&](QMessageBox* box) {
            caption = box->windowTitle();
            text = box->text();
            icon = box->icon();
            parent = box->parentWidget();
            buttonCount = static_cast<int>(box->buttons().size());
            box->button(c.click)->click();
        });
        EXPECT_EQ(toolkit.MessageBox(nullptr, "Find no devices!", c.buttons, c.icon), c.expected);
        EXPECT_EQ(caption, QStringLiteral("qt_toolkit_tests"));
        EXPECT_EQ(text, QStringLiteral("Find no devices!"));
        EXPECT_EQ(icon, c.expectedIcon);
        EXPECT_EQ(parent, nullptr);
        EXPECT_EQ(buttonCount, c.buttons == MbButtons::Ok ? 1 : 2);
    }

    bool ownedByWindow = false;
    handler.whileShown = [&](QtWindow& window) {
        WhenActive<QMessageBox>([&](QMessageBox* box) {
            ownedByWindow = box->parentWidget() == &window;
            QTest::keyClick(box, Qt::Key_Escape);
        });
        EXPECT_EQ(toolkit.MessageBox(&window, "Time Out!", MbButtons::OkCancel), IdCancel);
        toolkit.EndDialog(window, 0);
    };
    toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
    EXPECT_TRUE(ownedByWindow);
}

// Escape on a Yes/No box answers No.
TEST_F(QtToolkitTest, EscapeAnswersNoToAYesNoBox)
{
    WhenActive<QMessageBox>([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(toolkit.MessageBox(nullptr, "The device is restarting. Stop waiting for it?", MbButtons::YesNo,
                                 MbIcon::Question),
              IdCancel);
}

// While an owned dialog runs, the owner takes no input: a click on it, as
// the window system delivers it, is dropped, and not carried out once the
// dialog has closed.
TEST_F(QtToolkitTest, ClicksOnTheOwnerOfAModalDialogAreDropped)
{
    handler.whileShown = [&](QtWindow& owner) {
        ScriptedHandler child(toolkit);
        child.whileShown = [&](QtWindow& dialog) {
            auto* discover = owner.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
            QWindow* ownerWindow = owner.windowHandle();
            if (discover && ownerWindow) {
                const QPoint at = discover->mapTo(&owner, discover->rect().center());
                QTest::mouseClick(ownerWindow, Qt::LeftButton, {}, at);
            }
            QTest::qWait(50);
            toolkit.EndDialog(dialog, IDCANCEL);
        };
        toolkit.RunModal(child, IDD_SETUPIP, &owner);
        QTest::qWait(100);
        toolkit.EndDialog(owner, 0);
    };
    toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
    EXPECT_EQ(handler.Count("command 1002"), 0);

    // The same click without a dialog reaches the window: the test can see one.
    ScriptedHandler plain(toolkit);
    plain.whileShown = [&](QtWindow& owner) {
        auto* discover = owner.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
        QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, discover->mapTo(&owner, discover->rect().center()));
        WaitFor([&] { return plain.Count("command 1002") > 0; }, 2000);
        toolkit.EndDialog(owner, 0);
    };
    toolkit.RunModal(plain, IDD_DEVICELIST, nullptr);
    EXPECT_EQ(plain.Count("command 1002"), 1);
}

// Periodic ticks per id; arming again replaces; killing stops.
TEST_F(QtToolkitTest, TimersTickReplaceAndStop)
{
    handler.whileShown = [&](QtWindow& window) {
        EXPECT_EQ(toolkit.SetTimer(window, 1, 5), 1u);
        EXPECT_TRUE(WaitFor([&] { return handler.Count("timer 1") >= 3; }));
        toolkit.SetTimer(window, 1, 3600 * 1000);
        const int ticksOfOne = handler.Count("timer 1");
        toolkit.SetTimer(window, 2, 5);
        EXPECT_TRUE(WaitFor([&] { return handler.Count("timer 2") >= 5; }));
        EXPECT_EQ(handler.Count("timer 1"), ticksOfOne);
        toolkit.KillTimer(window, 2);
        const int ticksOfTwo = handler.Count("timer 2");
        toolkit.SetTimer(window, 3, 5);
        EXPECT_TRUE(WaitFor([&] { return handler.Count("timer 3") >= 5; }));
        EXPECT_EQ(handler.Count("timer 2"), ticksOfTwo);
        toolkit.KillTimer(window, 7); // never armed
        toolkit.EndDialog(window, 0);
    };
    toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
}

// A menu asked for by the Menu key opens at the current row, wherever the
// mouse pointer is; one from a right click opens at the pointer.
TEST_F(QtToolkitTest, RowMenuFromTheKeyboardOpensAtTheCurrentRow)
{
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    for (const Case& c : {Case{Qt::Key_Menu, {}}, Case{Qt::Key_F10, Qt::ShiftModifier}}) {
        QRect rowOnScreen;
        QPoint menuAt;
        int result = -1;
        handler.onNotify = [&](int, Notify code) {
            if (code != Notify::RightClick)
                return;
            WhenActive<QMenu>([&](QMenu* menu) {
                menuAt = menu->pos();
                QTest::keyClick(menu, Qt::Key_Down);
                QTest::keyClick(menu, Qt::Key_Down);
                QTest::keyClick(menu, Qt::Key_Return);
            });
            result = toolkit.TrackPopupMenu(handler.Window(), IDR_LISTMENU);
        };
        DeviceRegistry registry;
        for (int row = 0; row < 30; ++row)
            RecordDevice(registry, row + 1, "198.18.1.1", {"SSID=ap"});
        handler.onInit = [&registry](IWindow& window) {
            IListCtrl* list = window.List(IDC_LIST_DEVICES);
            list->ShowDevices(registry, [] { return DeviceRecord::Millis{0}; });
            list->DevicesAdded(registry.Size());
        };
        handler.whileShown = [&](QtWindow& window) {
            auto* view = window.findChild<QAbstractItemView*>(QtWindow::ControlName(IDC_LIST_DEVICES));
            QCursor::setPos(window.mapToGlobal(QPoint(1, 1)));
            view->setFocus();
            QTest::keyClick(view, Qt::Key_Down);
            QTest::keyClick(view, Qt::Key_End);
            QTest::keyClick(view, c.key, c.modifiers);
            const QRect row = view->visualRect(view->model()->index(29, 0));
            rowOnScreen = QRect(view->viewport()->mapToGlobal(row.topLeft()), row.size());
        };
        toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
        EXPECT_EQ(result, ID_CONNECT_WEB);
        EXPECT_EQ(menuAt.x(), rowOnScreen.left());
        EXPECT_GE(menuAt.y(), rowOnScreen.top());
        EXPECT_LE(menuAt.y(), rowOnScreen.bottom() + 1);
    }
}

TEST_F(QtToolkitTest, PopupMenuReturnsTheChosenCommand)
{
    struct Case {
        int pick; // action index, -1 for Escape
        int expected;
    };
    for (const Case& c : {Case{0, ID_SETUP_IP}, Case{1, ID_CONNECT_WEB}, Case{-1, 0}}) {
        QStringList texts;
        int result = -1;
        handler.whileShown = [&](QtWindow& window) {
            WhenActive<QMenu>([&](QMenu* menu) {
                for (const QAction* action : menu->actions())
                    texts << action->text();
                if (c.pick < 0) {
                    QTest::keyClick(menu, Qt::Key_Escape);
                } else {
                    menu->setActiveAction(menu->actions().at(c.pick));
                    QTest::keyClick(menu, Qt::Key_Return);
                }
            });
            result = toolkit.TrackPopupMenu(window, IDR_LISTMENU);
            toolkit.EndDialog(window, 0);
        };
        toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(texts, (QStringList{QStringLiteral("Setup IP ..."), QStringLiteral("Connect to web server ..."),
                              QStringLiteral("Export list...")}));
    }
    handler.whileShown = [&](QtWindow& window) {
        EXPECT_EQ(toolkit.TrackPopupMenu(window, 9999), 0);
        toolkit.EndDialog(window, 0);
    };
    toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
}

// The system-menu entry: Ctrl+F1, and a context menu on the background only.
TEST_F(QtToolkitTest, SystemCommandByShortcutAndBackgroundMenu)
{
    QStringList menuTexts;
    bool menuOverButton = false;
    handler.whileShown = [&](QtWindow& window) {
        toolkit.AppendSystemMenu(window, IDM_ABOUTBOX, "&About Pemblor...");
        window.activateWindow();
        WaitFor([&] { return window.isActiveWindow(); }, 2000);
        QTest::keyClick(&window, Qt::Key_F1, Qt::ControlModifier);

        // Background: the gap between the table and the buttons.
        auto* discoverButton = window.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
        const QPoint background(window.width() / 2, discoverButton->geometry().top() - 2);
        WhenActive<QMenu>([&](QMenu* menu) {
            for (const QAction* action : menu->actions())
                menuTexts << action->text();
            menu->setActiveAction(menu->actions().at(0));
            QTest::keyClick(menu, Qt::Key_Return);
        });
        QContextMenuEvent onBackground(QContextMenuEvent::Mouse, background, window.mapToGlobal(background));
        QApplication::sendEvent(&window, &onBackground);

        auto* discover = window.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
        const QPoint onButton = discover->geometry().center();
        QContextMenuEvent overButton(QContextMenuEvent::Mouse, onButton, window.mapToGlobal(onButton));
        QApplication::sendEvent(&window, &overButton);
        menuOverButton = QApplication::activePopupWidget() != nullptr;
        toolkit.EndDialog(window, 0);
    };
    toolkit.RunModal(handler, IDD_DEVICELIST, nullptr);
    EXPECT_EQ(handler.Count("sys 16"), 2);
    EXPECT_EQ(menuTexts, QStringList{QStringLiteral("&About Pemblor...")});
    EXPECT_FALSE(menuOverButton);
}

TEST_F(QtToolkitTest, OpenUrlGoesToTheDesktopHandler)
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "Open");
    toolkit.OpenUrl("http://198.18.0.5");
    toolkit.OpenUrl("http://");
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    ASSERT_EQ(recorder.urls.size(), 2u);
    EXPECT_EQ(recorder.urls[0], QStringLiteral("http://198.18.0.5"));
    EXPECT_EQ(recorder.urls[1], QStringLiteral("http://"));
}

TEST_F(QtToolkitTest, WaitCursorNests)
{
    toolkit.BeginWaitCursor();
    toolkit.BeginWaitCursor();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    toolkit.EndWaitCursor();
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    toolkit.EndWaitCursor();
    toolkit.EndWaitCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace pemblor

#include "QtToolkitTest.moc"
