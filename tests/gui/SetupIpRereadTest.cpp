// After an accepted change: the reboot question, the reboot, the wait for the
// restart and the re-read, on their schedule of virtual time.
#include "SetupIpDlgRig.h"

#include <string>
#include <vector>

namespace pemblor {
namespace {


class SetupIpDlgReread : public SetupIpDlgRig {
public:
    static constexpr Millis ApplyAt = 300;
    // The device answers the change at once; the first poll tick, one second
    // after Apply, finds the result and asks the question.
    static constexpr Millis QuestionAt = ApplyAt + 1000;

    // The user changes the IP address to 198.18.0.30 and applies it at
    // `applyAt`, with the device's credentials.
    void Script(Millis applyAt = ApplyAt)
    {
        At(applyAt, [this] {
            TypeText(UserName, QString::fromLatin1(User));
            TypeText(PasswordEdit, QString::fromLatin1(Password));
            TypeField(IpAddress, 3, QStringLiteral("30"));
            Click(Apply);
        });
    }
    // From `time` on the device hears nothing more.
    void SilenceAt(Millis time)
    {
        At(time, [this] { net.DropInbound(DeviceHost, DevicePort); });
    }
    static std::vector<Millis> Since(const std::vector<Millis>& times, std::size_t from)
    {
        std::vector<Millis> relative;
        for (std::size_t i = from; i < times.size(); ++i)
            relative.push_back(times[i] - times[from]);
        return relative;
    }
};

TEST_F(SetupIpDlgReread, CancelSkipsTheRebootAndRereadsOnTheFixedSchedule)
{
    SimAccessPoint& device = AddDevice();
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    Open("10.0.0.99");
    Script();
    SilenceAt(ApplyAt + 500);
    WatchDetailQueries(QuestionAt + 60000);
    ASSERT_TRUE(RunUntilClosed());

    EXPECT_FALSE(clock.Stalled());
    EXPECT_EQ(MessageBox::takeShown(), QStringList{RebootQuestion});
    for (const std::string& request : device.Requests())
        EXPECT_EQ(request.find("|reboot"), std::string::npos) << request;
    // The dialog's own query, then the nine of the re-read.
    const auto times = DetailQueryTimes();
    ASSERT_EQ(times.size(), 10u);
    EXPECT_EQ(times[1], QuestionAt) << "the re-read starts at once";
    const std::vector<Millis> schedule{0, 5000, 11000, 17000, 23000, 29000, 35000, 41000, 47000};
    EXPECT_EQ(Since(times, 1), schedule);
    EXPECT_EQ(loop.Now() - times[1], 53000) << "closes 53 s after the first re-read query";
    EXPECT_TRUE(loop.Waits().empty()) << "nothing waits on the user-interface thread";
    EXPECT_EQ(finished->front().at(0).toInt(), QDialog::Rejected);
    EXPECT_EQ(dialog->Job()->Report().outcome, JobOutcome::NotVerified);
    EXPECT_FALSE(dialog->Reread());
    // No reply during the re-read: the row keeps the first reply's sender.
    EXPECT_EQ(dialog->DeviceAddress(), DeviceHost);
}

TEST_F(SetupIpDlgReread, AReplyBetweenTwoPausesEndsTheRereadAtOnce)
{
    // Every answer takes 0.7 s (within the second the query by unicast
    // before the password waits): the change's result comes 1.4 s after
    // Apply, and the first re-read query's answer falls between the checks
    // at 0 s and 1 s.
    apsim::Quirks slow;
    slow.replyDelayMs = 700;
    AddDevice(slow);
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    Open();
    constexpr Millis applyAt = 3000;
    Script(applyAt);
    WatchDetailQueries(applyAt + 60000);
    ASSERT_TRUE(RunUntilClosed());

    const auto times = DetailQueryTimes();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[1], applyAt + 2000) << "the result came 1.4 s after Apply, the poll took it at 2 s";
    // The reply ends the re-read when it arrives, not at the next second.
    EXPECT_EQ(loop.Now() - times[1], 700);
    EXPECT_EQ(dialog->Job()->Report().outcome, JobOutcome::Verified);
    ASSERT_TRUE(dialog->Reread());
    EXPECT_EQ(dialog->Reread()->ipAddr, "198.18.0.30");
    // A device that has not restarted answers from its old address.
    EXPECT_EQ(dialog->DeviceAddress(), DeviceHost);
}

TEST_F(SetupIpDlgReread, RebootThenTheRowShowsTheAddressTheDeviceAnswersFrom)
{
    AddDevice();
    MessageBox::setNextAnswer(QMessageBox::Ok); // the question
    MessageBox::setNextAnswer(QMessageBox::Ok); // the note
    Open();
    Script();
    WatchDetailQueries(QuestionAt + 90000);
    ASSERT_TRUE(RunUntilClosed());
    const Millis closedAt = loop.Now();
    Advance(1000); // the probes of the moment it closed

    EXPECT_FALSE(clock.Stalled());
    EXPECT_EQ(MessageBox::takeShown(), (QStringList{RebootQuestion, RebootNote}));
    // The reboot request carries the credentials as they stand in the edits.
    EXPECT_EQ(Count(BuildRebootRequest(MacText, User, Password)), 1);
    EXPECT_TRUE(loop.Waits().empty());
    const auto times = DetailQueryTimes();
    ASSERT_EQ(times.size(), 2u) << "the device answers the first re-read query";
    EXPECT_EQ(times[1], QuestionAt + 30000);
    EXPECT_EQ(closedAt, QuestionAt + 30000);
    EXPECT_EQ(dialog->Job()->Report().outcome, JobOutcome::Verified);
    EXPECT_EQ(dialog->DeviceAddress(), "198.18.0.30");
    ASSERT_TRUE(dialog->Reread());
    EXPECT_EQ(dialog->Reread()->ipAddr, "198.18.0.30");
}

// The greyed form is not all the user sees: a line under it says what the
// dialog waits for and how many seconds are left, counting down the 30 s of
// the reboot and then the 53 s the re-read can last.
TEST_F(SetupIpDlgReread, ProgressLineCountsDownTheRebootWaitAndTheReread)
{
    const QString restart = QStringLiteral("Waiting for the device to restart\u2026 ");
    const QString reread = QStringLiteral("Reading the device's settings\u2026 ");
    struct Row {
        QMessageBox::StandardButton answer;
        std::vector<Millis> at; // after the question
        QStringList shown;
        Millis closesAfter;
        // When the device stops hearing anything: after the reboot it was
        // sent (by unicast, once it answered there), or before the re-read.
        Millis silentAt;
    };
    const Row rows[] = {
        {QMessageBox::Ok,
         {-500, 500, 7500, 29500, 30500, 31500, 30000 + 52500},
         {"", restart + "30 s", restart + "23 s", restart + "1 s", reread + "53 s", reread + "52 s", reread + "1 s"},
         30000 + 53000,
         QuestionAt + 1},
        {QMessageBox::Cancel,
         {500, 23500, 52500},
         {reread + "53 s", reread + "30 s", reread + "1 s"},
         53000,
         ApplyAt + 500},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answer);
        // A LAN and a dialog of the row's own, from time 0.
        struct Fresh : SetupIpDlgReread {
            void TestBody() override {}
        } rig;
        rig.AddDevice();
        MessageBox::setNextAnswer(row.answer);
        if (row.answer == QMessageBox::Ok) {
            MessageBox::setNextAnswer(QMessageBox::Ok); // the note
            MessageBox::setNextAnswer(QMessageBox::Ok); // not back
        }
        rig.Open();
        rig.Script();
        rig.SilenceAt(row.silentAt);
        rig.WatchDetailQueries(QuestionAt + 90000);
        QStringList seen;
        for (Millis at : row.at)
            rig.At(QuestionAt + at, [&] { seen << rig.Progress(); });
        ASSERT_TRUE(rig.RunUntilClosed());

        EXPECT_FALSE(rig.clock.Stalled());
        EXPECT_EQ(seen, row.shown);
        // The timings and datagrams stay those of the re-read.
        EXPECT_EQ(rig.loop.Now(), QuestionAt + row.closesAfter);
        const auto queries = rig.DetailQueryTimes();
        ASSERT_EQ(queries.size(), 10u);
        EXPECT_EQ(queries[1], QuestionAt + row.closesAfter - 53000);
    }
}

