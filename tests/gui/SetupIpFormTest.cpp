// The Setup IP dialog's form: filling and enabling, change tracking, what
// Apply sends or refuses, the change's result, and what a keyboard and a
// screen reader find.
#include "SetupIpDlgRig.h"

#include "common/SettingText.h"
#include "common/ValidateSettings.h"

#include <QAccessible>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace pemblor {
namespace {

class SetupIpDlgForm : public SetupIpDlgRig {
protected:
    // A device that reports `ip` (as it spells it) and DHCP `dhcp`, and
    // answers commands unless told not to.
    CSetupIpDlg& OpenWith(const std::string& ip = DeviceHost, const std::string& dhcp = "1",
                          bool answerCommands = true)
    {
        apsim::Quirks quirks;
        quirks.missingEntries = {"IP_ADDR", "DHCP"};
        quirks.extraEntries = {"IP_ADDR=" + ip, "DHCP=" + dhcp};
        quirks.ignoreCommands = !answerCommands;
        AddDevice(quirks);
        return Open();
    }

    Bytes Change(std::string_view user, std::string_view password, const SettingsChange& change) const
    {
        return Wire(BuildSettingsChange(MacText, user, password, change));
    }
};

// A datagram written out by hand from the layout, independent of the
// product's encoder: two signatures, the type, the MAC bytes, user name and
// password in 32 NUL-padded bytes each, the entry count, then each entry as
// a 16-bit length counting its NUL and the text with the NUL.
std::vector<std::uint8_t> HandWritten(std::uint32_t type, const std::array<std::uint8_t, 6>& mac,
                                      std::string_view user, std::string_view password,
                                      const std::vector<std::string>& entries)
{
    std::vector<std::uint8_t> out;
    const auto u32 = [&](std::uint32_t v) {
        for (int shift : {24, 16, 8, 0})
            out.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    const auto u16 = [&](std::size_t v) {
        out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v));
    };
    const auto padded = [&](std::string_view text) {
        std::vector<std::uint8_t> field(32, 0);
        std::copy(text.begin(), text.end(), field.begin());
        out.insert(out.end(), field.begin(), field.end());
    };
    u32(0xA1B2C3D4);
    u32(0xA1B2C3D4);
    u32(type);
    out.insert(out.end(), mac.begin(), mac.end());
    padded(user);
    padded(password);
    u16(entries.size());
    for (const std::string& entry : entries) {
        u16(entry.size() + 1);
        out.insert(out.end(), entry.begin(), entry.end());
        out.push_back(0);
    }
    return out;
}

TEST_F(SetupIpDlgForm, DetailReplyFillsAndEnablesTheForm)
{
    AddDevice();
    Open("10.0.0.99");
    ASSERT_FALSE(SentByTool().empty());
    EXPECT_EQ(SentByTool().front(), Wire(BuildDetailQuery(MacText)));
    ASSERT_NE(dialog->Job(), nullptr);
    EXPECT_FALSE(dialog->Job()->Running()) << "the reply ends the read and its 5-second deadline";
    EXPECT_EQ(loop.PendingDeadlines(), 0u);
    EXPECT_EQ(Shown(IpAddress), "198.18.0.20");
    EXPECT_EQ(Shown(Netmask), "255.255.255.0");
    EXPECT_EQ(Shown(Gateway), "198.18.0.254");
    EXPECT_TRUE(FormEnabled());
    for (const char* edit : {UserName, PasswordEdit}) {
        TypeText(edit, QString(31, QLatin1Char('x')));
        EXPECT_EQ(Find<QLineEdit>(edit)->text(), QString(30, QLatin1Char('x'))) << "refuses the 31st character";
    }
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    // The row learns the address the reply came from, whatever it showed.
    Press(Qt::Key_Escape);
    ASSERT_TRUE(Closed());
    EXPECT_EQ(finished->front().at(0).toInt(), QDialog::Rejected);
    EXPECT_EQ(dialog->DeviceAddress(), DeviceHost);
}

