#include "protocol/Requests.h"
#include "resources/ResourceIds.h"
#include "tests/support/SetupIpRig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pemblor {
namespace {

using Millis = SetupIpRig::Millis;
using Profile = FakeAccessPoint::Profile;

constexpr const char* Question =
    "Change setting successfully!\n\nDo you want to reboot the target to take effect immediately?";
constexpr const char* RebootNote = "It may take about one minute to reboot the target.";
constexpr Millis ApplyAt = 300;
// The device answers the change 100 ms later; the next poll tick, one second
// after Apply, finds the result and asks the question.
constexpr Millis QuestionAt = ApplyAt + 1000;
// After the first detail reply (100 ms) and before Apply.
constexpr Millis Reconfigure = 200;

// The user changes the IP address to 192.168.1.30 and applies it at ApplyAt,
// then answers the success question with `answer`.
void Script(SetupIpRig& rig, int answer)
{
    rig.Report("192.168.1.20", "255.255.255.0", "192.168.1.1", "0");
    rig.toolkit.AnswerNextMessage(answer);
    rig.Start();
    rig.toolkit.At(ApplyAt, [&rig] {
        FakeWindow& w = *rig.toolkit.LastWindow(IDD_SETUPIP);
        w.TypeText(IDC_EDIT_USERNAME, "admin");
        w.TypeText(IDC_EDIT_PASSWORD, "pw");
        w.TypeField(IDC_IP_ADDRESS, 3, 30);
        w.Click(IDC_BTN_APPLY);
    });
}

std::vector<Millis> Since(const std::vector<Millis>& times, std::size_t from)
{
    std::vector<Millis> relative;
    for (std::size_t i = from; i < times.size(); ++i)
        relative.push_back(times[i] - times[from]);
    return relative;
}

// What the progress line shows at the given virtual times.
struct ProgressProbe {
    std::vector<std::string> seen;
    void Watch(SetupIpRig& rig, const std::vector<Millis>& times)
    {
        for (Millis at : times)
            rig.toolkit.AfterExternal(at - rig.toolkit.Now(), [this, &rig] {
                seen.push_back(rig.toolkit.LastWindow(IDD_SETUPIP)->ItemText(IDC_TEXT_PROGRESS));
            });
    }
};

TEST(SetupIpReread, CancelSkipsTheRebootAndRereadsOnTheFixedSchedule)
{
    SetupIpRig rig;
    rig.ConfigureAt(Reconfigure, rig.device, [](Profile& p) { p.answerDetail = false; });
    Script(rig, IdCancel);
    rig.WatchDetailQueries(QuestionAt + 60000);
    const std::string row = rig.RunDialog("10.0.0.99");

    EXPECT_FALSE(rig.toolkit.Stalled());
    ASSERT_EQ(rig.toolkit.Messages().size(), 1u);
    const auto& box = rig.toolkit.Messages().front();
    EXPECT_EQ(box.text, Question);
    EXPECT_EQ(box.buttons, MbButtons::OkCancel);
    EXPECT_EQ(box.icon, MbIcon::Question);
    EXPECT_EQ(box.ownerTemplate, IDD_SETUPIP);
    EXPECT_EQ(box.time, QuestionAt);
    for (const auto& request : rig.device.Requests())
        EXPECT_NE(request.entries, std::vector<std::string>{"reboot"});

    // The dialog's own query, then the nine of the re-read.
    const auto times = rig.DetailQueryTimes();
    ASSERT_EQ(times.size(), 10u);
    EXPECT_EQ(times[1], QuestionAt) << "the re-read starts at once";
    const std::vector<Millis> schedule{0, 5000, 11000, 17000, 23000, 29000, 35000, 41000, 47000};
    EXPECT_EQ(Since(times, 1), schedule);
    EXPECT_EQ(rig.toolkit.Now() - times[1], 53000) << "closes 53 s after the first re-read query";
    EXPECT_TRUE(rig.toolkit.Waits().empty()) << "nothing waits on the user-interface thread";
    EXPECT_EQ(rig.toolkit.WaitCursorDepth(), 0);
    EXPECT_EQ(rig.window->Result(), IDCANCEL);
    EXPECT_EQ(rig.dialog->Job()->Report().outcome, JobOutcome::NotVerified);
    // No reply during the re-read: the row keeps the first reply's sender.
    EXPECT_EQ(row, SetupIpRig::DeviceHost);
}

TEST(SetupIpReread, AReplyBetweenTwoPausesEndsTheRereadAtOnce)
{
    SetupIpRig rig;
    // The first re-read query is answered 2.5 s later, half-way between the
    // checks at 2 s and 3 s.
    rig.ConfigureAt(Reconfigure, rig.device, [](Profile& p) { p.detailDelay = 2500; });
    Script(rig, IdCancel);
    rig.WatchDetailQueries(QuestionAt + 60000);
    const std::string row = rig.RunDialog();

    const auto times = rig.DetailQueryTimes();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[1], QuestionAt);
    // The reply ends the re-read when it arrives, not at the next second.
    EXPECT_GE(rig.toolkit.Now() - times[1], 2500);
    EXPECT_LT(rig.toolkit.Now() - times[1], 3000);
    EXPECT_EQ(rig.dialog->Job()->Report().outcome, JobOutcome::Verified);
    EXPECT_EQ(rig.toolkit.WaitCursorDepth(), 0);
    // A device that has not taken the new address yet answers from its old one.
    EXPECT_EQ(row, SetupIpRig::DeviceHost);
}

