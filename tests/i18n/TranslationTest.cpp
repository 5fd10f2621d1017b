// The windows in German under LANG=de_DE.UTF-8 and with today's texts, byte
// for byte, under LANG=C and LANG=en: captions, controls, headings, menus and
// message boxes, none of them cut off.
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"
#include "engine/EventLoop.h"
#include "engine/NetworkInterface.h"
#include "tests/fakenet/FakeNetwork.h"
#include "gui/Application.h"
#include "gui/CAboutDlg.h"
#include "gui/CDeviceListDlg.h"
#include "gui/CSetupIpDlg.h"
#include "gui/DeviceTableView.h"
#include "gui/MessageBox.h"
#include "gui/QtIpAddressCtrl.h"
#include "gui/QtTranslation.h"
#include "gui/SetupIpManyDialog.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace pemblor {
namespace {

enum class Language { Source, German };

// One text a window shows: today's source text, byte for byte, and German.
struct Text {
    const char* source;
    const char* german;
};

using Texts = std::vector<Text>;

// Per window: the caption, the controls' texts, the column headings, the
// window's own commands.
const Texts kDeviceList{
    {"Quarnel Access Point Configuration Tool", "Quarnel Konfigurationsprogramm für Access Points"},
    {"Discover", "Suchen"},
    {"Close", "Schließen"},
    {"Setup IP", "IP einrichten"},
    {"Connect to Web Server", "Webseite öffnen"},
    {"No", "Nr."},
    {"SSID", "SSID"},
    {"IP Address", "IP-Adresse"},
    {"Subnet Mask", "Subnetzmaske"},
    {"Channel", "Kanal"},
    {"MAC Address", "MAC-Adresse"},
    {"Interface", "Schnittstelle"},
    {"Last seen", "Zuletzt gehört"},
    {"Filter", "Filter"},
    {"Keep discovering", "Laufend suchen"},
    {"&About Pemblor...", "Ü&ber Pemblor..."},
};

const Texts kSetupIp{
    {"Setup IP Address", "IP-Adresse einrichten"},
    {"&Apply Changes", "Ü&bernehmen"},
    {"&Close", "&Schließen"},
    {"IP Address: ", "IP-Adresse: "},
    {"Netmask: ", "Netzmaske: "},
    {"Default Gateway: ", "Standard-Gateway: "},
    {"IP Address", "IP-Adresse"},
    {"User Name:", "Benutzername:"},
    {"Password:", "Passwort:"},
    {"DHCP Client Enabled", "DHCP-Client aktiviert"},
    {"Never broadcast the password", "Das Passwort nie per Broadcast senden"},
};

// The accessible name of the first field of the IP address control.
const Text kAddressField{"IP Address, field 1 of 4", "IP-Adresse, Feld 1 von 4"};

const Texts kAbout{
    {"About Pemblor", "Über Pemblor"},
    {"Pemblor Version 1.0", "Pemblor Version 1.0"},
    {"Sets up access point addresses", "Adressierung von Access Points"},
    {"OK", "OK"},
};

const Texts kRowMenu{
    {"Setup IP ...", "IP einrichten ..."},
    {"Connect to web server ...", "Webseite öffnen ..."},
    {"Export list...", "Liste exportieren ..."},
};

const Texts kMessageButtons{
    {"OK", "OK"},
    {"Cancel", "Abbrechen"},
};

// Message texts as the logic hands them to the Qt layer (today's texts, the
// error codes filled in) and as a person reads them.
const Texts kMessages{
    {"Windows sockets initialization failed.", "Initialisierung der Windows-Sockets fehlgeschlagen."},
    {"Invalid Gateway Address!", "Ungültige Gateway-Adresse!"},
    {"Find no devices!", "Keine Geräte gefunden!"},
    {"Change setting successfully!\n\nDo you want to reboot the target to take effect immediately?",
     "Einstellungen erfolgreich geändert!\n\nSoll das Gerät jetzt neu gestartet werden, damit sie sofort wirksam "
     "werden?"},
};

// Messages the logic composes from a translated format and a number
// (FormatError over the Qt layer's lookup of the format): the format, the
// number, and what a person reads.
struct NumberedText {
    const char* format;
    int number;
    const char* source;
    const char* german;
};
const std::vector<NumberedText> kNumberedMessages{
    {"m_skRecv.Create Error(%d)", 98, "m_skRecv.Create Error(98)", "m_skRecv.Create: Fehler (98)"},
    {"The device answered with an unknown result (%d).", -1, "The device answered with an unknown result (-1).",
     "Das Gerät hat mit einem unbekannten Ergebnis (-1) geantwortet."},
    {"skSend.SendTo: %d\n", 101, "skSend.SendTo: 101\n", "skSend.SendTo: 101\n"},
};

// A message the logic composes from translated pieces and the interfaces'
// names (no device answered on two interfaces).
const Text kComposedMessage{
    "Find no devices!\n\nNobody answered: the query was sent and heard on eth0, eth1 and wg0, but no access "
    "point's agent answered. Check that the access points are on one of these network segments and that their "
    "agent runs.",
    "Keine Geräte gefunden!\n\nNiemand hat geantwortet: Die Anfrage wurde über eth0, eth1 und wg0 gesendet und "
    "dort auch empfangen, aber kein Agent eines Access Points hat geantwortet. Prüfen Sie, ob die Access Points in "
    "einem dieser Netzsegmente sind und ihr Agent läuft."};

// Setup IP for a device heard on eth0 from outside its network: the warning
// line above Apply Changes, as a screen reader reads it.
const Text kSetupIpWarning{"The password will be sent by broadcast: every computer on eth0 can read it.",
                           "Das Passwort wird per Broadcast gesendet: Jeder Computer an eth0 kann es lesen."};

// "Setup IP for N devices" as it opens for two devices.
const Texts kSetupIpMany{
    {"Setup IP for 2 devices", "IP-Einstellungen für 2 Geräte"},
    {"&Start address:", "S&tartadresse:"},
    {"&Netmask:", "&Netzmaske:"},
    {"&Gateway:", "&Gateway:"},
    {"&DHCP:", "&DHCP:"},
    {"&User name:", "&Benutzername:"},
    {"&Password:", "&Passwort:"},
    {"Never broadcast the password", "Das Passwort nie per Broadcast senden"},
    {"&Reboot the devices after the change", "Geräte nach der Änderung neu sta&rten"},
    // Neither device was heard on an interface: their passwords would go by
    // broadcast.
    {"The password will be sent by broadcast: every computer on this network segment can read it.",
     "Das Passwort wird per Broadcast gesendet: Jeder Computer an diesem Netzsegment kann es lesen."},
    {"A blank netmask or gateway is left as it is.", "Eine leere Netzmaske oder ein leeres Gateway bleibt unverändert."},
    {"Type the start address; the devices get addresses upward from it.",
     "Geben Sie die Startadresse ein; die Geräte erhalten Adressen aufsteigend ab dieser."},
    {"&Apply", "&Anwenden"},
    {"&Export result...", "&Ergebnis exportieren..."},
    {"&Close", "&Schließen"},
    {"Leave as it is", "Unverändert lassen"},
    {"On", "Ein"},
    {"Off", "Aus"},
    {"No", "Nr."},
    {"SSID", "SSID"},
    {"MAC", "MAC"},
    {"Current address", "Aktuelle Adresse"},
    {"Planned address", "Geplante Adresse"},
    {"Note", "Hinweis"},
};

std::vector<std::string> Expected(const Texts& texts, Language language)
{
    std::vector<std::string> expected;
    for (const Text& text : texts)
        expected.emplace_back(language == Language::German ? text.german : text.source);
    return expected;
}

// The order in which a window creates its controls is not the point.
std::vector<std::string> Sorted(std::vector<std::string> texts)
{
    std::sort(texts.begin(), texts.end());
    return texts;
}

void Add(std::vector<std::string>& shown, const QString& text)
{
    if (!text.isEmpty())
        shown.push_back(text.toStdString());
}

// The caption and the texts of the window's own controls (not those inside
// composite controls such as the address fields' dots).
// The window's own controls: its children and those of its group boxes.
std::vector<const QObject*> OwnControls(const QWidget& window)
{
    std::vector<const QObject*> controls;
    for (const QObject* child : window.children()) {
        controls.push_back(child);
        if (qobject_cast<const QGroupBox*>(child)) {
            for (const QObject* inner : child->children())
                controls.push_back(inner);
        }
    }
    return controls;
}

std::vector<std::string> WindowTexts(const QWidget& window)
{
    std::vector<std::string> shown;
    Add(shown, window.windowTitle());
    for (const QObject* child : OwnControls(window)) {
        if (const auto* button = qobject_cast<const QAbstractButton*>(child))
            Add(shown, button->text());
        else if (const auto* label = qobject_cast<const QLabel*>(child))
            Add(shown, label->text());
        else if (const auto* group = qobject_cast<const QGroupBox*>(child))
            Add(shown, group->title());
    }
    for (const auto* view : window.findChildren<const QTreeView*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QAbstractItemModel* model = view->header()->model();
        for (int column = 0; column < model->columnCount(); ++column)
            Add(shown, model->headerData(column, Qt::Horizontal).toString());
    }
    for (const QAction* action : window.actions())
        Add(shown, action->text());
    return shown;
}

// The controls of the window whose text needs more room than the layout gives
// it: a translation that a person would see cut off.
std::vector<std::string> CutOffTexts(const QWidget& window)
{
    std::vector<std::string> cut;
    for (const QObject* child : OwnControls(window)) {
        const auto* widget = qobject_cast<const QWidget*>(child);
        QString text;
        int room = 0;
        if (const auto* label = qobject_cast<const QLabel*>(child)) {
            text = label->text();
            room = label->contentsRect().width();
        } else if (const auto* check = qobject_cast<const QCheckBox*>(child)) {
            text = check->text();
            room = check->width() - check->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) -
                   check->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check);
        } else if (const auto* button = qobject_cast<const QPushButton*>(child)) {
            text = button->text();
            room = button->width() - 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        } else {
            continue;
        }
        text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
        const int needed = widget->fontMetrics().horizontalAdvance(text.trimmed());
        if (needed > room)
            cut.push_back(text.toStdString() + " (" + std::to_string(needed) + " > " + std::to_string(room) + ")");
    }
    return cut;
}

