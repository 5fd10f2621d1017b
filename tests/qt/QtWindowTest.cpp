#include "QtTestSupport.h"

#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "toolkit/IButton.h"
#include "toolkit/ICheckBox.h"
#include "toolkit/IEdit.h"
#include "toolkit/qt/QtDialogUnits.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace pemblor {
namespace {

TEST(QtDialogUnitsTest, MulDivRoundsHalfAwayFromZero)
{
    struct Case {
        int a, b, c, expected;
    };
    for (const Case& c : {Case{7, 7, 4, 12}, Case{6, 3, 4, 5}, Case{5, 3, 4, 4}, Case{-6, 3, 4, -5},
                          Case{134, 16, 8, 268}, Case{1, 1, 0, -1}}) {
        EXPECT_EQ(QtDialogUnits::MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
    }
}

TEST(QtDialogUnitsTest, BaseUnitsComeFromTheFont)
{
    const QFont font = QtDialogUnits::DialogFont("No Such Family Anywhere", 10);
    EXPECT_EQ(font.pointSize(), 10);
    EXPECT_EQ(font.family(), QApplication::font().family());
    const QtDialogUnits units(font);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(units.BaseX(), (width + 26) / 52);
    EXPECT_EQ(units.BaseY(), metrics.height());
    EXPECT_EQ(units.ToPixels(4, 8, 8, 16), QRect(units.BaseX(), units.BaseY(), 2 * units.BaseX(), 2 * units.BaseY()));
}

class QtWindowTest : public ::testing::Test {
protected:
    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
};

// Every control of both main layouts sits at its dialog-unit rectangle, and
// the window's client area has the template's size.
TEST_F(QtWindowTest, ControlsSitAtTheirDialogUnitRectangles)
{
    for (int templateId : {IDD_DEVICELIST, IDD_SETUPIP}) {
        const DialogTemplate* layout = FindDialogTemplate(templateId);
        ASSERT_NE(layout, nullptr);
        QtWindow window(*layout, handler, nullptr);
        const QtDialogUnits& units = window.Units();
        EXPECT_EQ(window.size(), QSize(units.ToPixelsX(layout->cx), units.ToPixelsY(layout->cy)));
        EXPECT_EQ(window.windowTitle(), QString::fromUtf8(layout->caption));
        EXPECT_FALSE(window.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(window.minimumSize(), window.maximumSize());
        for (const ControlTemplate& control : layout->controls) {
            if (control.id == IDC_STATIC)
                continue;
            const QWidget* widget = window.findChild<QWidget*>(QtWindow::ControlName(control.id));
            ASSERT_NE(widget, nullptr) << control.id;
            EXPECT_EQ(widget->geometry(), units.ToPixels(control.x, control.y, control.cx, control.cy)) << control.id;
            EXPECT_EQ(widget->isEnabled(), !control.disabled) << control.id;
        }
    }
}

TEST_F(QtWindowTest, DeviceListHasDiscoverAsDefaultAndTemplateTabOrder)
{
    QtWindow window(*FindDialogTemplate(IDD_DEVICELIST), handler, nullptr);
    auto* discover = window.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
    ASSERT_NE(discover, nullptr);
    EXPECT_TRUE(discover->isDefault());
    EXPECT_EQ(discover->text(), QStringLiteral("Discover"));
    for (int id : {IDCANCEL, IDC_BTN_SETUPIP, IDC_BTN_WEBSERVER})
        EXPECT_FALSE(window.findChild<QPushButton*>(QtWindow::ControlName(id))->isDefault()) << id;

    std::vector<QString> order;
    QWidget* widget = discover;
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order.push_back(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != discover && order.size() < 20);
    const std::vector<QString> expected{QStringLiteral("id1002"), QStringLiteral("id2"), QStringLiteral("id1000"),
                                        QStringLiteral("id1001"), QStringLiteral("id1010")};
    EXPECT_EQ(order, expected);
}

// Lookups return the adapter of the right kind only.
TEST_F(QtWindowTest, LookupsByIdAndKind)
{
    QtWindow window(*FindDialogTemplate(IDD_SETUPIP), handler, nullptr);
    EXPECT_NE(window.Button(IDC_BTN_APPLY), nullptr);
    EXPECT_NE(window.Button(IDCANCEL), nullptr);
    EXPECT_NE(window.IpAddress(IDC_IP_NETMASK), nullptr);
    EXPECT_NE(window.CheckBox(IDC_CHK_DHCP), nullptr);
    EXPECT_NE(window.Edit(IDC_EDIT_PASSWORD), nullptr);
    EXPECT_EQ(window.Edit(IDC_BTN_APPLY), nullptr);
    EXPECT_EQ(window.Button(IDC_CHK_DHCP), nullptr);
    EXPECT_EQ(window.List(IDC_IP_ADDRESS), nullptr);
    EXPECT_EQ(window.Button(IDC_STATIC), nullptr);
    EXPECT_EQ(window.List(IDC_LIST_DEVICES), nullptr);
    EXPECT_EQ(window.findChild<QLineEdit*>(QtWindow::ControlName(IDC_EDIT_PASSWORD))->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window.findChild<QLineEdit*>(QtWindow::ControlName(IDC_EDIT_USERNAME))->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(window.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_APPLY))->accessibleName(),
              QStringLiteral("Apply Changes"));

    auto* progress = window.findChild<QLabel*>(QtWindow::ControlName(IDC_TEXT_PROGRESS));
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->text(), QString());
    window.SetItemText(IDC_TEXT_PROGRESS, "Waiting\u2026 <b>9</b> s");
    EXPECT_EQ(progress->text(), QStringLiteral("Waiting\u2026 <b>9</b> s"));
    EXPECT_EQ(progress->textFormat(), Qt::PlainText);
    window.SetItemText(IDC_BTN_APPLY, "not a static");
    EXPECT_EQ(window.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_APPLY))->text(),
              QStringLiteral("&Apply Changes"));
}

