// Per-device jobs on the transport, on the fake network with the virtual
// clock: every outcome, the timings of each step, the routing of replies
// between jobs, and what goes on the wire.
#include "DiscoveryFixture.h"

#include "engine/DeviceJob.h"
#include "engine/Transport.h"
#include "tests/fakenet/ToolRig.h"

namespace pemblor::test {
namespace {

constexpr const char* kOtherApHost = "198.18.1.11";
constexpr const char* kMovedHost = "198.18.2.77";

Datagram Detail(std::uint8_t last, const std::string& ip, const std::string& dhcp = "0")
{
    const std::string ipEntry = "IP_ADDR=" + ip;
    const std::string dhcpEntry = "DHCP=" + dhcp;
    return EncodeDatagram(TypeQueryReply, Mac(last), "", "",
                          {ipEntry, "SUBNET_MASK=255.255.255.0", "DEFAULT_GATEWAY=198.18.1.1", dhcpEntry});
}

class Reports final : public JobListener {
public:
    explicit Reports(EventLoop& ui) : m_ui(ui) {}
    struct Finished {
        DeviceJob* job;
        JobReport report;
        EventLoop::Millis time;
    };
    void JobProgress(DeviceJob&, JobStep step, int secondsLeft, int queriesSent) override
    {
        progress.push_back({step, secondsLeft, queriesSent});
    }
    void JobSendFailed(DeviceJob&, Request, int error, std::string_view) override { sendFailures.push_back(error); }
    void JobFinished(DeviceJob& job, const JobReport& report) override
    {
        finished.push_back({&job, report, m_ui.Now()});
    }
    struct Progress {
        JobStep step;
        int secondsLeft;
        int queriesSent;
    };
    std::vector<Finished> finished;
    std::vector<Progress> progress;
    std::vector<int> sendFailures;

private:
    EventLoop& m_ui;
};

class DeviceJobTest : public ::testing::Test, protected ToolTransport {
protected:
    DeviceJobTest() : ToolTransport(kToolHost) {}
    void SetUp() override { ASSERT_TRUE(opened); }

    // Datagrams the tool sent to the device port (the loopback wake at the
    // end aside), with their virtual send times taken by the caller.
    std::vector<std::vector<std::uint8_t>> Sent() const
    {
        std::vector<std::vector<std::uint8_t>> sent;
        for (const auto& datagram : net.SentLog())
            if (datagram.fromHost == kToolHost && datagram.toHost != "127.0.0.1")
                sent.push_back(datagram.bytes);
        return sent;
    }
    static std::vector<std::uint8_t> Bytes(const Datagram& datagram)
    {
        return {datagram.data(), datagram.data() + datagram.size};
    }
    static JobPlan SetPlan(const std::string& ip)
    {
        JobPlan plan;
        plan.change = SettingsRequest{};
        plan.change->ipAddress = ip;
        plan.credentials = {"admin", "secret"};
        return plan;
    }
    // The change alone, from what the job knows.
    static JobPlan ChangeOnly(const std::string& ip)
    {
        JobPlan plan = SetPlan(ip);
        plan.read = false;
        return plan;
    }
    static JobPlan RebootPlan(const std::string& ip)
    {
        JobPlan plan = SetPlan(ip);
        plan.reboot = true;
        plan.verify = true;
        return plan;
    }
    // Runs the job's read: its device answers from kApHost.
    void AnswerRead(std::uint8_t last = 1, TestAp* from = nullptr)
    {
        ui.Advance(10);
        (from ? *from : ap).Send(Detail(last, kApHost));
        ui.Advance(10);
    }
    // Starts both jobs, each on a change of its device's address, and lets
    // their detail queries out.
    void StartBoth(DeviceJob& one, const char* oneTo, DeviceJob& two, const char* twoTo)
    {
        ASSERT_TRUE(one.Start(SetPlan(oneTo)));
        ASSERT_TRUE(two.Start(SetPlan(twoTo)));
        ui.Advance(10);
    }
    // After `ms`, device 1 answers a detail query from `sender`.
    void AnswerAfter(EventLoop::Millis ms, TestAp& from, const char* sender)
    {
        ui.Advance(ms);
        from.Send(Detail(1, sender));
        ui.Advance(10);
    }
    // Runs the job's read, and the device accepts its change.
    void AcceptChange()
    {
        AnswerRead();
        ap.Send(CommandReply(0));
    }
    // The last report, once `count` plans have ended.
    JobReport LastReport(std::size_t count = 1) const
    {
        EXPECT_EQ(reports.finished.size(), count);
        return reports.finished.size() == count ? reports.finished.back().report : JobReport{};
    }