// Once the event loop runs: the texts of the active message box, then its
// buttons; the box is answered with Cancel, or OK when it has no Cancel.
void ReadNextMessageBox(std::vector<std::string>& shown)
{
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        Add(shown, box->text());
        for (const QAbstractButton* button : box->buttons())
            Add(shown, button->text());
        QAbstractButton* cancel = box->button(QMessageBox::Cancel);
        (cancel ? cancel : box->button(QMessageBox::Ok))->click();
    });
}

// A text as the window that shows it translates it: the shared texts in
// their one context, the windows' own in their class's.
QString Shown(const char* text)
{
    for (const char* context : {"Pemblor", "pemblor::CSetupIpDlg", "pemblor::CDeviceListDlg"}) {
        const QString translated = QCoreApplication::translate(context, text);
        if (translated != QLatin1String(text))
            return translated;
    }
    return QString::fromUtf8(text);
}

class TranslationTest : public ::testing::Test {
protected:
    TranslationTest() { clock.SetQuiescenceProbe([this] { return network.Quiescent(); }); }

    // The device list window on a LAN of its own that nothing answers on,
    // with one device listed. Once per process: the receive socket stays
    // bound until a receive thread takes it.
    std::unique_ptr<CDeviceListDlg> OpenDeviceList()
    {
        SessionConfig config;
        config.interfaces = interfaces.get();
        auto window = std::make_unique<CDeviceListDlg>(loop, clock, *sockets, config);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        const MacBytes mac{0x02, 0, 0, 0, 0, 1};
        const Datagram datagram = EncodeDatagram(TypeQueryReply, mac, "", "", {"SSID=lab", "IP_ADDR=x"});
        window->GetSession().registry().Record(ReplyDatagram(datagram.data(), datagram.size, "198.18.0.10"),
                                               NetworkInterface{}, 0);
        loop.Advance(0);
        return window;
    }

