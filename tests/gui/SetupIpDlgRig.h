#pragma once
// The Setup IP dialog on a fake LAN: the tool's host with its session, one
// access point of the simulator (more when a test adds them), the event loop
// on a virtual clock as the session's dispatcher, and real keys and clicks
// on the offscreen platform. Message boxes are answered through the seam; a
// box that finds no answer queued is closed and reported as a failure.
#include "engine/EventLoop.h"
#include "engine/Session.h"
#include "tests/fakenet/FakeInterfaceList.h"
#include "tests/fakenet/FakeNetwork.h"
#include "gui/CSetupIpDlg.h"
#include "gui/MessageBox.h"
#include "gui/QtIpAddressCtrl.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/Requests.h"
#include "tests/support/SimAccessPoint.h"
#include "tools/apsim/LabAddress.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// Readable failure messages; found by argument-dependent lookup.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out)
{
    *out << "{ ";
    for (const QString& text : texts) {
        PrintTo(text, out);
        *out << ' ';
    }
    *out << '}';
}

namespace pemblor {

// The messages once the device has stored a change.
inline const QString RebootQuestion =
    QStringLiteral("Change setting successfully!\n\nDo you want to reboot the target to take effect immediately?");
inline const QString RebootNote = QStringLiteral("It may take about one minute to reboot the target.");

class SetupIpDlgRig : public ::testing::Test {
public:
    using Millis = LoopClock::Millis;
    using Bytes = std::vector<std::uint8_t>;
    static constexpr const char* ToolHost = "198.18.0.1";
    static constexpr const char* DeviceHost = "198.18.0.20";
    static constexpr const char* MacText = "00:0A:FF:10:2B:C4";
    static constexpr const char* User = "admin";
    static constexpr const char* Password = "secret";

    static constexpr const char* IpAddress = "IDC_IP_ADDRESS";
    static constexpr const char* Netmask = "IDC_IP_NETMASK";
    static constexpr const char* Gateway = "IDC_IP_GATEWAY";
    static constexpr const char* UserName = "IDC_EDIT_USERNAME";
    static constexpr const char* PasswordEdit = "IDC_EDIT_PASSWORD";
    static constexpr const char* Apply = "IDC_BTN_APPLY";
    static constexpr const char* Close = "IDCANCEL";

    // The device: 198.18.0.20/24, gateway 198.18.0.254, MAC MacText,
    // credentials User/Password, back 20 s after a reboot.
    static apsim::ApSettings Device(int dhcp = 1)
    {
        apsim::ApSettings settings;
        settings.ip = *apsim::ParseAddress(DeviceHost);
        settings.mask = 0xFFFFFF00u;
        settings.gateway = *apsim::ParseAddress("198.18.0.254");
        settings.dhcp = dhcp;
        settings.mac = ParseMacText(MacText);
        settings.ssid = "lab";
        settings.user = User;
        settings.pass = Password;
        return settings;
    }

