// How the Setup IP dialog sends the password: by unicast where the network
// allows, else by broadcast after its warning line or its question, never
// by broadcast while "Never broadcast the password" is ticked.
#include "SetupIpDlgRig.h"

#include <QAccessible>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace pemblor {
namespace {

constexpr const char* Outside = "192.168.1.1";
const QString Warning = QStringLiteral("The password will be sent by broadcast: every computer on eth0 can read it.");
const QString AskBroadcast = QStringLiteral("00:0A:FF:10:2B:C4 does not answer by unicast. Send the password by "
                                            "broadcast? Every computer on eth0 can read it.");

class SetupIpDlgBroadcast : public SetupIpDlgRig {
public:
    static constexpr Millis ApplyAt = 300;

    static apsim::ApSettings DeviceAt(const char* address)
    {
        apsim::ApSettings settings = Device(0);
        settings.ip = *apsim::ParseAddress(address);
        settings.gateway = (settings.ip & 0xFFFFFF00u) | 254u;
        return settings;
    }
    static apsim::Quirks BroadcastOnly()
    {
        apsim::Quirks quirks;
        quirks.broadcastOnly = true;
        return quirks;
    }

    // The dialog for the device at `address`, as the table opens it: with
    // the interface it answered on.
    void OpenAt(const std::string& address)
    {
        // As the discovery before it read them.
        ASSERT_TRUE(session->transport().RefreshInterfaces());
        const std::optional<NetworkInterface> eth0 = session->transport().InterfaceNamed("eth0");
        ASSERT_TRUE(eth0);
        Open(address, MacText, eth0->index);
    }
    // Types the credentials and the last field of the address (".30"),
    // ticks the box when asked, and applies, at `at`.
    void ApplyAt30(bool neverBroadcast, Millis at = ApplyAt)
    {
        At(at, [this, neverBroadcast] {
            TypeText(UserName, QString::fromLatin1(User));
            TypeText(PasswordEdit, QString::fromLatin1(Password));
            TypeField(IpAddress, 3, QStringLiteral("30"));
            if (neverBroadcast)
                Click("neverBroadcast");
            Click(Apply);
        });
    }

    QLabel* WarningLine() const { return Find<QLabel>("broadcastWarning"); }
    // The texts a screen reader finds in the dialog.
    std::vector<QString> ReadAloud() const
    {
        std::vector<QString> texts;
        std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            if (node->role() == QAccessible::StaticText && !node->state().invisible)
                texts.push_back(node->text(QAccessible::Name));
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(dialog.get()));
        return texts;
    }
    bool ReadsWarning() const
    {
        const std::vector<QString> texts = ReadAloud();
        return std::find(texts.begin(), texts.end(), Warning) != texts.end();
    }

    // The requests that carried the password, each with where it was sent
    // ("broadcast" or an address).
    std::vector<std::string> WithPassword(const SimAccessPoint& device) const
    {
        const std::vector<std::string> requests = device.Requests();
        const std::vector<std::string> destinations = device.Destinations();
        std::vector<std::string> sent;
        for (std::size_t i = 0; i < requests.size(); ++i)
            if (requests[i].find(std::string("/") + Password + ":") != std::string::npos)
                sent.push_back(requests[i].substr(0, 1) + " " + destinations[i]);
        return sent;
    }
    // Whether any datagram the tool sent carried the password's bytes.
    bool PasswordOnTheWire() const
    {
        const std::string password = Password;
        for (const Bytes& bytes : SentByTool())
            if (std::search(bytes.begin(), bytes.end(), password.begin(), password.end()) != bytes.end())
                return true;
        return false;
    }
};

// A device inside the tool's network: no warning, and the change and the
// reboot go by unicast to its address, with the box ticked or not.
TEST_F(SetupIpDlgBroadcast, InsideTheNetworkByUnicast)
{
    for (const bool neverBroadcast : {false, true}) {
        SCOPED_TRACE(neverBroadcast ? "never broadcast" : "default");
        devices.clear();
        SimAccessPoint& device = AddDevice({}, Device(0));
        MessageBox::setNextAnswer(QMessageBox::Ok); // the reboot question
        MessageBox::setNextAnswer(QMessageBox::Ok); // its note
        loop.Advance(0);
        const Millis start = loop.Now();
        OpenAt(DeviceHost);
        EXPECT_TRUE(WarningLine()->isHidden());
        EXPECT_FALSE(ReadsWarning());
        ApplyAt30(neverBroadcast, start + ApplyAt);
        ASSERT_TRUE(RunUntilClosed());
        EXPECT_EQ(MessageBox::takeShown(), (QStringList{RebootQuestion, RebootNote}));
        EXPECT_EQ(WithPassword(device), (std::vector<std::string>{"2 198.18.0.20", "2 198.18.0.20"}));
        ASSERT_TRUE(dialog->Reread());
        EXPECT_EQ(dialog->Reread()->ipAddr, "198.18.0.30");
    }
}

