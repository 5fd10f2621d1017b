// The address control by itself, in a form of three labelled controls
// between a check box and an edit, with a default button: typing, ranges,
// pasting, keys, one tab stop, and what a screen reader finds.
#include "gui/QtIpAddressCtrl.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>
#include <utility>

// Readable failure messages; found by argument-dependent lookup.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace pemblor {
namespace {

constexpr std::uint32_t kFilled = 0x0A000001u; // 10.0.0.1

QString RangeNotice(int entered, int low, int high)
{
    return QStringLiteral("%1 is not a valid entry. Please specify a value between %2 and %3.")
        .arg(entered)
        .arg(low)
        .arg(high);
}

enum Id { IDC_IP_ADDRESS, IDC_IP_NETMASK, IDC_IP_GATEWAY };

class QtIpAddressCtrlTest : public ::testing::Test {
protected:
    QtIpAddressCtrlTest()
    {
        auto* form = new QFormLayout(&window);
        dhcp = new QCheckBox(QStringLiteral("DHCP Client Enabled"), &window);
        form->addRow(dhcp);
        const char* labels[3]{"IP Address: ", "Netmask: ", "Default Gateway: "};
        const FieldRanges* ranges[3]{&IpAddressFields, &NetmaskFields, &GatewayFields};
        for (int c = 0; c < 3; ++c) {
            auto* label = new QLabel(QString::fromLatin1(labels[c]), &window);
            auto* target = new QtIpAddressCtrl(&window);
            label->setBuddy(target);
            form->addRow(label, target);
            target->SetFieldRanges(*ranges[c]);
            QObject::connect(target, &QtIpAddressCtrl::FieldChanged, target,
                             [this, target, c] { seen[c] << Fields(target); });
            controls[c] = target;
        }
        user = new QLineEdit(&window);
        form->addRow(QStringLiteral("User Name:"), user);
        apply = new QPushButton(QStringLiteral("Apply"), &window);
        apply->setDefault(true);
        form->addRow(apply);
        control = controls[IDC_IP_ADDRESS];
    }
    void SetUp() override
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QtIpAddressCtrl* Control(int id) { return controls[id]; }
    // Empties every field; SetAddress first hides a notice left from the
    // case before and forgets an automatic move to the next field.
    static void Clear(QtIpAddressCtrl* c)
    {
        c->SetAddress(0);
        for (int i = 0; i < 4; ++i)
            c->Field(i)->clear();
    }
    static QString Fields(const QtIpAddressCtrl* c)
    {
        QStringList texts;
        for (int i = 0; i < 4; ++i)
            texts << c->Field(i)->text();
        return texts.join(QLatin1Char('|'));
    }
    // Keys as a person types them: each one goes to whichever widget has
    // the focus at that moment.
    static void Type(const QString& keys) { QTest::keyClicks(static_cast<QWidget*>(nullptr), keys); }
    static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
    }
    // A click through the window, so it lands on whatever is on top there.
    void ClickAt(const QWidget* target, QPoint local, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(window.windowHandle(), button, Qt::NoModifier, target->mapTo(&window, local));
    }
    static int FocusedField(const QtIpAddressCtrl* c)
    {
        for (int i = 0; i < 4; ++i)
            if (c->Field(i)->hasFocus())
                return i;
        return -1;
    }
    // Tab from the tab stop before the control.
    void TabInto(int id)
    {
        QWidget* before = id == IDC_IP_ADDRESS ? static_cast<QWidget*>(dhcp) : Control(id - 1);
        before->setFocus(Qt::OtherFocusReason);
        Press(Qt::Key_Tab);
    }
    // Keys typed into control `id` and what it then holds (its fields
    // "a|b|c|d", or the one field typed into), with the range notice it
    // shows (empty: none).
    struct Typed {
        int id;
        const char* typed;
        const char* kept;
        QString notice;
    };

    // The control changed, and the last notification saw it as it is now.
    void ExpectNotified(int id, const std::string& what)
    {
        ASSERT_FALSE(seen[id].isEmpty()) << what;
        EXPECT_EQ(seen[id].back(), Fields(Control(id))) << what;
    }

