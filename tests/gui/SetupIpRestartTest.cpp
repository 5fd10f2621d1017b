// Closing the dialog while the device restarts, a device that does not come
// back, and a refused reboot.
#include "SetupIpDlgRig.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pemblor {
namespace {

const QString StopQuestion = QStringLiteral("The device is restarting. Stop waiting for it?");

class SetupIpDlgRestart : public SetupIpDlgRig {
public:
    static constexpr Millis ApplyAt = 300;
    static constexpr Millis QuestionAt = ApplyAt + 1000;

    // Apply of 198.18.0.30 at ApplyAt, OK to the reboot question and its
    // note; a device added with `quirks` (by default one that never comes
    // back from its reboot) and `settings` (by default its DHCP client off).
    void RebootScript(const apsim::Quirks& quirks = Gone(), const apsim::ApSettings& settings = Device(0))
    {
        AddDevice(quirks, settings);
        MessageBox::setNextAnswer(QMessageBox::Ok); // the reboot question
        MessageBox::setNextAnswer(QMessageBox::Ok); // the note
        Open();
        At(ApplyAt, [this] {
            TypeText(UserName, QString::fromLatin1(User));
            TypeText(PasswordEdit, QString::fromLatin1(Password));
            TypeField(IpAddress, 3, QStringLiteral("30"));
            Click(Apply);
        });
    }
    static apsim::Quirks Gone()
    {
        apsim::Quirks quirks;
        quirks.neverReturn = true;
        return quirks;
    }
    // The boxes shown up to the dialog's end, read as it ends.
    void WatchBoxesAtTheEnd()
    {
        QObject::connect(dialog.get(), &QDialog::finished, dialog.get(), [this] { atTheEnd = MessageBox::takeShown(); });
    }
    QStringList atTheEnd;
};

// Escape, the Close button and the close box, during the countdown, with
// Yes or No to the question. Yes ends the dialog at once and nothing more
// reaches the device; No leaves the wait and the re-read running, and the
// device that never answers is then told of.
TEST_F(SetupIpDlgRestart, CloseDuringTheCountdownAsksFirst)
{
    const std::vector<std::pair<const char*, std::function<void(SetupIpDlgRestart&)>>> inputs{
        {"Escape", [](SetupIpDlgRestart& t) { t.Press(Qt::Key_Escape); }},
        {"Close button", [](SetupIpDlgRestart& t) { t.Click(Close); }},
        {"close box", [](SetupIpDlgRestart& t) { t.dialog->close(); }},
    };
    constexpr Millis CloseAt = QuestionAt + 7500;
    for (const auto& [what, input] : inputs) {
        for (const auto answer : {QMessageBox::Yes, QMessageBox::No}) {
            SCOPED_TRACE(std::string(what) + (answer == QMessageBox::Yes ? " / Yes" : " / No"));
            struct Fresh : SetupIpDlgRestart {
                void TestBody() override {}
            } t;
            t.RebootScript();
            MessageBox::setNextAnswer(answer);
            if (answer == QMessageBox::No)
                MessageBox::setNextAnswer(QMessageBox::Ok); // not back
            int queriesAtClose = -1;
            QString lineAtClose;
            bool restarting = false;
            QStringList shownAtClose;
            t.At(CloseAt, [&, input = input] {
                lineAtClose = t.Progress();
                restarting = t.dialog->Restarting();
                input(t);
                queriesAtClose = t.DetailQueries();
                shownAtClose = MessageBox::takeShown();
            });
            ASSERT_TRUE(t.RunUntilClosed());

            EXPECT_FALSE(t.clock.Stalled());
            EXPECT_EQ(lineAtClose, QStringLiteral("Waiting for the device to restart\u2026 23 s"));
            EXPECT_TRUE(restarting);
            EXPECT_EQ(shownAtClose, (QStringList{RebootQuestion, RebootNote, StopQuestion}));
            EXPECT_EQ(t.finished->front().at(0).toInt(), QDialog::Rejected);
            EXPECT_EQ(t.dialog->DeviceAddress(), DeviceHost) << "the row keeps the address last learned";
            if (answer == QMessageBox::Yes) {
                EXPECT_EQ(t.loop.Now(), CloseAt) << "Yes closes at once";
                const std::size_t sent = t.SentByTool().size();
                t.Advance(120000);
                EXPECT_EQ(t.SentByTool().size(), sent) << "nothing more is sent";
                EXPECT_EQ(t.DetailQueries(), 1);
                EXPECT_TRUE(MessageBox::takeShown().isEmpty());
            } else {
                EXPECT_EQ(queriesAtClose, 1);
                EXPECT_EQ(MessageBox::takeShown(),
                          QStringList{QStringLiteral("The device did not answer after restarting. It may be at its "
                                                     "new address 198.18.0.30 or still restarting. Press Discover to "
                                                     "look for it.")});
                EXPECT_EQ(t.loop.Now(), QuestionAt + 30000 + 53000) << "the wait and the re-read ran on";
                EXPECT_EQ(t.DetailQueries(), 1 + 9);
            }
        }
    }
}

// Before the reboot nothing asks: only the restart is worth a question.
TEST_F(SetupIpDlgRestart, CloseBeforeApplyClosesWithoutAQuestion)
{
    AddDevice();
    Open();
    At(500, [this] { Press(Qt::Key_Escape); });
    ASSERT_TRUE(RunUntilClosed());
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_EQ(loop.Now(), 500);
    EXPECT_FALSE(dialog->Restarting());
}

// A device that never answers after its reboot is told of before the dialog
// closes, unlike a success: with its new address, or without one when its
// DHCP client chooses it. One that answers only from its old address is
// told so too.
TEST_F(SetupIpDlgRestart, ADeviceThatDoesNotComeBackIsToldOf)
{
    apsim::Quirks oldAddress;
    oldAddress.keepAddress = true;
    struct Row {
        const char* what;
        apsim::Quirks quirks;
        int dhcp;
        QString message;
    };
    const Row rows[] = {
        {"fixed address", Gone(), 0,
         "The device did not answer after restarting. It may be at its new address 198.18.0.30 or still "
         "restarting. Press Discover to look for it."},
        {"DHCP ticked", Gone(), 1,
         "The device did not answer after restarting. With DHCP on, it may have taken another address, or it may "
         "still be restarting. Press Discover to look for it."},
        {"only the old address", oldAddress, 0,
         "After restarting, the device answered only from its old address 198.18.0.20, not from its new address "
         "198.18.0.30: the change may not have taken effect. Press Discover to look for it."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        struct Fresh : SetupIpDlgRestart {
            void TestBody() override {}
        } t;
        t.RebootScript(row.quirks, Device(row.dhcp));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        t.WatchBoxesAtTheEnd();
        ASSERT_TRUE(t.RunUntilClosed());

        EXPECT_FALSE(t.clock.Stalled());
        EXPECT_EQ(t.atTheEnd, (QStringList{RebootQuestion, RebootNote, row.message})) << "told before the dialog closes";
        EXPECT_EQ(t.loop.Now(), QuestionAt + 30000 + 53000);
        EXPECT_EQ(t.dialog->DeviceAddress(), DeviceHost);
        EXPECT_EQ(t.dialog->Job()->Report().outcome, JobOutcome::NotVerified);
    }
}

// A result that answers the reboot ends the wait at once and gives the
// form back, with the values applied; no re-read follows, and closing
// asks nothing.
TEST_F(SetupIpDlgRestart, ARefusedRebootEndsTheWait)
{
    const std::pair<int, QString> rows[] = {
        {1, QStringLiteral("Authentication Error!")},
        {7, QStringLiteral("The device answered with an unknown result (7).")},
    };
    for (const auto& [result, message] : rows) {
        SCOPED_TRACE(result);
        struct Fresh : SetupIpDlgRestart {
            void TestBody() override {}
        } t;
        // The device hears its commands but answers none: the rig answers
        // the change for it, and then the reboot.
        apsim::Quirks quiet;
        quiet.ignoreCommands = true;
        t.RebootScript(quiet);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        t.At(ApplyAt + 100, [&t] { t.InjectResult(0); });
        constexpr Millis RefusedAt = QuestionAt + 100;
        t.At(RefusedAt, [&t, result = result] { t.InjectResult(result); });
        QStringList shown;
        t.At(RefusedAt + 999, [&] { shown = MessageBox::takeShown(); });
        QString line;
        bool formBack = false;
        QString address;
        bool restarting = true;
        t.At(QuestionAt + 5000, [&] {
            line = t.Progress();
            formBack = t.FormEnabled();
            address = t.Shown(IpAddress);
            restarting = t.dialog->Restarting();
            t.Press(Qt::Key_Escape);
        });
        ASSERT_TRUE(t.RunUntilClosed());

        EXPECT_FALSE(t.clock.Stalled());
        EXPECT_EQ(shown, (QStringList{RebootQuestion, RebootNote, message}));
        EXPECT_TRUE(MessageBox::takeShown().isEmpty()) << "Escape afterwards asks nothing";
        EXPECT_EQ(line, QString());
        EXPECT_TRUE(formBack);
        EXPECT_FALSE(restarting);
        EXPECT_EQ(address, QStringLiteral("198.18.0.30"));
        EXPECT_EQ(t.Count(BuildRebootRequest(MacText, User, Password)), 1);
        EXPECT_EQ(t.DetailQueries(), 1) << "no re-read";
    }
}

} // namespace
} // namespace pemblor
