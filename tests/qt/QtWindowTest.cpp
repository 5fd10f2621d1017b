#include "QtTestSupport.h"

#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "toolkit/IButton.h"
#include "toolkit/ICheckBox.h"
#include "toolkit/IEdit.h"
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

class QtWindowTest : public ::testing::Test {
protected:
    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
};

// Both main layouts: every control exists, enabled as its template says;
// the main window can be resized and maximised, Setup IP keeps the size its
// controls need, and each labelled control is its label's buddy.
TEST_F(QtWindowTest, ControlsAreLaidOutByLayouts)
{
    for (int templateId : {IDD_DEVICELIST, IDD_SETUPIP}) {
        const DialogTemplate* layout = FindDialogTemplate(templateId);
        ASSERT_NE(layout, nullptr);
        QtWindow window(*layout, handler, nullptr);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_EQ(window.windowTitle(), QString::fromUtf8(layout->caption));
        EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_EQ(bool(window.windowFlags() & Qt::WindowMaximizeButtonHint), templateId == IDD_DEVICELIST);
        EXPECT_EQ(window.minimumSize() == window.maximumSize(), templateId == IDD_SETUPIP);
        for (const ControlTemplate& control : layout->controls) {
            if (control.id == IDC_STATIC)
                continue;
            const QWidget* widget = window.findChild<QWidget*>(QtWindow::ControlName(control.id));
            ASSERT_NE(widget, nullptr) << control.id;
            EXPECT_EQ(widget->isEnabled(), !control.disabled) << control.id;
            EXPECT_TRUE(window.rect().contains(widget->geometry())) << control.id;
        }
        for (const QLabel* label : window.findChildren<QLabel*>()) {
            if (label->buddy()) {
                EXPECT_TRUE(label->text().startsWith(label->buddy()->accessibleName())) << label->text().toStdString();
            }
        }
    }
}

TEST_F(QtWindowTest, DeviceListHasDiscoverAsDefault)
{
    QtWindow window(*FindDialogTemplate(IDD_DEVICELIST), handler, nullptr);
    auto* discover = window.findChild<QPushButton*>(QtWindow::ControlName(IDC_BTN_DISCOVER));
    ASSERT_NE(discover, nullptr);
    EXPECT_TRUE(discover->isDefault());
    EXPECT_EQ(discover->text(), QStringLiteral("Discover"));
    for (int id : {IDCANCEL, IDC_BTN_SETUPIP, IDC_BTN_WEBSERVER})
        EXPECT_FALSE(window.findChild<QPushButton*>(QtWindow::ControlName(id))->isDefault()) << id;
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