    static constexpr int kIds[3]{IDC_IP_ADDRESS, IDC_IP_NETMASK, IDC_IP_GATEWAY};
    QDialog window;
    QCheckBox* dhcp = nullptr;
    QtIpAddressCtrl* controls[3]{};
    QLineEdit* user = nullptr;
    QPushButton* apply = nullptr;
    QtIpAddressCtrl* control = nullptr;
    std::map<int, QStringList> seen; // the fields at each FieldChanged
};

TEST_F(QtIpAddressCtrlTest, BlankFieldsValueOrderAndNoNotificationFromCode)
{
    QSignalSpy changed(control, &QtIpAddressCtrl::FieldChanged);
    std::uint32_t value = 1;
    EXPECT_TRUE(control->IsBlank());
    EXPECT_EQ(control->GetAddress(value), 0);
    EXPECT_EQ(value, 0u);

    control->SetAddress(0xC0A8010Au);
    EXPECT_EQ(Fields(control), QStringLiteral("192|168|1|10"));
    EXPECT_EQ(control->GetAddress(value), 4);
    EXPECT_EQ(value, 0xC0A8010Au);
    control->SetAddress(0);
    EXPECT_EQ(Fields(control), QStringLiteral("0|0|0|0"));
    EXPECT_FALSE(control->IsBlank());

    control->Field(1)->clear();
    control->Field(3)->clear();
    control->Field(0)->setText(QStringLiteral("10"));
    EXPECT_EQ(control->GetAddress(value), 2);
    EXPECT_EQ(value, 0x0A000000u);
    Clear(control);
    EXPECT_TRUE(control->IsBlank());
    EXPECT_EQ(changed.count(), 0);
}

// A click at the left or right end of a field, on each field of each
// control, puts the caret there: the next digit goes in at that spot.
TEST_F(QtIpAddressCtrlTest, ClickPutsTheCaretInTheClickedFieldWhereClicked)
{
    QSignalSpy changed(control, &QtIpAddressCtrl::FieldChanged);
    for (const int id : kIds) {
        QtIpAddressCtrl* target = Control(id);
        for (int field = 0; field < 4; ++field) {
            for (const bool left : {true, false}) {
                const std::string what = std::to_string(id) + " field " + std::to_string(field) +
                                          (left ? " left" : " right");
                target->SetAddress(0x01020304u);
                user->setFocus(Qt::OtherFocusReason);
                const QLineEdit* edit = target->Field(field);
                ClickAt(edit, QPoint(left ? 1 : edit->width() - 2, edit->height() / 2));
                EXPECT_EQ(FocusedField(target), field) << what;
                Type(QStringLiteral("5"));
                QStringList expected{"1", "2", "3", "4"};
                expected[field] = left ? "5" + expected[field] : expected[field] + "5";
                EXPECT_EQ(Fields(target), expected.join(QLatin1Char('|'))) << what;
                ExpectNotified(id, what);
            }
        }
    }
    EXPECT_EQ(changed.count(), 8);
}

// Whole addresses typed after tabbing into an empty or a filled control.
TEST_F(QtIpAddressCtrlTest, TypedAddressIsTheAddressKept)
{
    const std::pair<bool, Typed> cases[]{
        {false, {IDC_IP_ADDRESS, "198.18.200.77", "198|18|200|77", {}}},
        {true, {IDC_IP_ADDRESS, "198.18.200.77", "198|18|200|77", {}}},
        {true, {IDC_IP_ADDRESS, "192.168.1.10", "192|168|1|10", {}}},
        {false, {IDC_IP_ADDRESS, "1..2.3.4", "1|2|3|4", {}}},
        {true, {IDC_IP_ADDRESS, "1.2.3", "1|2|3|1", {}}},
        {false, {IDC_IP_ADDRESS, "192.168.001.010", "192|168|1|010", {}}},
        {true, {IDC_IP_ADDRESS, "300.1.2.3", "223|1|2|3", RangeNotice(300, 1, 223)}},
        {true, {IDC_IP_ADDRESS, "0.1.2.3", "1|1|2|3", RangeNotice(0, 1, 223)}},
        {true, {IDC_IP_NETMASK, "255255255255", "255|255|255|254", RangeNotice(255, 0, 254)}},
        {false, {IDC_IP_NETMASK, "255.255.0.0", "255|255|0|0", {}}},
        {true, {IDC_IP_GATEWAY, "0.0.0.0", "0|0|0|0", {}}},
        {false, {IDC_IP_GATEWAY, "198.18.0.1", "198|18|0|1", {}}},
    };
    for (const auto& [filled, c] : cases) {
        QtIpAddressCtrl* target = Control(c.id);
        if (filled)
            target->SetAddress(kFilled);
        else
            Clear(target);
        seen.clear();
        TabInto(c.id);
        ASSERT_EQ(FocusedField(target), 0) << c.typed;
        EXPECT_EQ(target->Field(0)->selectedText(), target->Field(0)->text()) << c.typed;
        Type(QString::fromLatin1(c.typed));
        EXPECT_EQ(Fields(target), QString::fromLatin1(c.kept)) << c.id << " " << c.typed;
        EXPECT_EQ(target->Notice(), c.notice) << c.typed;
        ExpectNotified(c.id, c.typed);
    }
}