TEST_F(SetupIpDlgReread, NoDetailReplyIsATimeOutThatClosesTheDialog)
{
    apsim::Quirks quirks;
    quirks.noDetail = true;
    AddDevice(quirks);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    Open("10.0.0.99");
    Advance(4999);
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_FALSE(Closed());
    ASSERT_TRUE(RunUntilClosed());

    EXPECT_EQ(loop.Now(), 5000);
    EXPECT_EQ(MessageBox::takeShown(), QStringList{QStringLiteral("Time Out!")});
    EXPECT_EQ(finished->front().at(0).toInt(), QDialog::Rejected);
    EXPECT_FALSE(Find<QPushButton>(Apply)->isEnabled());
    EXPECT_EQ(dialog->DeviceAddress(), "10.0.0.99");
}

// The kernel dropped the device's answers: the time-out says so, once.
TEST_F(SetupIpDlgReread, DropsOfTheReversePathFilterAreToldWithTheTimeOut)
{
    reversePath.modes = {{"eth0", 1}};
    reversePath.risePerRead = 2;
    apsim::Quirks quirks;
    quirks.noDetail = true;
    AddDevice(quirks);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    Open("10.0.0.99");
    ASSERT_TRUE(RunUntilClosed());
    const QStringList told = MessageBox::takeShown();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].startsWith("Time Out!\n\nThe kernel's reverse-path filter dropped 2 packets while Pemblor "
                                   "listened; filtering is on for eth0."))
        << told[0].toStdString();
}

} // namespace
} // namespace pemblor