TEST(SetupIpReread, RebootThenTheRowShowsTheAddressTheDeviceAnswersFrom)
{
    SetupIpRig rig;
    // Back at the address the user gave it (an answer from anywhere else
    // would not count as back).
    FakeAccessPoint& rebooted = rig.AddMovedDevice("192.168.1.30");
    rig.ConfigureAt(Reconfigure, rig.device, [](Profile& p) { p.answerDetail = false; });
    rig.ConfigureAt(Reconfigure, rebooted, [](Profile& p) { p.answerDetail = true; });
    Script(rig, IdOk);
    rig.WatchDetailQueries(QuestionAt + 90000);
    const std::string row = rig.RunDialog();

    EXPECT_FALSE(rig.toolkit.Stalled());
    EXPECT_EQ(rig.toolkit.MessageTexts(), (std::vector<std::string>{Question, RebootNote}));
    const auto& note = rig.toolkit.Messages()[1];
    EXPECT_EQ(note.buttons, MbButtons::Ok);
    EXPECT_EQ(note.icon, MbIcon::None);
    EXPECT_EQ(note.ownerTemplate, IDD_SETUPIP);

    // The reboot request carries the credentials as they stand in the edits.
    const auto rebootBytes = SetupIpRig::Wire(BuildRebootRequest(SetupIpRig::MacText, "admin", "pw"));
    int reboots = 0;
    for (const auto& bytes : rig.SentByTool())
        reboots += bytes == rebootBytes ? 1 : 0;
    EXPECT_EQ(reboots, 1);

    EXPECT_TRUE(rig.toolkit.Waits().empty());
    const auto times = rig.DetailQueryTimes();
    ASSERT_EQ(times.size(), 2u) << "the device answers the first re-read query";
    EXPECT_EQ(times[1], QuestionAt + 30000);
    EXPECT_EQ(rig.toolkit.WaitCursorDepth(), 0);
    EXPECT_EQ(row, "192.168.1.30");
}

// The greyed form is not all the user sees: a line under it says what the
// dialog waits for and how many seconds are left, counting down the 30 s of
// the reboot and then the 53 s the re-read can last.
TEST(SetupIpReread, ProgressLineCountsDownTheRebootWaitAndTheReread)
{
    const std::string restart = "Waiting for the device to restart\u2026 ";
    const std::string reread = "Reading the device's settings\u2026 ";
    struct Row {
        int answer;
        std::vector<Millis> at; // after the question
        std::vector<std::string> shown;
        Millis closesAfter;
    };
    const Row rows[] = {
        {IdOk,
         {-500, 500, 7500, 29500, 30500, 31500, 30000 + 52500},
         {"", restart + "30 s", restart + "23 s", restart + "1 s", reread + "53 s", reread + "52 s", reread + "1 s"},
         30000 + 53000},
        {IdCancel, {500, 23500, 52500}, {reread + "53 s", reread + "30 s", reread + "1 s"}, 53000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answer);
        SetupIpRig rig;
        rig.ConfigureAt(Reconfigure, rig.device, [](Profile& p) { p.answerDetail = false; });
        Script(rig, row.answer);
        rig.WatchDetailQueries(QuestionAt + 90000);
        ProgressProbe probe;
        std::vector<Millis> times;
        for (Millis at : row.at)
            times.push_back(QuestionAt + at);
        probe.Watch(rig, times);
        rig.RunDialog();

        EXPECT_FALSE(rig.toolkit.Stalled());
        EXPECT_EQ(probe.seen, row.shown);
        // The timings and datagrams stay those of the re-read.
        EXPECT_EQ(rig.toolkit.Now(), QuestionAt + row.closesAfter);
        const auto queries = rig.DetailQueryTimes();
        ASSERT_EQ(queries.size(), 10u);
        EXPECT_EQ(queries[1], QuestionAt + row.closesAfter - 53000);
        EXPECT_EQ(rig.toolkit.WaitCursorDepth(), 0);
    }
}

TEST(SetupIpReread, NoDetailReplyIsATimeOutThatClosesTheDialog)
{
    SetupIpRig rig;
    rig.Configure(rig.device, [](Profile& p) { p.answerDetail = false; });
    rig.Start();
    const std::string row = rig.RunDialog("10.0.0.99");

    EXPECT_FALSE(rig.toolkit.Stalled());
    ASSERT_EQ(rig.toolkit.MessageTexts(), std::vector<std::string>{"Time Out!"});
    EXPECT_EQ(rig.toolkit.Messages().front().time, 5000);
    EXPECT_EQ(rig.toolkit.Messages().front().ownerTemplate, IDD_SETUPIP);
    EXPECT_TRUE(rig.window->Ended());
    EXPECT_EQ(rig.window->Result(), IDCANCEL);
    EXPECT_FALSE(rig.window->ButtonAt(IDC_BTN_APPLY).IsWindowEnabled());
    EXPECT_EQ(row, "10.0.0.99");
}

} // namespace
} // namespace pemblor