// What typing into one field and leaving it keeps, per range, and what the
// user is told about it.
TEST_F(QtIpAddressCtrlTest, OutOfRangeValueIsClampedAndTheUserTold)
{
    const std::pair<int, Typed> cases[]{
        {0, {IDC_IP_ADDRESS, "300", "223", RangeNotice(300, 1, 223)}},
        {0, {IDC_IP_ADDRESS, "0", "1", RangeNotice(0, 1, 223)}},
        {0, {IDC_IP_ADDRESS, "224", "223", RangeNotice(224, 1, 223)}},
        {3, {IDC_IP_ADDRESS, "255", "254", RangeNotice(255, 0, 254)}},
        {1, {IDC_IP_ADDRESS, "255", "255", {}}},
        {0, {IDC_IP_GATEWAY, "0", "0", {}}},
        {0, {IDC_IP_GATEWAY, "999", "223", RangeNotice(999, 0, 223)}},
        {0, {IDC_IP_NETMASK, "255", "255", {}}},
        {3, {IDC_IP_NETMASK, "255", "254", RangeNotice(255, 0, 254)}},
        {2, {IDC_IP_ADDRESS, "007", "7", {}}},
        {1, {IDC_IP_ADDRESS, "a1b", "1", {}}},
    };
    for (const auto& [field, c] : cases) {
        QtIpAddressCtrl* target = Control(c.id);
        Clear(target);
        seen.clear();
        target->FocusField(field, true);
        Type(QString::fromLatin1(c.typed));
        user->setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(target->Field(field)->text(), QString::fromLatin1(c.kept)) << c.id << " " << c.typed;
        EXPECT_EQ(target->Notice(), c.notice) << c.id << " " << c.typed;
        ExpectNotified(c.id, c.typed);
    }

    // Enter presses the dialog's default button, which reads the value: it
    // is in range by then.
    QStringList read;
    QObject::connect(apply, &QPushButton::clicked, control, [&] { read << Fields(control); });
    Clear(control);
    control->FocusField(0, true);
    Type(QStringLiteral("0"));
    Press(Qt::Key_Return);
    EXPECT_EQ(read, QStringList{QStringLiteral("1|||")});
    EXPECT_EQ(control->Notice(), RangeNotice(0, 1, 223));
}

// Ctrl+V and Shift+Insert on a field of 10.0.0.1 in the IP address control.
TEST_F(QtIpAddressCtrlTest, PastedAddressFillsAllFieldsAndOtherTextChangesNothing)
{
    struct Case {
        Qt::KeyboardModifiers modifiers;
        Qt::Key key;
        QString pasted;
        int field;
        const char* kept;
        QString notice;
    };
    const auto ctrl = Qt::ControlModifier;
    const auto shift = Qt::ShiftModifier;
    const Case cases[]{
        {ctrl, Qt::Key_V, "198.18.200.77", 0, "198|18|200|77", {}},
        {shift, Qt::Key_Insert, " 198.18.0.5\n", 2, "198|18|0|5", {}},
        {ctrl, Qt::Key_V, "0.1.2.255", 1, "1|1|2|254", RangeNotice(0, 1, 223)},
        {ctrl, Qt::Key_V, "7", 2, "10|0|7|1", {}},
        {ctrl, Qt::Key_V, "hello", 0, "10|0|0|1", {}},
        {ctrl, Qt::Key_V, "1.2.3", 0, "10|0|0|1", {}},
        {ctrl, Qt::Key_V, "1.2.3.4.5", 0, "10|0|0|1", {}},
        {ctrl, Qt::Key_V, "256.1.1.1", 0, "10|0|0|1", {}},
        {ctrl, Qt::Key_V, "1.2.3.4/24", 0, "10|0|0|1", {}},
        {ctrl, Qt::Key_V, "1.2..4", 0, "10|0|0|1", {}},
        {ctrl, Qt::Key_V, "-1.2.3.4", 0, "10|0|0|1", {}},
        {ctrl, Qt::Key_V, QString::fromUtf8("\u0661.\u0662.\u0663.\u0664"), 0, "10|0|0|1", {}},
        {shift, Qt::Key_Insert, "", 3, "10|0|0|1", {}},
    };
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const Case& c : cases) {
        control->SetAddress(kFilled);
        seen.clear();
        clipboard->setText(c.pasted, QClipboard::Clipboard);
        control->FocusField(c.field, true);
        Press(c.key, c.modifiers);
        const std::string what = c.pasted.toStdString();
        EXPECT_EQ(Fields(control), QString::fromLatin1(c.kept)) << what;
        EXPECT_EQ(control->Notice(), c.notice) << what;
        if (Fields(control) == QStringLiteral("10|0|0|1"))
            EXPECT_TRUE(seen[IDC_IP_ADDRESS].isEmpty()) << what;
        else
            ExpectNotified(IDC_IP_ADDRESS, what);
    }
}