TEST_F(QtWindowTest, EditLimitCheckBoxClickAndSetCheck)
{
    QtWindow window(*FindDialogTemplate(IDD_SETUPIP), handler, nullptr);
    window.show();
    IEdit* user = window.Edit(IDC_EDIT_USERNAME);
    user->EnableWindow(true);
    user->SetLimitText(30);
    auto* userEdit = window.findChild<QLineEdit*>(QtWindow::ControlName(IDC_EDIT_USERNAME));
    QTest::keyClicks(userEdit, QString(31, QLatin1Char('x')));
    EXPECT_EQ(user->GetWindowText(), std::string(30, 'x'));
    // The limit counts characters; the text crosses as UTF-8.
    userEdit->clear();
    for (int i = 0; i < 31; ++i)
        QTest::sendKeyEvent(QTest::Click, userEdit, Qt::Key_Adiaeresis, QString(QChar(0xE4)), Qt::NoModifier);
    EXPECT_EQ(user->GetWindowText(), QString(30, QChar(0xE4)).toStdString());
    EXPECT_EQ(user->GetWindowText().size(), 60u);
    user->SetWindowText("admin");
    EXPECT_EQ(user->GetWindowText(), "admin");

    ICheckBox* dhcp = window.CheckBox(IDC_CHK_DHCP);
    dhcp->SetCheck(1);
    EXPECT_EQ(dhcp->GetCheck(), 1);
    EXPECT_EQ(handler.Count("command 1011"), 0);
    QTest::mouseClick(window.findChild<QCheckBox*>(QtWindow::ControlName(IDC_CHK_DHCP)), Qt::LeftButton);
    EXPECT_EQ(dhcp->GetCheck(), 0);
    EXPECT_EQ(handler.Count("command 1011"), 1);
    dhcp->EnableWindow(false);
    EXPECT_FALSE(dhcp->IsWindowEnabled());
}

TEST_F(QtWindowTest, AboutIconShowsTheApplicationIcon)
{
    QtWindow window(*FindDialogTemplate(IDD_ABOUTBOX), handler, nullptr);
    bool found = false;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull()) {
            found = true;
            EXPECT_EQ(label->size(), QSize(32, 32));
        }
    }
    EXPECT_TRUE(found);
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

// Enter activates the default button while it is enabled and no other push
// button has the focus; a focused push button takes Enter itself.
TEST_F(QtWindowTest, EnterGoesToTheDefaultOrTheFocusedButton)
{
    handler.bEndOnCancel = false;
    handler.whileShown = [this](QtWindow& window) {
        auto* list = window.findChild<QWidget*>(QtWindow::ControlName(IDC_LIST_DEVICES));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Return);
        window.Button(IDC_BTN_DISCOVER)->EnableWindow(false);
        QTest::keyClick(list, Qt::Key_Return);
        auto* close = window.findChild<QPushButton*>(QtWindow::ControlName(IDCANCEL));
        close->setFocus();
        QTest::keyClick(close, Qt::Key_Return);
        toolkit.EndDialog(window, 7);
    };
    EXPECT_EQ(toolkit.RunModal(handler, IDD_DEVICELIST, nullptr), 7);
    EXPECT_EQ(handler.Count("command 1002"), 1);
    EXPECT_EQ(handler.Count("cancel"), 1);
}

} // namespace
} // namespace pemblor