// Field 1 of the IP address runs from 1, of the gateway from 0; field 4 of
// all three ends at 254. What is typed outside is brought into range.
TEST_F(SetupIpDlgForm, FieldRangesOfTheThreeAddresses)
{
    OpenWith();
    struct Row {
        const char* control;
        int field;
        const char* typed;
        const char* kept;
    };
    const Row rows[] = {
        {IpAddress, 0, "0", "1"},   {IpAddress, 0, "224", "223"}, {IpAddress, 3, "255", "254"},
        {Gateway, 0, "0", "0"},     {Gateway, 0, "224", "223"},   {Gateway, 3, "255", "254"},
        {Netmask, 0, "255", "255"}, {Netmask, 3, "255", "254"},   {IpAddress, 1, "255", "255"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.control) + " " + row.typed);
        TypeField(row.control, row.field, QString::fromLatin1(row.typed));
        Find<QLineEdit>(UserName)->setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(Address(row.control)->Field(row.field)->text(), QString::fromLatin1(row.kept));
    }
}

// Whoever opens the dialog, a MAC text that names no single device gets a
// message and a closed dialog, never a query to every device.
TEST_F(SetupIpDlgForm, MacThatNamesNoDeviceClosesTheDialogWithoutSending)
{
    AddDevice();
    for (const char* mac : {"", "00:00:00:00:00:00", "00:0A:FF:10:2B", "lab"}) {
        SCOPED_TRACE(mac);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        Open(DeviceHost, mac);
        Advance(10000);
        EXPECT_EQ(MessageBox::takeShown(), QStringList{QString::fromUtf8(MsgNoDeviceMac.data(), MsgNoDeviceMac.size())});
        EXPECT_TRUE(Closed());
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->Job(), nullptr);
        EXPECT_TRUE(SentByTool().empty());
    }
}

TEST_F(SetupIpDlgForm, DhcpBoxIsEnabledOnlyWhenTheFirstFillReadOne)
{
    struct Row {
        const char *first, *later;
        bool enabled;
    };
    const Row rows[] = {{"1", "0", true}, {" 1x", "", true}, {"0", "1", false}, {"2", "1", false}, {"yes", "1", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.first);
        devices.clear();
        OpenWith(DeviceHost, row.first);
        EXPECT_EQ(Dhcp()->isChecked(), row.enabled);
        EXPECT_EQ(Dhcp()->isEnabled(), row.enabled);
        // A later fill ticks by the new value; enabling stays as the first
        // fill decided.
        dialog->SetSetting("DHCP", row.later);
        dialog->FillControls();
        EXPECT_EQ(Dhcp()->isChecked(), !row.enabled);
        EXPECT_EQ(Dhcp()->isEnabled(), row.enabled);
    }
}

// What Apply does after a series of edits tells which flags the edits left
// set: the entries sent, or the first validation message and its focus.
TEST_F(SetupIpDlgForm, EditsSetAndClearFlagsAndApplyValidatesThem)
{
    using Edit = std::function<void(SetupIpDlgForm&)>;
    struct Row {
        const char* what;
        std::string deviceIp;
        Edit edit;
        SettingsChange sent; // nothing present: a message instead
        const char* message = nullptr;
        const char* focus = nullptr;
    };
    const Row rows[] = {
        {"other octet", DeviceHost, [](SetupIpDlgForm& t) { t.TypeField(IpAddress, 3, "30"); },
         {.ipAddress = "198.18.0.30"}},
        {"old octet typed back", DeviceHost,
         [](SetupIpDlgForm& t) { t.TypeField(IpAddress, 3, "30"), t.TypeField(IpAddress, 3, "20"); }, {},
         "No change is made!"},
        {"leading zeros never match", "198.18.000.001", [](SetupIpDlgForm& t) { t.TypeField(IpAddress, 3, "1"); },
         {.ipAddress = "198.18.0.1"}},
        {"netmask back", DeviceHost,
         [](SetupIpDlgForm& t) { t.TypeField(Netmask, 3, "128"), t.TypeField(Netmask, 3, "0"); }, {},
         "No change is made!"},
        {"blank gateway", DeviceHost, [](SetupIpDlgForm& t) { t.BlankAll(Gateway); }, {.gateway = "0.0.0.0"}},
        {"DHCP unticked", DeviceHost, [](SetupIpDlgForm& t) { t.Click(t.Dhcp()); }, {.dhcp = 0}},
        {"DHCP ticked back", DeviceHost, [](SetupIpDlgForm& t) { t.Click(t.Dhcp()), t.Click(t.Dhcp()); }, {},
         "No change is made!"},
        {"blank first field", DeviceHost, [](SetupIpDlgForm& t) { t.TypeField(IpAddress, 0, {}); }, {},
         "Invalid IP Address!", IpAddress},
        {"blank IP", DeviceHost, [](SetupIpDlgForm& t) { t.BlankAll(IpAddress); }, {}, "IP Address cannot be empty!",
         IpAddress},
        {"blank netmask", DeviceHost, [](SetupIpDlgForm& t) { t.BlankAll(Netmask); }, {}, "Netmask cannot be empty!",
         Netmask},
        {"IP before netmask", DeviceHost,
         [](SetupIpDlgForm& t) { t.TypeField(Netmask, 1, "0"), t.TypeField(IpAddress, 0, {}); }, {},
         "Invalid IP Address!", IpAddress},
        {"gateway first field 0", DeviceHost, [](SetupIpDlgForm& t) { t.TypeField(Gateway, 0, "0"); }, {},
         "Invalid Gateway Address!", Gateway},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        devices.clear();
        OpenWith(row.deviceIp, "1", false);
        EXPECT_EQ(Shown(IpAddress).toStdString(), AddressToText(AddressFromText(row.deviceIp)));
        row.edit(*this);
        const std::size_t sentBefore = SentByTool().size();
        if (row.message)
            MessageBox::setNextAnswer(QMessageBox::Ok);
        Click(Apply);
        if (row.message) {
            EXPECT_EQ(MessageBox::takeShown(), QStringList{QString::fromLatin1(row.message)});
            for (const char* control : {IpAddress, Netmask, Gateway})
                EXPECT_EQ(Address(control)->hasFocus(), row.focus == control) << control;
            EXPECT_EQ(SentByTool().size(), sentBefore);
            EXPECT_TRUE(FormEnabled());
        } else {
            EXPECT_TRUE(MessageBox::takeShown().isEmpty());
            EXPECT_EQ(SentByTool().back(), Change("", "", row.sent));
            EXPECT_TRUE(FormDisabled());
        }
        dialog->Abandon();
    }
}

