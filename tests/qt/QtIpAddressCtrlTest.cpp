#include "QtTestSupport.h"

#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"
#include "toolkit/IEdit.h"
#include "toolkit/IIpAddressCtrl.h"
#include "toolkit/qt/QtIpAddressAdapter.h"
#include "toolkit/qt/QtIpAddressCtrl.h"
#include "toolkit/qt/QtToolkit.h"
#include "toolkit/qt/QtWindow.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace pemblor {
namespace {

class QtIpAddressCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        const int ranges[3][4][2]{{{1, 223}, {0, 255}, {0, 255}, {0, 254}},
                                  {{0, 255}, {0, 255}, {0, 255}, {0, 254}},
                                  {{0, 223}, {0, 255}, {0, 255}, {0, 254}}};
        const int ids[3]{IDC_IP_ADDRESS, IDC_IP_NETMASK, IDC_IP_GATEWAY};
        for (int c = 0; c < 3; ++c) {
            IIpAddressCtrl* ip = window.IpAddress(ids[c]);
            ip->EnableWindow(true);
            for (int f = 0; f < 4; ++f)
                ip->SetFieldRange(f, ranges[c][f][0], ranges[c][f][1]);
        }
        window.Edit(IDC_EDIT_USERNAME)->EnableWindow(true);
        address = window.IpAddress(IDC_IP_ADDRESS);
        control = Control(IDC_IP_ADDRESS);
    }
    QtIpAddressCtrl* Control(int id) { return window.findChild<QtIpAddressCtrl*>(QtWindow::ControlName(id)); }
    QString Fields(const QtIpAddressCtrl* c) const
    {
        QStringList texts;
        for (int i = 0; i < 4; ++i)
            texts << c->Field(i)->text();
        return texts.join(QLatin1Char('|'));
    }
    // Types as a user does: each key goes to whichever widget has the focus.
    static void Type(const QString& keys)
    {
        for (const QChar key : keys)
            QTest::keyClick(QApplication::focusWidget(), key.toLatin1());
    }
    int FocusedField(const QtIpAddressCtrl* c) const
    {
        for (int i = 0; i < 4; ++i)
            if (c->Field(i)->hasFocus())
                return i;
        return -1;
    }

    QtToolkit toolkit;
    ScriptedHandler handler{toolkit};
    QtWindow window{*FindDialogTemplate(IDD_SETUPIP), handler, nullptr};
    IIpAddressCtrl* address = nullptr;
    QtIpAddressCtrl* control = nullptr;
};

TEST_F(QtIpAddressCtrlTest, BlankFieldsValueOrderAndNoNotificationFromCode)
{
    std::uint32_t value = 1;
    EXPECT_TRUE(address->IsBlank());
    EXPECT_EQ(address->GetAddress(value), 0);
    EXPECT_EQ(value, 0u);

    address->SetAddress(0xC0A8010Au);
    EXPECT_EQ(Fields(control), QStringLiteral("192|168|1|10"));
    EXPECT_EQ(address->GetAddress(value), 4);
    EXPECT_EQ(value, 0xC0A8010Au);
    address->SetAddress(0);
    EXPECT_EQ(Fields(control), QStringLiteral("0|0|0|0"));
    EXPECT_FALSE(address->IsBlank());

    control->Field(1)->clear();
    control->Field(3)->clear();
    control->Field(0)->setText(QStringLiteral("10"));
    EXPECT_EQ(address->GetAddress(value), 2);
    EXPECT_EQ(value, 0x0A000000u);
    address->ClearAddress();
    EXPECT_TRUE(address->IsBlank());
    EXPECT_EQ(handler.Count("notify 1004 field"), 0);
}