    SetupIpDlgRig() : tool(net.NewLayer(ToolHost)), interfaces(net.InterfaceList(ToolHost))
    {
        MessageBox::reset();
        SessionConfig config;
        config.interfaces = interfaces.get();
        config.reversePath = &reversePath;
        session = std::make_unique<Session>(*tool, loop, listener, config);
        session->Open();
        session->StartReceiveThread();
        // A box without a queued answer would wait for a user forever.
        QObject::connect(&m_boxGuard, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                m_unexpected << box->text();
                box->reject();
            }
        });
        m_boxGuard.start(50);
    }

    ~SetupIpDlgRig() override
    {
        m_boxGuard.stop();
        dialog.reset();
        session->Close();
        session->StopReceiveThread();
        EXPECT_TRUE(m_unexpected.isEmpty()) << "boxes without an answer: "
                                            << m_unexpected.join(QStringLiteral(" / ")).toStdString();
        MessageBox::reset();
    }

    SimAccessPoint& AddDevice(const apsim::Quirks& quirks = {}, const apsim::ApSettings& settings = Device())
    {
        devices.push_back(std::make_unique<SimAccessPoint>(net, loop, settings, quirks, std::chrono::seconds(20)));
        return *devices.back();
    }

    // What the Setup IP command does: the dialog for the row's device, opened
    // and active; then the detail reply arrives.
    CSetupIpDlg& Open(const std::string& rowAddress = DeviceHost, const std::string& mac = MacText,
                      unsigned interfaceIndex = 0)
    {
        dialog = std::make_unique<CSetupIpDlg>(*session);
        dialog->SetMacText(mac);
        dialog->SetDeviceAddress(rowAddress, interfaceIndex);
        dialog->SetDeviceLine("lab \u00B7 " + mac + " \u00B7 eth0");
        finished = std::make_unique<QSignalSpy>(dialog.get(), &QDialog::finished);
        dialog->open();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        Advance(0);
        return *dialog;
    }

    // The test reads and answers the boxes that show itself.
    void AnswerBoxesYourself() { m_boxGuard.stop(); }

    // Serves the loop for `ms` of virtual time, then Qt's own events.
    void Advance(Millis ms)
    {
        loop.Advance(ms);
        QCoreApplication::processEvents();
    }
    // Serves the loop until the dialog has ended or `budget` has passed;
    // true when it ended.
    bool RunUntilClosed(Millis budget = 200000)
    {
        const bool closed = loop.RunUntil(loop.Now() + budget, [this] { return Closed(); });
        QCoreApplication::processEvents();
        return closed;
    }
    bool Closed() const { return finished && !finished->isEmpty(); }
    // Runs `action` on the loop's thread when the virtual clock reaches `time`.
    void At(Millis time, std::function<void()> action) { loop.After(time - loop.Now(), std::move(action)); }

    template <typename Widget>
    Widget* Find(const char* name) const
    {
        auto* widget = dialog->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QtIpAddressCtrl* Address(const char* name) const { return Find<QtIpAddressCtrl>(name); }
    QCheckBox* Dhcp() const { return Find<QCheckBox>("IDC_CHK_DHCP"); }
    QString Progress() const { return Find<QLabel>("IDC_TEXT_PROGRESS")->text(); }
    // An address control's value as dotted text.
    QString Shown(const char* name) const
    {
        std::uint32_t value = 0;
        Address(name)->GetAddress(value);
        return QStringLiteral("%1.%2.%3.%4")
            .arg(value >> 24)
            .arg((value >> 16) & 0xFF)
            .arg((value >> 8) & 0xFF)
            .arg(value & 0xFF);
    }
    // The address controls, both edits and Apply (the DHCP box has its own rule).
    bool FormEnabled() const
    {
        bool enabled = Find<QLineEdit>(UserName)->isEnabled() && Find<QLineEdit>(PasswordEdit)->isEnabled() &&
                       Find<QPushButton>(Apply)->isEnabled();
        for (const char* name : {IpAddress, Netmask, Gateway})
            enabled = enabled && Address(name)->isEnabled();
        return enabled;
    }
    bool FormDisabled() const
    {
        bool disabled = !Find<QLineEdit>(UserName)->isEnabled() && !Find<QLineEdit>(PasswordEdit)->isEnabled() &&
                        !Find<QPushButton>(Apply)->isEnabled() && !Dhcp()->isEnabled();
        for (const char* name : {IpAddress, Netmask, Gateway})
            disabled = disabled && !Address(name)->isEnabled();
        return disabled;
    }

    // A box that closed may leave no window active on the offscreen
    // platform: the keys go to the dialog again.
    void Activate() const
    {
        if (dialog && dialog->isVisible() && QApplication::activeWindow() != dialog.get()) {
            dialog->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        }
    }
    // Keys as a person types them, each to whatever has the focus then.
    void Type(const QString& keys) const
    {
        Activate();
        for (const QChar key : keys) {
            if (key.unicode() < 0x80)
                QTest::keyClick(static_cast<QWidget*>(nullptr), key.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, static_cast<QWidget*>(nullptr), Qt::Key_unknown, QString(key),
                                    Qt::NoModifier);
        }
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        Activate();
        QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
    }
    // Selects field `field` of the control and types `digits` over it; no
    // digits blank the field.
    void TypeField(const char* control, int field, const QString& digits)
    {
        Address(control)->FocusField(field, true);
        if (digits.isEmpty())
            Press(Qt::Key_Backspace);
        else
            Type(digits);
    }
    void BlankAll(const char* control)
    {
        for (int field = 0; field < 4; ++field)
            TypeField(control, field, {});
    }
    // Typed at the end of the edit's text.
    void TypeText(const char* edit, const QString& text)
    {
        Find<QLineEdit>(edit)->setFocus(Qt::OtherFocusReason);
        Type(text);
    }
    // A click on the button's left part (a check box's box).
    void Click(QAbstractButton* button)
    {
        const int middle = button->height() / 2;
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(middle, middle));
    }
    void Click(const char* name) { Click(Find<QAbstractButton>(name)); }
    // Apply, and the device's answer to the query by unicast that goes
    // before its password: the change has left when this returns.
    void ClickApply()
    {
        Click(Apply);
        Advance(0);
    }

    // Datagrams the tool sent to the device port, in order.
    std::vector<Bytes> SentByTool() const
    {
        std::vector<Bytes> sent;
        for (const auto& datagram : net.SentLog()) {
            if (datagram.fromHost == ToolHost && datagram.toPort == DevicePort && datagram.toHost != "127.0.0.1")
                sent.push_back(datagram.bytes);
        }
        return sent;
    }
    static Bytes Wire(const Datagram& datagram) { return {datagram.data(), datagram.data() + datagram.size}; }
    int Count(const Datagram& datagram) const
    {
        const Bytes wanted = Wire(datagram);
        int count = 0;
        for (const Bytes& bytes : SentByTool())
            count += bytes == wanted ? 1 : 0;
        return count;
    }
    // The detail queries broadcast (the read and the re-reads); the one sent
    // by unicast before the password leaves is not counted.
    int DetailQueries() const
    {
        const Bytes wanted = Wire(BuildDetailQuery(MacText));
        int count = 0;
        for (const auto& datagram : net.SentLog())
            count += datagram.fromHost == ToolHost && datagram.toPort == DevicePort &&
                             datagram.toHost == "255.255.255.255" && datagram.bytes == wanted
                         ? 1
                         : 0;
        return count;
    }
    // A datagram to the tool's device port from `fromHost` (another process
    // on that host when an access point runs there).
    void Inject(const std::string& fromHost, const Datagram& datagram)
    {
        m_injectors.push_back(net.NewLayer(fromHost));
        std::unique_ptr<ISocket> socket = m_injectors.back()->Open();
        ASSERT_TRUE(socket && socket->Bind(0));
        ASSERT_EQ(socket->SendTo(datagram.data(), datagram.size, DevicePort, ToolHost),
                  static_cast<int>(datagram.size));
    }
    // A command reply of the device carrying `result` as its result byte.
    void InjectResult(int result)
    {
        Inject(DeviceHost, EncodeDatagram(TypeCommandReply, ParseMacText(MacText), "", "",
                                          {std::string(1, static_cast<char>(result))}));
    }

    // Records, every 100 ms of virtual time up to `until`, how many detail
    // queries have left; DetailQueryTimes() then gives the time of each.
    // Requests leave at whole multiples of the step, so a probe half a step
    // later sees each one.
    void WatchDetailQueries(Millis until)
    {
        for (Millis at = loop.Now() + kProbeStep / 2; at <= until; at += kProbeStep)
            At(at, [this] { m_queryCounts.emplace_back(loop.Now(), DetailQueries()); });
    }
    std::vector<Millis> DetailQueryTimes() const
    {
        std::vector<Millis> times;
        int seen = 0;
        for (const auto& [time, count] : m_queryCounts) {
            for (; seen < count; ++seen)
                times.push_back(time - kProbeStep / 2);
        }
        return times;
    }

    struct QuietListener final : DiscoveryListener {
        void DiscoveryEnded(int, const SilenceDiagnosis&) override {}
        void SendFailed(Request, int, std::string_view) override {}
        void ReceiveFailed(ReceiveFailure) override {}
    };

    FakeNetwork net;
    FakeReversePathFilter reversePath;
    std::unique_ptr<FakeSocketLayer> tool;
    std::unique_ptr<IInterfaceList> interfaces;
    VirtualClock clock{[this] { return net.Quiescent(); }};
    EventLoop loop{clock};
    QuietListener listener;
    std::unique_ptr<Session> session;
    std::vector<std::unique_ptr<SimAccessPoint>> devices;
    std::unique_ptr<CSetupIpDlg> dialog;
    std::unique_ptr<QSignalSpy> finished;

private:
    static constexpr Millis kProbeStep = 100;
    std::vector<std::unique_ptr<FakeSocketLayer>> m_injectors;
    std::vector<std::pair<Millis, int>> m_queryCounts;
    QTimer m_boxGuard;
    QStringList m_unexpected;
};

} // namespace pemblor