TEST_F(QtIpAddressCtrlTest, MiddleClickPastesTheSelection)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection())
        GTEST_SKIP() << "this platform has no selection clipboard (run under X11 for it)";
    const struct {
        const char* selected;
        int field;
        const char* kept;
    } cases[]{
        {"198.18.200.77", 3, "198|18|200|77"},
        {"hello", 0, "10|0|0|1"},
        {"1.2.3", 1, "10|0|0|1"},
    };
    for (const auto& c : cases) {
        control->SetAddress(kFilled);
        seen.clear();
        user->setFocus(Qt::OtherFocusReason);
        clipboard->setText(QString::fromLatin1(c.selected), QClipboard::Selection);
        ClickAt(control->Field(c.field), control->Field(c.field)->rect().center(), Qt::MiddleButton);
        EXPECT_EQ(Fields(control), QString::fromLatin1(c.kept)) << c.selected;
        EXPECT_EQ(FocusedField(control) >= 0, true) << c.selected;
        if (Fields(control) != QStringLiteral("10|0|0|1"))
            ExpectNotified(IDC_IP_ADDRESS, c.selected);
        else
            EXPECT_TRUE(seen[IDC_IP_ADDRESS].isEmpty()) << c.selected;
    }
}

// Keys that move or delete, from a caret position in 192.168.100.200; -1
// stands for the whole field selected.
TEST_F(QtIpAddressCtrlTest, NavigationKeysCrossFieldEdges)
{
    const char* const start = "192|168|100|200";
    struct Case {
        int field;
        int caret;
        Qt::Key key;
        int toField;
        int toCaret;
        const char* kept;
    };
    const Case cases[]{
        {1, 0, Qt::Key_Left, 0, 3, start},
        {1, 1, Qt::Key_Left, 1, 0, start},
        {0, 0, Qt::Key_Left, 0, 0, start},
        {1, 3, Qt::Key_Right, 2, 0, start},
        {1, 2, Qt::Key_Right, 1, 3, start},
        {3, 3, Qt::Key_Right, 3, 3, start},
        {2, 1, Qt::Key_Home, 0, 0, start},
        {1, 1, Qt::Key_End, 3, 3, start},
        {2, 0, Qt::Key_Backspace, 1, 3, start},
        {0, 0, Qt::Key_Backspace, 0, 0, start},
        {2, 3, Qt::Key_Backspace, 2, 2, "192|168|10|200"},
        {1, -1, Qt::Key_Backspace, 1, 0, "192||100|200"},
        {2, 0, Qt::Key_Delete, 2, 0, "192|168|00|200"},
        {1, -1, Qt::Key_Delete, 1, 0, "192||100|200"},
        {3, 3, Qt::Key_Delete, 3, 3, start},
    };
    for (const Case& c : cases) {
        control->SetAddress(0xC0A864C8u);
        seen.clear();
        control->FocusField(c.field, c.caret < 0);
        if (c.caret >= 0)
            control->Field(c.field)->setCursorPosition(c.caret);
        Press(c.key);
        const std::string what = std::to_string(c.field) + ":" + std::to_string(c.caret) + " key " +
                                 QKeySequence(c.key).toString().toStdString();
        EXPECT_EQ(FocusedField(control), c.toField) << what;
        EXPECT_EQ(control->Field(c.toField)->cursorPosition(), c.toCaret) << what;
        EXPECT_EQ(Fields(control), QString::fromLatin1(c.kept)) << what;
        if (c.kept != start)
            ExpectNotified(IDC_IP_ADDRESS, what);
    }
}