TEST_F(SetupIpDlgForm, EntriesGoInFixedOrderWhateverTheEditingOrder)
{
    OpenWith(DeviceHost, "1", false);
    TypeText(PasswordEdit, "secret");
    TypeField(Gateway, 3, "1");
    Click(Dhcp());
    TypeField(Netmask, 2, "254");
    TypeText(UserName, "admin");
    TypeField(IpAddress, 3, "30");
    Click(Apply);

    // The device MAC 00:0A:FF:10:2B:C4; entries in the fixed order address,
    // netmask, gateway, DHCP.
    EXPECT_EQ(SentByTool().back(),
              HandWritten(2, {0x00, 0x0A, 0xFF, 0x10, 0x2B, 0xC4}, "admin", "secret",
                          {"flash set IP_ADDR 198.18.0.30", "flash set SUBNET_MASK 255.255.254.0",
                           "flash set DEFAULT_GATEWAY 198.18.0.1", "flash set DHCP 0"}));
    EXPECT_EQ(dialog->Job()->Step(), JobStep::Change);
    EXPECT_TRUE(FormDisabled());
    EXPECT_EQ(loop.PendingDeadlines(), 2u) << "the result's 10 s and the poll";
}

// A value accepted before a later check fails is stored all the same: typing
// the device's old value back then no longer clears the flag.
TEST_F(SetupIpDlgForm, ValueAcceptedBeforeAFailureStaysStored)
{
    OpenWith(DeviceHost, "1", false);
    TypeField(IpAddress, 3, "30");
    TypeField(Netmask, 1, "0"); // 255.0.255.0
    MessageBox::setNextAnswer(QMessageBox::Ok);
    Click(Apply);
    EXPECT_EQ(MessageBox::takeShown(), QStringList{QStringLiteral("Invalid Netmask!")});
    EXPECT_TRUE(Address(Netmask)->hasFocus());

    TypeField(IpAddress, 3, "20");
    TypeField(Netmask, 1, "255"); // as the device reported it: flag cleared
    Click(Apply);
    EXPECT_EQ(SentByTool().back(), Change("", "", {.ipAddress = "198.18.0.20"}));
}

