// The whole tool from the keyboard alone: no mouse event anywhere.

#include "Scenario.h"


namespace e2e {

using namespace std::chrono_literals;

// One device (lab arguments: see the test list): Discover, select its row,
// Setup IP, a new address with credentials, apply, reboot, close.
void KeyboardOnly(Scenario& s)
{
    const QString address = QStringLiteral("198.18.1.30");
    const QString changed = QStringLiteral("198.18.1.77");
    OpenMainWindow(s);

    // Discover is the default button and starts with the focus.
    s.user.PressKey(kMainTitle, Qt::Key_Return);
    s.user.WaitForRows(1, 3s);
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_DISCOVER", true, 8s);
    // Enter again discovers again: disabling itself, Discover handed the
    // focus back to the table, not on to Close.
    s.user.PressKey(kMainTitle, Qt::Key_Return);
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_DISCOVER", false, 2s);
    s.user.WaitForRows(1, 3s);
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_DISCOVER", true, 8s);
    Note("Enter twice: two discoveries");

    s.user.TabTo(kMainTitle, "IDC_LIST_DEVICES");
    Expect(!s.user.IsEnabled(kMainTitle, "IDC_BTN_SETUPIP"), "Setup IP waits for a selected row");
    s.user.PressKey(kMainTitle, Qt::Key_Space);
    s.user.WaitEnabled(kMainTitle, "IDC_BTN_SETUPIP", true, 2s);
    Expect(s.user.IsEnabled(kMainTitle, "IDC_BTN_WEBSERVER"), "Connect to Web Server enabled by the key");
    Note("row selected by Space");

    s.user.TabTo(kMainTitle, "IDC_BTN_SETUPIP");
    s.user.PressKey(kMainTitle, Qt::Key_Space);
    s.user.WaitForWindow(kSetupIpTitle, 3s);
    s.user.WaitEnabled(kSetupIpTitle, "IDC_BTN_APPLY", true, 3s);
    ExpectEqual(s.user.Address(kSetupIpTitle, "IDC_IP_ADDRESS"), address, "address read from the device");

    s.user.TabTo(kSetupIpTitle, "IDC_IP_ADDRESS");
    s.user.TypeKeys(kSetupIpTitle, changed);
    ExpectEqual(s.user.Address(kSetupIpTitle, "IDC_IP_ADDRESS"), changed, "typed address");
    s.user.TabTo(kSetupIpTitle, "IDC_EDIT_USERNAME");
    s.user.TypeKeys(kSetupIpTitle, QStringLiteral("admin"));
    s.user.TabTo(kSetupIpTitle, "IDC_EDIT_PASSWORD");
    s.user.TypeKeys(kSetupIpTitle, QStringLiteral("admin"));
    ExpectEqual(s.user.Text(kSetupIpTitle, "IDC_EDIT_USERNAME"), QStringLiteral("admin"), "typed user name");
    ExpectEqual(s.user.Text(kSetupIpTitle, "IDC_EDIT_PASSWORD"), QStringLiteral("admin"), "typed password");

    // Return in an edit presses the default button, Apply Changes; Return on
    // each box presses its default button, OK.
    s.user.PressKey(kSetupIpTitle, Qt::Key_Return);
    const MessageBoxSeen question = s.user.WaitForMessageBox(5s);
    Expect(question.text.startsWith(QStringLiteral("Change setting successfully!")), "the reboot question");
    s.user.AnswerByKey(Qt::Key_Return);
    ExpectMessageBox(s, QStringLiteral("It may take about one minute to reboot the target."), kSetupIpTitle, 2s);
    s.user.AnswerByKey(Qt::Key_Return);

    s.user.WaitUntilClosed(kSetupIpTitle, 45s);
    ExpectEqual(s.user.Table().rows.at(0).value(2), changed, "IP address column after the reboot");

    s.user.PressKey(kMainTitle, Qt::Key_Escape);
    s.user.WaitUntilClosed(kMainTitle, 5s);
    Note("main window closed by Escape");
}

} // namespace e2e