// What typing leaves in a field, per range: above the range becomes the high
// bound at once, below it the low bound when the field is left.
TEST_F(QtIpAddressCtrlTest, TypedValuesAreBroughtIntoTheFieldRange)
{
    struct Case {
        int id;
        int field;
        const char* typed;
        const char* kept;
    };
    const Case cases[]{
        {IDC_IP_ADDRESS, 0, "300", "223"}, {IDC_IP_ADDRESS, 0, "0", "1"},   {IDC_IP_ADDRESS, 0, "224", "223"},
        {IDC_IP_ADDRESS, 3, "255", "254"}, {IDC_IP_ADDRESS, 1, "255", "255"}, {IDC_IP_GATEWAY, 0, "0", "0"},
        {IDC_IP_GATEWAY, 0, "999", "223"}, {IDC_IP_NETMASK, 0, "255", "255"}, {IDC_IP_NETMASK, 3, "255", "254"},
        {IDC_IP_ADDRESS, 2, "007", "7"},   {IDC_IP_ADDRESS, 1, "a1b", "1"},
    };
    for (const Case& c : cases) {
        QtIpAddressCtrl* target = Control(c.id);
        target->ClearAddress();
        target->FocusField(c.field, true);
        Type(QString::fromLatin1(c.typed));
        window.SetFocus(IDC_EDIT_USERNAME);
        EXPECT_EQ(target->Field(c.field)->text(), QString::fromLatin1(c.kept)) << c.id << " " << c.typed;
    }
}

TEST_F(QtIpAddressCtrlTest, TypingNotifiesAndMovesBetweenFields)
{
    address->SetFocus();
    EXPECT_EQ(FocusedField(control), 0);
    Type(QStringLiteral("10.0.3.4"));
    std::uint32_t value = 0;
    EXPECT_EQ(address->GetAddress(value), 4);
    EXPECT_EQ(value, 0x0A000304u);
    EXPECT_GE(handler.Count("notify 1004 field"), 4);
    EXPECT_EQ(handler.Count("notify 1007 field"), 0);

    // Three digits move on; the next field is selected, so typing replaces it.
    address->SetFocus();
    Type(QStringLiteral("192168"));
    EXPECT_EQ(Fields(control), QStringLiteral("192|168|3|4"));
    EXPECT_EQ(FocusedField(control), 2);

    // '.' in an empty field stays; Backspace at the start goes back.
    control->Field(2)->clear();
    QTest::keyClick(control->Field(2), Qt::Key_Period);
    EXPECT_EQ(FocusedField(control), 2);
    QTest::keyClick(control->Field(2), Qt::Key_Backspace);
    EXPECT_EQ(FocusedField(control), 1);
    EXPECT_EQ(control->Field(1)->cursorPosition(), 3);
    QTest::keyClick(control->Field(1), Qt::Key_Backspace);
    EXPECT_EQ(control->Field(1)->text(), QStringLiteral("16"));
    QTest::keyClick(control->Field(1), Qt::Key_Right);
    EXPECT_EQ(FocusedField(control), 2);
}

// One tab stop: Tab and Shift+Tab leave the control from any field.
TEST_F(QtIpAddressCtrlTest, TabLeavesTheControlFromAnyField)
{
    QWidget* netmaskFirst = Control(IDC_IP_NETMASK)->Field(0);
    control->FocusField(2, false);
    QTest::keyClick(control->Field(2), Qt::Key_Tab);
    EXPECT_TRUE(netmaskFirst->hasFocus()) << QApplication::focusWidget()->objectName().toStdString();
    Control(IDC_IP_NETMASK)->FocusField(3, false);
    QTest::keyClick(Control(IDC_IP_NETMASK)->Field(3), Qt::Key_Backtab);
    EXPECT_TRUE(control->Field(0)->hasFocus());
}

TEST_F(QtIpAddressCtrlTest, AdapterOutlivesItsControl)
{
    QtIpAddressAdapter adapter(Control(IDC_IP_GATEWAY));
    EXPECT_TRUE(adapter.HasWindow());
    adapter.EnableWindow(false);
    EXPECT_FALSE(adapter.IsWindowEnabled());
    delete Control(IDC_IP_GATEWAY);
    EXPECT_FALSE(adapter.HasWindow());
    std::uint32_t value = 5;
    EXPECT_EQ(adapter.GetAddress(value), 0);
    EXPECT_TRUE(adapter.IsBlank());
}

} // namespace
} // namespace pemblor