// Each credential travels in a 32-byte header field. Typed text that fits
// (counted in UTF-8 bytes) goes out byte for byte; longer text is refused at
// Apply, naming the field, and nothing is sent.
TEST_F(SetupIpDlgForm, CredentialsLongerThanTheHeaderHoldsAreRefusedAtApply)
{
    const auto times = [](const QString& piece, int n) { return piece.repeated(n); };
    const QString ascii30(30, QLatin1Char('a'));
    struct Row {
        const char* what;
        QString typedUser, typedPassword;
        QString sentUser, sentPassword; // when sent
        std::string_view message = {};
        const char* focus = nullptr;
    };
    const QString ae = QString(QChar(0xE4));
    const QString pa = QString(QChar(0x30D1));
    const Row rows[] = {
        {"30 ASCII characters", ascii30, "pw", ascii30, "pw"},
        {"a 31st character is refused by the edit", ascii30 + "b", "pw", ascii30, "pw"},
        {"15 two-byte characters: 30 bytes", "admin", times(ae, 15), "admin", times(ae, 15)},
        {"16 two-byte characters: 32 bytes", times(ae, 16), "pw", "", "", MsgUserNameTooLong, UserName},
        {"one byte over", "m" + QString(QChar(0xFC)) + "ller" + QString(24, QLatin1Char('x')), "pw", "", "",
         MsgUserNameTooLong, UserName},
        {"11 three-byte characters: 33 bytes", "admin", times(pa, 11), "", "", MsgPasswordTooLong, PasswordEdit},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        devices.clear();
        OpenWith(DeviceHost, "1", false);
        TypeText(UserName, row.typedUser);
        TypeText(PasswordEdit, row.typedPassword);
        TypeField(IpAddress, 3, "30");
        const std::size_t sentBefore = SentByTool().size();
        if (!row.message.empty())
            MessageBox::setNextAnswer(QMessageBox::Ok);
        Click(Apply);
        if (!row.message.empty()) {
            EXPECT_EQ(MessageBox::takeShown(), QStringList{QString::fromUtf8(row.message.data(), row.message.size())});
            EXPECT_TRUE(Find<QLineEdit>(row.focus)->hasFocus());
            EXPECT_EQ(SentByTool().size(), sentBefore);
            EXPECT_TRUE(FormEnabled());
        } else {
            EXPECT_TRUE(MessageBox::takeShown().isEmpty());
            EXPECT_EQ(SentByTool().back(), Change(row.sentUser.toStdString(), row.sentPassword.toStdString(),
                                                  {.ipAddress = "198.18.0.30"}));
        }
        dialog->Abandon();
    }
}

TEST_F(SetupIpDlgForm, AuthenticationErrorRefillsWithTheEnteredValues)
{
    OpenWith();
    TypeText(UserName, "admin");
    TypeText(PasswordEdit, "wrong");
    TypeField(IpAddress, 3, "30");
    MessageBox::setNextAnswer(QMessageBox::Ok);
    Click(Apply);
    Advance(999);
    EXPECT_TRUE(MessageBox::takeShown().isEmpty()) << "acted on at the first poll tick";
    EXPECT_TRUE(FormDisabled());
    Advance(1);

    EXPECT_EQ(MessageBox::takeShown(), QStringList{QStringLiteral("Authentication Error!")});
    EXPECT_TRUE(FormEnabled());
    EXPECT_EQ(Shown(IpAddress), "198.18.0.30");
    EXPECT_EQ(loop.PendingDeadlines(), 0u) << "the poll has ended";

    // The flags describe the last attempt: other credentials, same change.
    TypeText(PasswordEdit, "2");
    Click(Apply);
    EXPECT_EQ(SentByTool().back(), Change("admin", "wrong2", {.ipAddress = "198.18.0.30"}));
}

// Only a command reply (type 3) from the device ends the wait: a query reply
// of the device, or another device's result, is ignored, and without the
// device's answer the wait ends in "Time Out!" with the form given back.
TEST_F(SetupIpDlgForm, RepliesOtherThanTheDevicesResultDoNotEndTheWait)
{
    OpenWith(DeviceHost, "1", false);
    TypeField(IpAddress, 3, "30");
    Click(Apply);
    Inject(DeviceHost, EncodeDatagram(TypeQueryReply, ParseMacText(MacText), "", "", {"IP_ADDR=198.18.0.30"}));
    Inject("198.18.0.11",
           EncodeDatagram(TypeCommandReply, {0x02, 0, 0, 0, 0, 0x02}, "", "", {std::string(1, '\0')}));
    Advance(3000);
    EXPECT_EQ(dialog->Job()->Step(), JobStep::Change);
    EXPECT_EQ(loop.PendingDeadlines(), 2u) << "the poll goes on";
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_TRUE(FormDisabled());

    MessageBox::setNextAnswer(QMessageBox::Ok);
    Advance(7000);
    EXPECT_EQ(MessageBox::takeShown(), QStringList{QStringLiteral("Time Out!")});
    EXPECT_FALSE(dialog->Job()->Running());
    EXPECT_TRUE(FormEnabled());
}