// One tab stop: Tab enters at the first field, all of it selected, and Tab or
// Shift+Tab leave the control from any field.
TEST_F(QtIpAddressCtrlTest, TheControlIsOneTabStop)
{
    control->SetAddress(kFilled);
    TabInto(IDC_IP_ADDRESS);
    EXPECT_EQ(FocusedField(control), 0);
    EXPECT_EQ(control->Field(0)->selectedText(), QStringLiteral("10"));
    QtIpAddressCtrl* netmask = Control(IDC_IP_NETMASK);
    const struct {
        QtIpAddressCtrl* from;
        int field;
        Qt::Key key;
        QWidget* to;
    } cases[]{
        {control, 0, Qt::Key_Tab, netmask->Field(0)},
        {control, 2, Qt::Key_Tab, netmask->Field(0)},
        {control, 3, Qt::Key_Tab, netmask->Field(0)},
        {netmask, 3, Qt::Key_Backtab, control->Field(0)},
        {netmask, 0, Qt::Key_Backtab, control->Field(0)},
    };
    for (const auto& c : cases) {
        c.from->FocusField(c.field, false);
        Press(c.key);
        EXPECT_TRUE(c.to->hasFocus()) << c.field << " " << QApplication::focusWidget()->objectName().toStdString();
    }
}

// A screen reader finds each field under the label beside its control, and
// nothing else of the control: the dots between the fields are not texts of
// their own.
TEST_F(QtIpAddressCtrlTest, FieldsHaveAccessibleNamesAndTheDotsNone)
{
    std::map<QString, QObject*> named;
    int dots = 0;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (node->role() == QAccessible::EditableText)
            named[node->text(QAccessible::Name)] = node->object();
        if (node->text(QAccessible::Name).trimmed() == QStringLiteral("."))
            ++dots;
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(&window));
    EXPECT_EQ(dots, 0);
    const std::pair<int, const char*> labels[]{
        {IDC_IP_ADDRESS, "IP Address"}, {IDC_IP_NETMASK, "Netmask"}, {IDC_IP_GATEWAY, "Default Gateway"}};
    for (const auto& [id, label] : labels) {
        EXPECT_EQ(QAccessible::queryAccessibleInterface(Control(id))->childCount(), 4) << label;
        for (int field = 0; field < 4; ++field) {
            const QString name = QStringLiteral("%1, field %2 of 4").arg(QLatin1String(label)).arg(field + 1);
            const auto found = named.find(name);
            ASSERT_NE(found, named.end()) << name.toStdString();
            EXPECT_EQ(found->second, Control(id)->Field(field)) << name.toStdString();
        }
    }
}

// The control keeps the width that "255.255.255.255" needs with room for a
// caret in each field, about sixteen characters, however wide the form; a
// larger font widens it.
TEST_F(QtIpAddressCtrlTest, KeepsItsNaturalWidth)
{
    user->setMinimumWidth(60 * user->fontMetrics().horizontalAdvance(QLatin1Char('0')));
    QCoreApplication::processEvents();
    for (const int id : kIds) {
        const QtIpAddressCtrl* target = Control(id);
        const int digit = target->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        EXPECT_EQ(target->width(), target->sizeHint().width()) << id;
        EXPECT_GE(target->width(), 15 * digit) << id;
        EXPECT_LE(target->width(), 20 * digit) << id;
        for (int field = 0; field < 4; ++field) {
            const QLineEdit* edit = target->Field(field);
            EXPECT_GE(edit->width(), edit->fontMetrics().horizontalAdvance(QStringLiteral("255"))) << id;
        }
    }
    const int before = control->sizeHint().width();
    QFont larger = control->font();
    larger.setPointSizeF(larger.pointSizeF() * 2);
    control->setFont(larger);
    EXPECT_GT(control->sizeHint().width(), before * 3 / 2);
}

} // namespace
} // namespace pemblor