    Reports reports{ui};
    TestAp ap{net, kApHost};
    TestAp moved{net, kMovedHost};
};

// --- Read and change ----------------------------------------------------------

TEST_F(DeviceJobTest, SettingsChangeEndsWithTheDevicesAnswerOrItsTimeOut)
{
    struct Case {
        const char* name;
        std::optional<std::int8_t> result; // none: the device stays silent
        JobOutcome outcome;
        int code;
        EventLoop::Millis endsAfterSend;
    };
    const Case cases[] = {
        {"accepted", 0, JobOutcome::Stored, 0, 30},
        {"refused", 1, JobOutcome::AuthenticationError, 1, 30},
        {"unknown result", 7, JobOutcome::UnknownResult, 7, 30},
        {"negative result", -3, JobOutcome::UnknownResult, -3, 30},
        {"no answer", std::nullopt, JobOutcome::Timeout, 0, 10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reports.finished.clear();
        DeviceJob job(transport, ui, reports, MacString(1));
        ASSERT_TRUE(job.Start(SetPlan("198.18.1.50")));
        AnswerRead();
        EXPECT_EQ(job.Step(), JobStep::Change);
        const EventLoop::Millis sentAt = ui.Now() - 10;
        ui.Advance(20);
        if (c.result)
            ap.Send(CommandReply(*c.result));
        ui.Advance(12000);
        const JobReport report = LastReport();
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(report.step, JobStep::Change);
        EXPECT_EQ(report.result, c.code);
        EXPECT_EQ(report.address, kApHost);
        ASSERT_TRUE(report.before);
        EXPECT_EQ(report.before->ipAddr, kApHost);
        ASSERT_TRUE(report.after);
        EXPECT_EQ(report.after->ipAddr, c.outcome == JobOutcome::Stored ? "198.18.1.50" : kApHost);
        EXPECT_LE(reports.finished[0].time - sentAt, c.endsAfterSend);
        EXPECT_GE(reports.finished[0].time - sentAt, c.result ? 0 : c.endsAfterSend);
        EXPECT_EQ(ui.PendingDeadlines(), 0u);
    }
}

TEST_F(DeviceJobTest, ReadOfASilentDeviceTimesOutAfterItsOwnDeadline)
{
    DeviceJob job(transport, ui, reports, MacString(1));
    JobPlan plan = SetPlan("198.18.1.50");
    plan.detailTimeoutMs = 5000;
    ASSERT_TRUE(job.Start(plan));
    ui.Advance(4999);
    EXPECT_TRUE(reports.finished.empty());
    ui.Advance(1);
    ASSERT_EQ(reports.finished.size(), 1u);
    EXPECT_EQ(reports.finished[0].report.outcome, JobOutcome::Timeout);
    EXPECT_EQ(reports.finished[0].report.step, JobStep::Read);
    EXPECT_FALSE(reports.finished[0].report.before);
    EXPECT_TRUE(reports.finished[0].report.address.empty());
    EXPECT_EQ(Sent(), (std::vector<std::vector<std::uint8_t>>{Bytes(BuildDetailQuery(MacString(1)))}));
}

TEST_F(DeviceJobTest, ChangeThatWouldChangeNothingSendsNothingAfterTheRead)
{
    struct Case {
        const char* name;
        SettingsRequest change;
        bool unchanged;
    };
    SettingsRequest same;
    same.ipAddress = kApHost;
    same.subnetMask = "255.255.255.0";
    same.dhcp = 0;
    SettingsRequest sameGateway;
    sameGateway.gateway = "198.18.1.1";
    SettingsRequest dhcpOn;
    dhcpOn.dhcp = 1;
    SettingsRequest noGateway;
    noGateway.gateway = "";
    const Case cases[] = {
        {"same values", same, true},
        {"same gateway", sameGateway, true},
        {"dhcp turned on", dhcpOn, false},
        {"gateway removed", noGateway, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reports.finished.clear();
        const std::size_t before = Sent().size();
        DeviceJob job(transport, ui, reports, MacString(1));
        JobPlan plan = SetPlan("x");
        plan.change = c.change;
        ASSERT_TRUE(job.Start(plan));
        AnswerRead();
        if (c.unchanged) {
            ASSERT_EQ(reports.finished.size(), 1u);
            EXPECT_EQ(reports.finished[0].report.outcome, JobOutcome::Unchanged);
            EXPECT_EQ(reports.finished[0].report.after, reports.finished[0].report.before);
            EXPECT_EQ(Sent().size() - before, 1u);
        } else {
            EXPECT_EQ(job.Step(), JobStep::Change);
            EXPECT_EQ(Sent().size() - before, 2u);
            job.Stop();
        }
    }
}

// An owner that checks the user's edits itself sends what passed its check,
// even when it matches what was read (the device's spelling may differ).
TEST_F(DeviceJobTest, ChangeWithoutTheSkipGoesEvenWhenItMatchesTheRead)
{
    DeviceJob job(transport, ui, reports, MacString(1));
    ASSERT_TRUE(job.Start(JobPlan{}));
    AnswerRead();
    ASSERT_EQ(reports.finished.size(), 1u);
    const std::size_t before = Sent().size();
    JobPlan plan = SetPlan(kApHost);
    plan.read = false;
    plan.skipUnchanged = false;
    ASSERT_TRUE(job.Start(plan));
    EXPECT_EQ(job.Step(), JobStep::Change);
    EXPECT_EQ(Sent().size() - before, 1u);
    job.Stop();
}

// --- Reboot and verify --------------------------------------------------------

// Verify alone re-reads at once on the reboot's schedule (no restart wait,
// no reboot) and takes an answer from any address: the dialog's re-read
// after a change the user chose not to reboot for.
TEST_F(DeviceJobTest, VerifyAloneRereadsAtOnceOnTheSameSchedule)
{
    for (const bool answers : {false, true}) {
        SCOPED_TRACE(answers ? "answers" : "silent");
        reports.finished.clear();
        DeviceJob job(transport, ui, reports, MacString(1));
        ASSERT_TRUE(job.Start(JobPlan{}));
        AnswerRead();
        const EventLoop::Millis startAt = ui.Now();
        const std::size_t before = Sent().size();
        JobPlan plan;
        plan.read = false;
        plan.verify = true;
        ASSERT_TRUE(job.Start(plan));
        EXPECT_EQ(job.Step(), JobStep::Verify);
        EXPECT_EQ(Sent().size() - before, 1u) << "the first query goes at once";
        if (answers) {
            AnswerAfter(2500, moved, kMovedHost);
            const JobReport report = LastReport(2);
            EXPECT_EQ(report.outcome, JobOutcome::Verified);
            EXPECT_EQ(report.address, kMovedHost);
            continue;
        }
        ui.Advance(60000);
        EXPECT_EQ(LastReport(2).outcome, JobOutcome::NotVerified);
        EXPECT_EQ(reports.finished.back().time - startAt, 53000);
        EXPECT_EQ(Sent().size() - before, 9u);
        for (const auto& sent : net.SentLog())
            EXPECT_NE(sent.bytes, Bytes(BuildRebootRequest(MacString(1), "", ""))) << "no reboot";
    }
}

TEST_F(DeviceJobTest, RebootedDeviceIsVerifiedAtItsNewAddressOnTheDialogsSchedule)
{
    DeviceJob job(transport, ui, reports, MacString(1));
    ASSERT_TRUE(job.Start(RebootPlan(kMovedHost)));
    AcceptChange();
    ui.Advance(10);
    ASSERT_EQ(job.Step(), JobStep::Restart);
    const EventLoop::Millis rebootAt = ui.Now() - 10;
    const std::size_t sentBeforeWait = Sent().size();
    ui.Advance(29980);
    EXPECT_EQ(Sent().size(), sentBeforeWait) << "nothing goes out during the restart wait";
    ui.Advance(20);
    ASSERT_EQ(job.Step(), JobStep::Verify);
    EXPECT_EQ(Sent().size(), sentBeforeWait + 1);
    EXPECT_EQ(Sent().back(), Bytes(BuildDetailQuery(MacString(1))));
    moved.Send(Detail(1, kMovedHost));
    ui.Advance(10);
    const JobReport report = LastReport();
    EXPECT_EQ(report.outcome, JobOutcome::Verified);
    EXPECT_EQ(report.address, kMovedHost);
    EXPECT_EQ(report.oldAddress, kApHost);
    ASSERT_TRUE(report.after);
    EXPECT_EQ(report.after->ipAddr, kMovedHost);
    EXPECT_GE(reports.finished[0].time - rebootAt, 30000);

    // The wire: the detail query, the change, the reboot, one query.
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 4u);
    SettingsChange change;
    change.ipAddress = kMovedHost;
    EXPECT_EQ(sent[1], Bytes(BuildSettingsChange(MacString(1), "admin", "secret", change)));
    EXPECT_EQ(sent[2], Bytes(BuildRebootRequest(MacString(1), "admin", "secret")));

    // The countdown: 30 seconds of restart, told once a second.
    std::vector<int> restart;
    for (const auto& step : reports.progress)
        if (step.step == JobStep::Restart)
            restart.push_back(step.secondsLeft);
    ASSERT_EQ(restart.size(), 30u);
    EXPECT_EQ(restart.front(), 30);
    EXPECT_EQ(restart.back(), 1);
}

TEST_F(DeviceJobTest, DeviceNotSeenAfterTheRebootIsNotVerifiedAfterNineQueriesOver53Seconds)
{
    DeviceJob job(transport, ui, reports, MacString(1));
    ASSERT_TRUE(job.Start(RebootPlan(kMovedHost)));
    AcceptChange();
    ui.Advance(10);
    const EventLoop::Millis rebootAt = ui.Now() - 10;
    const std::size_t sentBefore = Sent().size();
    // Query times relative to the reboot request, in seconds.
    std::vector<EventLoop::Millis> queryTimes;
    for (int second = 0; second < 90 && reports.finished.empty(); ++second) {
        const std::size_t count = Sent().size();
        ui.Advance(1000);
        for (std::size_t i = count; i < Sent().size(); ++i)
            queryTimes.push_back((ui.Now() - rebootAt) / 1000);
    }
    const JobReport report = LastReport();
    EXPECT_EQ(report.outcome, JobOutcome::NotVerified);
    EXPECT_FALSE(report.heardAfterRestart);
    EXPECT_EQ(report.address, kApHost);
    EXPECT_EQ(report.expectedAddress, kMovedHost);
    EXPECT_EQ(reports.finished[0].time - rebootAt, 30000 + 53000);
    EXPECT_EQ(Sent().size() - sentBefore, 9u);
    EXPECT_EQ(queryTimes, (std::vector<EventLoop::Millis>{30, 35, 41, 47, 53, 59, 65, 71, 77}));
}

TEST_F(DeviceJobTest, DeviceThatAnswersOnlyFromItsOldAddressIsToldSo)
{
    DeviceJob job(transport, ui, reports, MacString(1));
    ASSERT_TRUE(job.Start(RebootPlan(kMovedHost)));
    AcceptChange();
    ui.Advance(30000);
    for (int i = 0; i < 60 && reports.finished.empty(); ++i) {
        ap.Send(Detail(1, kApHost));
        ui.Advance(1000);
    }
    const JobReport report = LastReport();
    EXPECT_EQ(report.outcome, JobOutcome::NotVerified);
    EXPECT_TRUE(report.heardAfterRestart);
    EXPECT_EQ(report.address, kApHost);
    EXPECT_EQ(report.oldAddress, kApHost);
}

// After the restart, an answer counts only under the device's MAC from the
// address it should be at (the changed one, or the one it reported before
// when nothing moved it), with the netmask it should have where the answer
// reports one; with DHCP turned on, from anywhere.
TEST_F(DeviceJobTest, VerifyCountsOnlyAnAnswerWhereTheDeviceShouldBe)
{
    TestAp elsewhere(net, kOtherApHost);
    const auto change = [](std::optional<std::string> ip, std::optional<std::string> netmask = std::nullopt,
                           std::optional<int> dhcp = std::nullopt) {
        SettingsRequest request;
        request.ipAddress = std::move(ip);
        request.subnetMask = std::move(netmask);
        request.dhcp = dhcp;
        return request;
    };
    struct Case {
        const char* name;
        std::optional<SettingsRequest> change; // none: the reboot alone
        TestAp* answersFrom;
        std::string answerHost;
        std::optional<std::string> netmask; // what the answer reports; none: no SUBNET_MASK entry
        JobOutcome outcome;
    };
    const Case cases[] = {
        {"at its new address", change(kMovedHost), &moved, kMovedHost, "255.255.255.0", JobOutcome::Verified},
        {"at its new address with its new netmask", change(kMovedHost, "255.255.0.0"), &moved, kMovedHost,
         "255.255.0.0", JobOutcome::Verified},
        {"at its new address with another netmask", change(kMovedHost, "255.255.0.0"), &moved, kMovedHost,
         "255.255.255.0", JobOutcome::NotVerified},
        {"at its new address, no netmask told", change(kMovedHost, "255.255.0.0"), &moved, kMovedHost, std::nullopt,
         JobOutcome::Verified},
        {"somewhere else", change(kMovedHost), &elsewhere, kOtherApHost, "255.255.255.0", JobOutcome::NotVerified},
        {"at the old address, a move asked", change(kMovedHost), &ap, kApHost, "255.255.255.0",
         JobOutcome::NotVerified},
        {"at the old address, no move asked", std::nullopt, &ap, kApHost, "255.255.255.0", JobOutcome::Verified},
        {"somewhere else, no move asked", std::nullopt, &elsewhere, kOtherApHost, "255.255.255.0",
         JobOutcome::NotVerified},
        {"somewhere else, DHCP turned on", change(std::nullopt, std::nullopt, 1), &elsewhere, kOtherApHost,
         "255.255.0.0", JobOutcome::Verified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reports.finished.clear();
        DeviceJob job(transport, ui, reports, MacString(1));
        JobPlan plan = RebootPlan("");
        plan.change = c.change;
        ASSERT_TRUE(job.Start(plan));
        AnswerRead();
        if (c.change)
            ap.Send(CommandReply(0));
        ui.Advance(30100);
        ASSERT_EQ(job.Step(), JobStep::Verify);
        // A detail reply, though without a netmask in one case.
        std::vector<std::string> entries{"IP_ADDR=" + c.answerHost, "DHCP=0"};
        if (c.netmask)
            entries.push_back("SUBNET_MASK=" + *c.netmask);
        const std::vector<std::string_view> views(entries.begin(), entries.end());
        const EventLoop::Millis answeredAt = ui.Now();
        c.answersFrom->Send(EncodeDatagram(TypeQueryReply, Mac(1), "", "", views));
        ui.Advance(60000);
        const JobReport report = LastReport();
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(report.address, c.answerHost);
        EXPECT_TRUE(report.heardAfterRestart);
        // Not verified: the re-read went on to its end.
        if (c.outcome == JobOutcome::NotVerified) {
            EXPECT_GE(reports.finished[0].time - answeredAt, 52000);
        }
    }
}

// One plan after another on one job, as a dialog runs them: the reboot's
// plan knows from the earlier ones where the device should come back.
TEST_F(DeviceJobTest, PlansRunOneAfterAnotherBuildOnWhatTheJobLearned)
{
    DeviceJob job(transport, ui, reports, MacString(1));
    JobPlan read;
    ASSERT_TRUE(job.Start(read));
    AnswerRead();
    EXPECT_EQ(LastReport().outcome, JobOutcome::Unchanged);
    ASSERT_TRUE(job.Start(read));
    EXPECT_FALSE(job.Start(read)) << "a plan while another runs";
    ap.Send(Detail(1, kApHost));
    ui.Advance(10);

    ASSERT_TRUE(job.Start(ChangeOnly(kMovedHost)));
    ui.Advance(10);
    ap.Send(CommandReply(0));
    ui.Advance(10);
    const JobReport stored = LastReport(3);
    EXPECT_EQ(stored.outcome, JobOutcome::Stored);
    ASSERT_TRUE(stored.after);
    EXPECT_EQ(stored.after->ipAddr, kMovedHost);

    JobPlan reboot;
    reboot.read = false;
    reboot.reboot = true;
    reboot.verify = true;
    ASSERT_TRUE(job.Start(reboot));
    AnswerAfter(30100, ap, kApHost);
    ui.Advance(60000);
    const JobReport rebooted = LastReport(4);
    EXPECT_EQ(rebooted.outcome, JobOutcome::NotVerified);
    EXPECT_EQ(rebooted.expectedAddress, kMovedHost);
    EXPECT_EQ(rebooted.oldAddress, kApHost);
}

TEST_F(DeviceJobTest, RefusedRebootEndsTheWait)
{
    struct Case {
        const char* name;
        bool verify;
        std::int8_t result;
        EventLoop::Millis answerAfter;
        JobOutcome outcome;
    };
    const Case cases[] = {
        {"refused, waiting", true, 1, 3000, JobOutcome::AuthenticationError},
        {"other result, waiting", true, 4, 12000, JobOutcome::UnknownResult},
        {"refused, not waiting", false, 1, 1500, JobOutcome::AuthenticationError},
        {"refused too late, not waiting", false, 1, 2500, JobOutcome::RebootSent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reports.finished.clear();
        DeviceJob job(transport, ui, reports, MacString(1), kApHost);
        JobPlan plan;
        plan.read = false;
        plan.reboot = true;
        plan.verify = c.verify;
        plan.credentials = {"admin", "wrong"};
        ASSERT_TRUE(job.Start(plan));
        const std::size_t sent = Sent().size();
        ui.Advance(c.answerAfter);
        ap.Send(CommandReply(c.result));
        ui.Advance(10);
        ASSERT_EQ(reports.finished.size(), 1u);
        EXPECT_EQ(reports.finished[0].report.outcome, c.outcome);
        if (c.outcome != JobOutcome::RebootSent) {
            EXPECT_EQ(reports.finished[0].report.result, c.result);
        }
        ui.Advance(90000);
        EXPECT_EQ(Sent().size(), sent) << "no query after a refusal";
        EXPECT_EQ(reports.finished.size(), 1u);
    }
}

TEST_F(DeviceJobTest, StoppedJobSendsNothingMoreAndHearsNothing)
{
    for (JobStep stopIn : {JobStep::Change, JobStep::Restart, JobStep::Verify}) {
        SCOPED_TRACE(static_cast<int>(stopIn));
        reports.finished.clear();
        DeviceJob job(transport, ui, reports, MacString(1));
        ASSERT_TRUE(job.Start(RebootPlan(kMovedHost)));
        AnswerRead();
        if (stopIn != JobStep::Change) {
            ap.Send(CommandReply(0));
            ui.Advance(stopIn == JobStep::Restart ? 5000 : 31000);
        }
        ASSERT_EQ(job.Step(), stopIn);
        job.Stop();
        EXPECT_FALSE(job.Running());
        EXPECT_EQ(job.Report().outcome, JobOutcome::Stopped);
        EXPECT_EQ(job.Report().step, stopIn);
        const std::size_t sent = Sent().size();
        ap.Send(CommandReply(1));
        moved.Send(Detail(1, kMovedHost));
        ui.Advance(100000);
        EXPECT_EQ(Sent().size(), sent);
        EXPECT_TRUE(reports.finished.empty());
        EXPECT_EQ(ui.PendingDeadlines(), 0u);
    }
}

// --- Routing ------------------------------------------------------------------

TEST_F(DeviceJobTest, TwoJobsForTwoDevicesRunAtOnceAndEachHearsOnlyItsOwn)
{
    TestAp other(net, kOtherApHost);
    DeviceJob first(transport, ui, reports, MacString(1));
    DeviceJob second(transport, ui, reports, MacString(2));
    StartBoth(first, "198.18.1.50", second, "198.18.1.51");
    other.Send(Detail(2, kOtherApHost));
    ui.Advance(10);
    EXPECT_EQ(second.Step(), JobStep::Change);
    EXPECT_EQ(first.Step(), JobStep::Read);
    ap.Send(Detail(1, kApHost));
    ui.Advance(10);
    EXPECT_EQ(first.Step(), JobStep::Change);
    // The second device refuses; the first accepts two seconds later.
    other.Send(CommandReply(1, Mac(2)));
    ui.Advance(2000);
    ap.Send(CommandReply(0, Mac(1)));
    ui.Advance(10);
    ASSERT_EQ(reports.finished.size(), 2u);
    EXPECT_EQ(reports.finished[0].job, &second);
    EXPECT_EQ(reports.finished[0].report.outcome, JobOutcome::AuthenticationError);
    EXPECT_EQ(reports.finished[0].report.address, kOtherApHost);
    EXPECT_EQ(reports.finished[1].job, &first);
    EXPECT_EQ(reports.finished[1].report.outcome, JobOutcome::Stored);
    EXPECT_EQ(reports.finished[1].report.address, kApHost);
}

TEST_F(DeviceJobTest, StrayAndForeignRepliesCompleteNoJob)
{
    DeviceJob job(transport, ui, reports, MacString(1));
    ASSERT_TRUE(job.Start(SetPlan("198.18.1.50")));
    TestAp stranger(net, kOtherApHost);
    ui.Advance(10);
    // While it reads: a result of its device, another device's detail.
    ap.Send(CommandReply(0, Mac(1)));
    stranger.Send(Detail(2, kOtherApHost));
    // Its own discovery reply, drawn by another tool's discovery: it lacks
    // the names the read asks for, so the read goes on.
    const std::vector<std::string_view> discovered{"SSID=lab", "IP_ADDR=198.18.1.10", "CURRENT_SUBNET_MASK=255.255.255.0",
                                                   "CHANNEL=6"};
    ap.Send(EncodeDatagram(TypeQueryReply, Mac(1), "", "", discovered));
    ui.Advance(10);
    EXPECT_EQ(job.Step(), JobStep::Read);
    ap.Send(Detail(1, kApHost));
    ui.Advance(10);
    ASSERT_EQ(job.Step(), JobStep::Change);
    // While it awaits the result: a query reply of its device, another
    // device's result, a zero-MAC result from another address, and a
    // request of its MAC (another tool's change).
    ap.Send(Detail(1, kApHost));
    stranger.Send(CommandReply(0, Mac(2)));
    stranger.Send(CommandReply(0, MacBytes{}));
    ap.Send(EncodeDatagram(TypeCommand, Mac(1), "u", "p", {"flash set DHCP 1"}));
    ui.Advance(100);
    EXPECT_EQ(job.Step(), JobStep::Change);
    EXPECT_TRUE(reports.finished.empty());
    ui.Advance(10000);
    ASSERT_EQ(reports.finished.size(), 1u);
    EXPECT_EQ(reports.finished[0].report.outcome, JobOutcome::Timeout);
}

// Two devices behind one address (one host): a zero-MAC result counts for
// the device whose command is the one outstanding there, and for nobody
// while both have one outstanding.
TEST_F(DeviceJobTest, ZeroMacResultFromASharedAddressCountsForTheOneCommandOutstandingThere)
{
    TestAp sharing(net, kApHost);
    DeviceJob first(transport, ui, reports, MacString(1));
    DeviceJob second(transport, ui, reports, MacString(2));
    JobPlan readOnly;
    ASSERT_TRUE(first.Start(SetPlan("198.18.1.50")));
    ASSERT_TRUE(second.Start(readOnly));
    ui.Advance(10);
    ap.Send(Detail(1, kApHost));
    ui.Advance(10);
    ASSERT_EQ(first.Step(), JobStep::Change);
    // The second is still reading: the zero-MAC result is the first's.
    sharing.Send(CommandReply(0, MacBytes{}));
    ui.Advance(10);
    ASSERT_EQ(reports.finished.size(), 1u);
    EXPECT_EQ(reports.finished[0].job, &first);
    EXPECT_EQ(reports.finished[0].report.outcome, JobOutcome::Stored);
    EXPECT_EQ(second.Step(), JobStep::Read);
    // The first's command is no longer outstanding there: a zero-MAC result
    // from that address is the next command's alone.
    DeviceJob next(transport, ui, reports, MacString(3), kApHost);
    ASSERT_TRUE(next.Start(ChangeOnly("198.18.1.51")));
    ui.Advance(10);
    sharing.Send(CommandReply(0, MacBytes{}));
    ui.Advance(10);
    ASSERT_EQ(reports.finished.size(), 2u);
    EXPECT_EQ(reports.finished[1].job, &next);
    EXPECT_EQ(reports.finished[1].report.outcome, JobOutcome::Stored);
    second.Stop();

    // Both awaiting a result there: nobody can tell whose it is.
    reports.finished.clear();
    DeviceJob third(transport, ui, reports, MacString(1));
    DeviceJob fourth(transport, ui, reports, MacString(2));
    StartBoth(third, "198.18.1.52", fourth, "198.18.1.53");
    ap.Send(Detail(1, kApHost));
    sharing.Send(Detail(2, kApHost));
    ui.Advance(10);
    ASSERT_EQ(third.Step(), JobStep::Change);
    ASSERT_EQ(fourth.Step(), JobStep::Change);
    sharing.Send(CommandReply(0, MacBytes{}));
    ui.Advance(10);
    EXPECT_TRUE(reports.finished.empty());
    // Its own MAC still counts.
    sharing.Send(CommandReply(0, Mac(2)));
    ui.Advance(10);
    ASSERT_EQ(reports.finished.size(), 1u);
    EXPECT_EQ(reports.finished[0].job, &fourth);
    third.Stop();
}

TEST_F(DeviceJobTest, ZeroMacResultNeverCountsForAJobThatDoesNotKnowTheAddress)
{
    DeviceJob job(transport, ui, reports, MacString(1));
    ASSERT_TRUE(job.Start(ChangeOnly("198.18.1.50")));
    ui.Advance(10);
    ap.Send(CommandReply(0, MacBytes{}));
    ui.Advance(10);
    EXPECT_EQ(job.Step(), JobStep::Change);
    ap.Send(CommandReply(0, Mac(1)));
    ui.Advance(10);
    ASSERT_EQ(reports.finished.size(), 1u);
    EXPECT_EQ(reports.finished[0].report.outcome, JobOutcome::Stored);
}

// Discovery, a fleet and the jobs listen side by side: every observer hears
// every reply, one added while the receive thread runs among them, and one
// removed hears nothing more.
TEST_F(DeviceJobTest, EveryObserverHearsEveryReplyUntilItIsRemoved)
{
    struct Hearer final : TransportObserver {
        void QueryHeard(unsigned) override { ++queries; }
        void ReplyReceived(const ReplyDatagram& reply, unsigned) override { senders.emplace_back(reply.sender()); }
        void ReceiveFailed(ReceiveFailure) override {}
        std::atomic<int> queries{0};
        std::vector<std::string> senders; // written by the receive thread only
    };
    Hearer first, second;
    transport.AddObserver(first);
    transport.AddObserver(second);
    transport.AddObserver(first); // once only
    ap.Send(Detail(1, kApHost));
    ui.Advance(10);
    transport.RemoveObserver(first);
    moved.Send(Detail(2, kMovedHost));
    ui.Advance(10);
    ap.Send(EncodeDatagram(TypeQuery, MacBytes{}, "", "", {}));
    ui.Advance(10);
    EXPECT_EQ(first.senders, std::vector<std::string>{kApHost});
    EXPECT_EQ(second.senders, (std::vector<std::string>{kApHost, kMovedHost}));
    EXPECT_EQ(first.queries.load(), 0);
    EXPECT_EQ(second.queries.load(), 1);
    transport.RemoveObserver(second);
}

TEST_F(DeviceJobTest, JobThatCannotSendEndsAtOnce)
{
    tool->InjectFailure(FakeOp::Send, 101);
    DeviceJob job(transport, ui, reports, MacString(1));
    ASSERT_TRUE(job.Start(SetPlan("198.18.1.50")));
    ASSERT_EQ(reports.finished.size(), 1u);
    EXPECT_EQ(reports.finished[0].report.outcome, JobOutcome::SendFailed);
    EXPECT_EQ(reports.sendFailures, std::vector<int>{101});
    EXPECT_EQ(ui.PendingDeadlines(), 0u);
}

} // namespace
} // namespace pemblor::test