// A result other than 0 and 1, or a command reply too short to hold one
// (read as -1), is reported with its code at the first poll tick after it
// arrives, and the form comes back as after "Authentication Error!".
TEST_F(SetupIpDlgForm, UnknownOrShortResultIsReportedAndTheFormComesBack)
{
    struct Row {
        const char* what;
        int result; // negative: a reply without a result byte
        const char* message;
    };
    const Row rows[] = {
        {"result 2", 2, "The device answered with an unknown result (2)."},
        {"result 127", 127, "The device answered with an unknown result (127)."},
        {"result byte FF", 0xFF, "The device answered with an unknown result (-1)."},
        {"reply without a result byte", -1, "The device answered with an unknown result (-1)."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        devices.clear();
        OpenWith(DeviceHost, "1", false);
        TypeText(UserName, "admin");
        TypeField(IpAddress, 3, "30");
        Click(Apply);
        if (row.result < 0)
            Inject(DeviceHost, EncodeDatagram(TypeCommandReply, ParseMacText(MacText), "", "",
                                              std::span<const std::string_view>{}));
        else
            InjectResult(row.result);
        Advance(999);
        EXPECT_TRUE(MessageBox::takeShown().isEmpty());
        EXPECT_TRUE(FormDisabled());
        MessageBox::setNextAnswer(QMessageBox::Ok);
        Advance(1);

        EXPECT_EQ(MessageBox::takeShown(), QStringList{QString::fromLatin1(row.message)});
        EXPECT_TRUE(FormEnabled());
        EXPECT_EQ(Shown(IpAddress), "198.18.0.30");
        EXPECT_EQ(loop.PendingDeadlines(), 0u);
        // The same change can go again.
        Click(Apply);
        EXPECT_EQ(SentByTool().back(), Change("admin", "", {.ipAddress = "198.18.0.30"}));
        dialog->Abandon();
    }
}

TEST_F(SetupIpDlgForm, NoResultWithinTenSecondsIsATimeOut)
{
    OpenWith(DeviceHost, "1", false);
    TypeField(IpAddress, 3, "30");
    Click(Apply);
    Advance(9999);
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_TRUE(FormDisabled());
    MessageBox::setNextAnswer(QMessageBox::Ok);
    Advance(1);
    EXPECT_EQ(MessageBox::takeShown(), QStringList{QStringLiteral("Time Out!")});
    EXPECT_TRUE(FormEnabled());
    EXPECT_EQ(Shown(IpAddress), "198.18.0.30");
    Advance(1000);
    EXPECT_EQ(loop.PendingDeadlines(), 0u);
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
}

// Tab walks the form in its order, from the DHCP box to Close. Return in an
// edit or an address field presses Apply, after the field is brought into
// range, and Return on each box that follows presses its default button: OK
// to the reboot question, OK to its note. The boxes are the dialog's own,
// captioned with the program's name: the messages with OK and no icon, the
// question with OK, Cancel and the question icon.
TEST_F(SetupIpDlgForm, TabOrderAndReturnToApplyAndToEachBox)
{
    OpenWith();
    Dhcp()->setFocus(Qt::TabFocusReason);
    const std::vector<QWidget*> order{Dhcp(),
                                      Address(IpAddress)->Field(0),
                                      Address(Netmask)->Field(0),
                                      Address(Gateway)->Field(0),
                                      Find<QLineEdit>(UserName),
                                      Find<QLineEdit>(PasswordEdit),
                                      Find<QPushButton>(Apply),
                                      Find<QPushButton>(Close),
                                      Dhcp()};
    for (std::size_t i = 1; i < order.size(); ++i) {
        Press(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << "Tab " << i;
    }
    for (std::size_t i = order.size() - 1; i-- > 0;) {
        Press(Qt::Key_Backtab);
        EXPECT_EQ(QApplication::focusWidget(), order[i]) << "Shift+Tab to " << i;
    }

    struct Seen {
        QWidget* parent;
        QString caption, text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    std::vector<Seen> seen;
    AnswerBoxesYourself();
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.push_back({box->parentWidget(), box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    user.start(10);

    TypeText(UserName, QString::fromLatin1(User));
    TypeText(PasswordEdit, QString::fromLatin1(Password));
    Press(Qt::Key_Return);
    EXPECT_EQ(SentByTool().size(), 1u) << "nothing changed, nothing sent";
    TypeField(IpAddress, 0, "0");
    Press(Qt::Key_Return);
    EXPECT_EQ(SentByTool().back(), Change(User, Password, {.ipAddress = "1.18.0.20"}));
    Advance(1000);
    EXPECT_EQ(Count(BuildRebootRequest(MacText, User, Password)), 1);

    const QString caption = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    const QMessageBox::StandardButtons ok = QMessageBox::Ok;
    const std::vector<std::tuple<QString, QMessageBox::Icon, QMessageBox::StandardButtons>> expected{
        {QStringLiteral("No change is made!"), QMessageBox::NoIcon, ok},
        {QStringLiteral("Change setting successfully!\n\nDo you want to reboot the target to take effect immediately?"),
         QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel},
        {QStringLiteral("It may take about one minute to reboot the target."), QMessageBox::NoIcon, ok},
    };
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const auto& [text, icon, buttons] = expected[i];
        EXPECT_EQ(seen[i].text, text);
        EXPECT_EQ(seen[i].parent, dialog.get()) << i;
        EXPECT_EQ(seen[i].caption, caption) << i;
        EXPECT_EQ(seen[i].icon, icon) << i;
        EXPECT_EQ(seen[i].buttons, buttons) << i;
    }
    EXPECT_TRUE(dialog->Restarting());
    dialog->Abandon();
}

// What a screen reader finds: the dialog's name and description, every
// control that takes input named, the device line as text, and no text made
// of a dot.
TEST_F(SetupIpDlgForm, AccessibilityTreeNamesEveryControl)
{
    OpenWith();
    using Named = std::set<std::pair<QAccessible::Role, std::string>>;
    Named controls;
    std::set<std::string> texts;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        switch (node->role()) {
        case QAccessible::PushButton:
        case QAccessible::CheckBox:
        case QAccessible::EditableText:
            controls.emplace(node->role(), node->text(QAccessible::Name).toStdString());
            break;
        case QAccessible::StaticText:
            texts.insert(node->text(QAccessible::Name).toStdString());
            break;
        default:
            break;
        }
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    QAccessibleInterface* top = QAccessible::queryAccessibleInterface(dialog.get());
    walk(top);

    Named expected{
        {QAccessible::PushButton, "Apply Changes"},     {QAccessible::PushButton, "Close"},
        {QAccessible::CheckBox, "DHCP Client Enabled"}, {QAccessible::EditableText, "User Name"},
        {QAccessible::EditableText, "Password"},
    };
    for (const char* label : {"IP Address", "Netmask", "Default Gateway"}) {
        for (int i = 1; i <= 4; ++i)
            expected.emplace(QAccessible::EditableText, std::string(label) + ", field " + std::to_string(i) + " of 4");
    }
    EXPECT_EQ(controls, expected);
    const std::string line = "lab \u00B7 " + std::string(MacText) + " \u00B7 eth0";
    EXPECT_EQ(top->text(QAccessible::Name).toStdString(), "Setup IP Address");
    EXPECT_EQ(top->text(QAccessible::Description).toStdString(), line);
    EXPECT_EQ(texts.count(line), 1u);
    EXPECT_EQ(texts.count("."), 0u);
    EXPECT_EQ(texts.count("IP Address: "), 1u);
    EXPECT_EQ(dialog->objectName(), QStringLiteral("CSetupIpDlg"));
}

// An address control keeps its natural width beside the longer edits.
TEST_F(SetupIpDlgForm, AddressControlsKeepTheirNaturalWidth)
{
    OpenWith();
    const int character = Address(IpAddress)->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (const char* name : {IpAddress, Netmask, Gateway}) {
        QtIpAddressCtrl* control = Address(name);
        EXPECT_EQ(control->width(), control->sizeHint().width()) << name;
        EXPECT_GE(control->width(), 15 * character) << name;
        EXPECT_LE(control->width(), 20 * character) << name;
    }
}

} // namespace
} // namespace pemblor