// A factory-fresh device outside the network: the warning line shows at
// once, a screen reader reads it, and the change goes by broadcast without
// a question.
TEST_F(SetupIpDlgBroadcast, OutsideTheNetworkWarnsAndBroadcasts)
{
    SimAccessPoint& device = AddDevice({}, DeviceAt(Outside));
    MessageBox::setNextAnswer(QMessageBox::Cancel); // no reboot
    OpenAt(Outside);
    Advance(100);
    ASSERT_FALSE(WarningLine()->isHidden());
    EXPECT_EQ(WarningLine()->text(), Warning);
    EXPECT_EQ(WarningLine()->accessibleName(), Warning);
    EXPECT_TRUE(ReadsWarning());
    EXPECT_FALSE(Find<QCheckBox>("neverBroadcast")->isChecked());
    ApplyAt30(false);
    ASSERT_TRUE(RunUntilClosed());
    EXPECT_EQ(MessageBox::takeShown(), QStringList{RebootQuestion});
    EXPECT_EQ(WithPassword(device), std::vector<std::string>{"2 broadcast"});
}

// An agent inside the network that hears broadcasts only: the dialog asks
// before the password leaves. Yes sends the change by broadcast; No sends
// nothing with the password and gives the form back.
TEST_F(SetupIpDlgBroadcast, NoUnicastAnswerAsksFirst)
{
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        devices.clear();
        SimAccessPoint& device = AddDevice(BroadcastOnly(), Device(0));
        MessageBox::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
        if (yes)
            MessageBox::setNextAnswer(QMessageBox::Cancel); // no reboot
        loop.Advance(0);
        const Millis start = loop.Now();
        OpenAt(DeviceHost);
        EXPECT_TRUE(WarningLine()->isHidden()) << "not known before the question";
        At(start + ApplyAt, [this] {
            TypeText(UserName, QString::fromLatin1(User));
            TypeText(PasswordEdit, QString::fromLatin1(Password));
            TypeField(IpAddress, 3, QStringLiteral("30"));
            Click(Apply);
        });
        if (yes) {
            ASSERT_TRUE(RunUntilClosed());
            EXPECT_EQ(MessageBox::takeShown(), (QStringList{AskBroadcast, RebootQuestion}));
            EXPECT_EQ(WithPassword(device), std::vector<std::string>{"2 broadcast"});
        } else {
            EXPECT_FALSE(RunUntilClosed(10000));
            EXPECT_EQ(MessageBox::takeShown(), QStringList{AskBroadcast});
            EXPECT_TRUE(WithPassword(device).empty());
            EXPECT_FALSE(PasswordOnTheWire());
            EXPECT_TRUE(FormEnabled());
            EXPECT_EQ(Shown(IpAddress), "198.18.0.30");
            dialog->Abandon();
        }
    }
}

// The reboot follows the same rule: the broadcast-only agent is asked about
// again before its reboot leaves by broadcast, and comes back verified.
TEST_F(SetupIpDlgBroadcast, TheRebootAsksAsWell)
{
    SimAccessPoint& device = AddDevice(BroadcastOnly(), Device(0));
    for (const QMessageBox::StandardButton answer :
         {QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Yes})
        MessageBox::setNextAnswer(answer);
    OpenAt(DeviceHost);
    ApplyAt30(false);
    ASSERT_TRUE(RunUntilClosed());
    // The note comes as the reboot starts, before its query by unicast.
    EXPECT_EQ(MessageBox::takeShown(), (QStringList{AskBroadcast, RebootQuestion, RebootNote, AskBroadcast}));
    EXPECT_EQ(WithPassword(device), (std::vector<std::string>{"2 broadcast", "2 broadcast"}));
    EXPECT_EQ(dialog->Job()->Report().outcome, JobOutcome::Verified);
}

// "Never broadcast the password": a device whose password could only go by
// broadcast is told of with the reason, and nothing with the password is
// sent; the form comes back.
TEST_F(SetupIpDlgBroadcast, NeverBroadcastHoldsThePasswordBack)
{
    struct Case {
        const char* name;
        const char* address;
        apsim::Quirks quirks;
        QString told;
    };
    const std::vector<Case> cases{
        {"outside", Outside, {},
         QStringLiteral("00:0A:FF:10:2B:C4 is outside this computer's networks: its password would be broadcast to "
                        "every host on eth0.")},
        {"broadcast only", DeviceHost, BroadcastOnly(),
         QStringLiteral("00:0A:FF:10:2B:C4 does not answer by unicast: its password would be broadcast to every "
                        "host on eth0.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        devices.clear();
        SimAccessPoint& device = AddDevice(c.quirks, DeviceAt(c.address));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        loop.Advance(0);
        const Millis start = loop.Now();
        OpenAt(c.address);
        At(start + ApplyAt, [this] {
            TypeText(UserName, QString::fromLatin1(User));
            TypeText(PasswordEdit, QString::fromLatin1(Password));
            TypeField(IpAddress, 3, QStringLiteral("30"));
            Click("neverBroadcast");
            Click(Apply);
        });
        EXPECT_FALSE(RunUntilClosed(10000));
        EXPECT_EQ(MessageBox::takeShown(), QStringList{c.told});
        EXPECT_TRUE(WithPassword(device).empty());
        EXPECT_FALSE(PasswordOnTheWire());
        EXPECT_TRUE(FormEnabled());
        EXPECT_TRUE(Find<QCheckBox>("neverBroadcast")->isChecked());
        dialog->Abandon();
    }
}

} // namespace
} // namespace pemblor