    std::vector<std::string> DeviceListTexts(const CDeviceListDlg& window)
    {
        EXPECT_EQ(CutOffTexts(window), std::vector<std::string>()) << "device list";
        return WindowTexts(window);
    }

    std::vector<std::string> SetupIpTexts(CDeviceListDlg& window, std::string& addressFieldName)
    {
        CSetupIpDlg dialog(window.GetSession(), &window);
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_EQ(CutOffTexts(dialog), std::vector<std::string>()) << "Setup IP";
        const auto* address = dialog.findChild<QtIpAddressCtrl*>(QStringLiteral("IDC_IP_ADDRESS"));
        addressFieldName = address ? address->Field(0)->accessibleName().toStdString() : std::string();
        std::vector<std::string> shown = WindowTexts(dialog);
        dialog.Abandon();
        return shown;
    }

    // The static texts a screen reader finds in the Setup IP dialog opened
    // for a device outside eth0's network, as the table opens it.
    std::vector<std::string> SetupIpReadAloud(CDeviceListDlg& window)
    {
        Session& session = window.GetSession();
        EXPECT_TRUE(session.transport().RefreshInterfaces());
        const std::optional<NetworkInterface> eth0 = session.transport().InterfaceNamed("eth0");
        EXPECT_TRUE(eth0);
        CSetupIpDlg dialog(session, &window);
        dialog.SetMacText("02:00:00:00:00:09");
        dialog.SetDeviceAddress("192.168.1.1", eth0 ? eth0->index : 0);
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        std::vector<std::string> read;
        std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            if (node->role() == QAccessible::StaticText && !node->state().invisible)
                Add(read, node->text(QAccessible::Name));
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(&dialog));
        dialog.Abandon();
        return read;
    }

    std::vector<std::string> SetupIpManyTexts(CDeviceListDlg& window)
    {
        // Only looked at: nothing is sent.
        SetupIpManyDialog dialog(window.GetSession().transport(), loop, clock,
                                 {{1, "a", "02:00:00:00:00:01", "198.18.1.1"}, {2, "b", "02:00:00:00:00:02", "198.18.1.2"}},
                                 {}, {}, &window);
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        std::vector<std::string> shown;
        Add(shown, dialog.windowTitle());
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            Add(shown, label->text());
        for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
            if (button->isVisible())
                Add(shown, button->text());
        const QComboBox* dhcp = dialog.findChild<QComboBox*>();
        for (int item = 0; dhcp && item < dhcp->count(); ++item)
            Add(shown, dhcp->itemText(item));
        const QTableWidget* preview = dialog.findChild<QTableWidget*>();
        for (int column = 0; preview && column < preview->columnCount(); ++column)
            Add(shown, preview->horizontalHeaderItem(column)->text());
        EXPECT_EQ(CutOffTexts(dialog), std::vector<std::string>()) << "Setup IP for N devices";
        // A screen reader reads the warning line as it shows.
        if (const auto* warning = dialog.findChild<QLabel*>(QStringLiteral("broadcastWarning"))) {
            QAccessibleInterface* read = QAccessible::queryAccessibleInterface(const_cast<QLabel*>(warning));
            EXPECT_TRUE(read && read->text(QAccessible::Name) == warning->text() && !warning->text().isEmpty());
        }
        dialog.hide();
        return shown;
    }

    std::vector<std::string> AboutTexts()
    {
        CAboutDlg about;
        about.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&about));
        EXPECT_EQ(CutOffTexts(about), std::vector<std::string>()) << "About";
        std::vector<std::string> shown = WindowTexts(about);
        for (const QLabel* label : about.findChildren<QLabel*>())
            if (label->parent() != &about)
                Add(shown, label->text());
        return shown;
    }

    std::vector<std::string> RowMenuTexts(const CDeviceListDlg& window)
    {
        auto* view = window.findChild<DeviceTableView*>(QStringLiteral("IDC_LIST_DEVICES"));
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->visualRect(view->model()->index(0, 1)).center());
        std::vector<std::string> shown;
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (const QAction* action : menu->actions())
                Add(shown, action->text());
            menu->close();
        }
        return shown;
    }

    // The text of a message box, then its buttons.
    std::vector<std::string> MessageTexts(const QString& text)
    {
        std::vector<std::string> shown;
        ReadNextMessageBox(shown);
        EXPECT_EQ(MessageBox::information(nullptr, text, QMessageBox::Ok | QMessageBox::Cancel), QMessageBox::Cancel);
        return shown;
    }

    void ExpectWindowsIn(Language language)
    {
        const auto window = OpenDeviceList();
        EXPECT_EQ(Sorted(DeviceListTexts(*window)), Sorted(Expected(kDeviceList, language))) << "device list";
        EXPECT_EQ(RowMenuTexts(*window), Expected(kRowMenu, language)) << "row menu";
        std::string addressFieldName;
        EXPECT_EQ(Sorted(SetupIpTexts(*window, addressFieldName)), Sorted(Expected(kSetupIp, language))) << "Setup IP";
        EXPECT_EQ(addressFieldName, language == Language::German ? kAddressField.german : kAddressField.source);
        const std::vector<std::string> readAloud = SetupIpReadAloud(*window);
        const char* warning = language == Language::German ? kSetupIpWarning.german : kSetupIpWarning.source;
        EXPECT_NE(std::find(readAloud.begin(), readAloud.end(), warning), readAloud.end()) << "Setup IP's warning line";
        EXPECT_EQ(Sorted(SetupIpManyTexts(*window)), Sorted(Expected(kSetupIpMany, language)))
            << "Setup IP for N devices";
        EXPECT_EQ(Sorted(AboutTexts()), Sorted(Expected(kAbout, language))) << "About";
        const SilenceDiagnosis silence{SilenceCause::NobodyAnswered, {"eth0", "eth1", "wg0"}};
        const std::string composed =
            FindNoDevicesText(silence, [](const char* text) { return Translated(text).toStdString(); });
        EXPECT_EQ(composed, language == Language::German ? kComposedMessage.german : kComposedMessage.source);
        for (const Text& message : kMessages) {
            std::vector<std::string> expected = Expected(kMessageButtons, language);
            expected.insert(expected.begin(), language == Language::German ? message.german : message.source);
            EXPECT_EQ(MessageTexts(Shown(message.source)), expected) << "message box";
        }
        for (const NumberedText& message : kNumberedMessages) {
            std::vector<std::string> expected = Expected(kMessageButtons, language);
            expected.insert(expected.begin(), language == Language::German ? message.german : message.source);
            EXPECT_EQ(MessageTexts(QString::fromStdString(
                          FormatError(Shown(message.format).toStdString(), message.number))),
                      expected)
                << "message box";
        }
        // The start-up failure, through the application itself.
        std::vector<std::string> startup;
        ReadNextMessageBox(startup);
        sockets->InjectFailure(FakeOp::StartupProcess, 10091);
        RunApplication(loop, clock, *sockets);
        ASSERT_FALSE(startup.empty());
        EXPECT_EQ(startup.front(), language == Language::German ? kMessages[0].german : kMessages[0].source);
    }

    FakeNetwork network;
    std::unique_ptr<FakeSocketLayer> sockets = network.NewLayer("198.18.0.1");
    std::unique_ptr<IInterfaceList> interfaces = network.InterfaceList("198.18.0.1");
    VirtualClock clock;
    EventLoop loop{clock};
};

TEST_F(TranslationTest, GermanWindows)
{
    ExpectWindowsIn(Language::German);
}

TEST_F(TranslationTest, SourceWindows)
{
    ExpectWindowsIn(Language::Source);
}

} // namespace
} // namespace pemblor

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    pemblor::InstallTranslations(app);
    pemblor::InstallApplicationIcon();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
