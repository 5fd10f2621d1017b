#include "fleet/ReaddressJob.h"
#include "tests/fleet/FakeFleet.h"

#include <gtest/gtest.h>

#include <map>

namespace pemblor {
namespace {

using Millis = FakeFleet::Millis;

std::string Mac(int n)
{
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:00:%02X:%02X", n >> 8, n & 0xFF);
    return text;
}

std::string Host(int n)
{
    return "198.18." + std::to_string(1 + n / 250) + "." + std::to_string(1 + n % 250);
}

FakeFleet::Device Ap(int n, std::string address = {})
{
    FakeFleet::Device device;
    device.mac = Mac(n);
    device.address = address.empty() ? "192.168.1." + std::to_string(n + 1) : address;
    device.values = {device.address, "255.255.255.0", "192.168.1.254", "0"};
    return device;
}

JobRow Row(int n, std::string ip, std::optional<std::string> netmask = "255.255.0.0")
{
    return {{Mac(n), std::move(ip), std::move(netmask), std::nullopt, false}, {}};
}

// Runs a job to its end on `fleet`, collecting the outcomes by MAC.
struct JobRun {
    explicit JobRun(FakeFleet& fleet, std::vector<JobRow> rows, JobSettings settings = Defaults())
        : job(fleet, std::move(settings), std::move(rows), [this, &fleet](const DeviceOutcome& outcome) {
            EXPECT_EQ(outcomes.count(outcome.mac), 0u) << outcome.mac << " ended twice";
            outcomes[outcome.mac] = outcome;
            order.push_back(outcome.mac);
            fleet.Ended(outcome.mac);
            ended[outcome.mac] = fleet.Now();
        })
    {
    }
    static JobSettings Defaults()
    {
        JobSettings settings;
        settings.user = "admin";
        settings.password = "secret";
        settings.reboot = true;
        return settings;
    }
    const DeviceOutcome& Of(int n) { return outcomes.at(Mac(n)); }

    ReaddressJob job;
    std::map<std::string, DeviceOutcome> outcomes;
    std::map<std::string, Millis> ended;
    std::vector<std::string> order;
};

TEST(ReaddressJob, EveryOutcome)
{
    std::vector<FakeFleet::Device> aps;
    for (int n = 0; n < 9; ++n)
        aps.push_back(Ap(n));
    aps[1].address = "198.18.1.2"; // holds its plan
    aps[1].values = {"198.18.1.2", "255.255.0.0", "192.168.1.254", "0"};
    aps[2].password = "other";
    aps[3].answersChange = false;
    aps[4].answersRead = false;
    aps[5].forcedResult = 2;
    aps[6].neverReturns = true;
    FakeFleet fleet(aps);
    std::vector<JobRow> rows;
    for (int n = 0; n < 8; ++n)
        rows.push_back(Row(n, Host(n)));
    rows.push_back(Row(8, "198.18.1.300"));
    // A blank netmask cell: verified against the netmask it keeps.
    rows[7].row.netmask = std::nullopt;
    rows[7].row.gateway = "0.0.0.0";
    JobRun run(fleet, rows);
    rows.clear();
    fleet.Run(run.job);

    ASSERT_TRUE(run.job.Done());
    ASSERT_EQ(run.outcomes.size(), 9u);
    struct Expected {
        JobOutcome result;
        std::optional<std::string> ip;
        const char* message;
    };
    const std::vector<Expected> expected{
        {JobOutcome::Verified, "198.18.1.1", ""},
        {JobOutcome::Unchanged, "198.18.1.2", ""},
        {JobOutcome::AuthenticationError, "192.168.1.3", "Authentication Error!"},
        {JobOutcome::Timeout, "192.168.1.4", "Time Out!"},
        {JobOutcome::NotFound, std::nullopt, "The device did not answer."},
        {JobOutcome::UnknownResult, "192.168.1.6", "The device answered the change with result 2."},
        {JobOutcome::NotVerified, "192.168.1.7", "It was not seen at its new address."},
        {JobOutcome::Verified, "198.18.1.8", ""},
        {JobOutcome::Invalid, std::nullopt, "Invalid IP Address!"},
    };
    for (int n = 0; n < 9; ++n) {
        SCOPED_TRACE(n);
        const DeviceOutcome& outcome = run.Of(n);
        EXPECT_EQ(ResultName(outcome.result), ResultName(expected[n].result));
        EXPECT_EQ(outcome.ip, expected[n].ip);
        EXPECT_EQ(outcome.message, expected[n].message);
    }
    // Before is what was read; after what it should hold, or holds.
    EXPECT_EQ(run.Of(0).before, (DeviceSettings{"192.168.1.1", "255.255.255.0", "192.168.1.254", "0"}));
    EXPECT_EQ(run.Of(0).after, (DeviceSettings{"198.18.1.1", "255.255.0.0", "192.168.1.254", "0"}));
    EXPECT_EQ(run.Of(2).after, run.Of(2).before);
    EXPECT_FALSE(run.Of(4).before);
    EXPECT_FALSE(run.Of(8).before);
    // Nothing sent to the unchanged, the unread and the refused; nothing sent twice.
    for (int n : {1, 4, 8})
        EXPECT_EQ(fleet.At(Mac(n)).changes, 0) << n;
    for (int n : {0, 2, 3, 5, 6, 7})
        EXPECT_EQ(fleet.At(Mac(n)).changes, 1) << n;
    for (int n : {0, 6, 7})
        EXPECT_EQ(fleet.At(Mac(n)).reboots, 1) << n;
    for (int n : {2, 3, 5})
        EXPECT_EQ(fleet.At(Mac(n)).reboots, 0) << n;
    // The one never back is given up 90 s after its reboot, not later.
    EXPECT_LE(run.ended.at(Mac(6)), 90000 + 100);
    EXPECT_GE(run.ended.at(Mac(6)), 90000);
    // All verified about one reboot time in: together, not one after another.
    EXPECT_LE(run.ended.at(Mac(0)), 30000 + 2100);
}

TEST(ReaddressJob, WithoutRebootTheAcceptedChangeIsStoredAndADryRunSendsNothing)
{
    FakeFleet fleet({Ap(0), Ap(1)});
    fleet.At(Mac(1)).values = {"198.18.1.2", "255.255.0.0", "192.168.1.254", "0"};
    JobSettings settings = JobRun::Defaults();
    settings.reboot = false;
    JobRun stored(fleet, {Row(0, Host(0)), Row(1, Host(1))}, settings);
    fleet.Run(stored.job);
    EXPECT_EQ(stored.Of(0).result, JobOutcome::Stored);
    EXPECT_EQ(stored.Of(0).ip, "192.168.1.1");
    EXPECT_EQ(stored.Of(1).result, JobOutcome::Unchanged);
    EXPECT_EQ(fleet.At(Mac(0)).reboots, 0);
    EXPECT_EQ(fleet.Discoveries(), 0);

    FakeFleet dry({Ap(0), Ap(1)});
    dry.At(Mac(1)).values = {"198.18.1.2", "255.255.0.0", "192.168.1.254", "0"};
    settings.dryRun = true;
    settings.reboot = true;
    JobRun wouldChange(dry, {Row(0, Host(0)), Row(1, Host(1))}, settings);
    dry.Run(wouldChange.job);
    EXPECT_EQ(wouldChange.Of(0).result, JobOutcome::WouldChange);
    EXPECT_EQ(wouldChange.Of(0).after->ipAddr, "198.18.1.1");
    EXPECT_EQ(wouldChange.Of(1).result, JobOutcome::Unchanged);
    EXPECT_EQ(dry.At(Mac(0)).changes + dry.At(Mac(0)).reboots, 0);
}

TEST(ReaddressJob, ZeroMacResultsFromASharedAddressAreTakenOneDeviceAtATime)
{
    std::vector<FakeFleet::Device> aps;
    std::vector<JobRow> rows;
    for (int n = 0; n < 6; ++n) {
        aps.push_back(Ap(n, "198.19.250.1"));
        aps.back().zeroMacResult = true;
        aps.back().latencyMs = 40;
        rows.push_back(Row(n, Host(n)));
    }
    // One of them refuses: its refusal must not be pinned on a neighbour.
    aps[3].password = "other";
    FakeFleet fleet(aps);
    JobRun run(fleet, rows);
    fleet.Run(run.job);
    EXPECT_EQ(fleet.MostChangesInFlightAtOneAddress(), 1u);
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(run.Of(n).result, n == 3 ? JobOutcome::AuthenticationError : JobOutcome::Verified);
        if (n != 3) {
            EXPECT_EQ(run.Of(n).ip, Host(n));
        }
    }
}

TEST(ReaddressJob, StrayAndForeignRepliesNeverCompleteADevice)
{
    FakeFleet fleet({Ap(0), Ap(1), Ap(2)});
    fleet.At(Mac(0)).answersChange = false;
    fleet.At(Mac(1)).neverReturns = true;
    fleet.At(Mac(2)).answersRead = false;
    // Its result from another address; a zero MAC from elsewhere; a result
    // for a device that awaits none; detail for the unread one from a
    // request of another tool; discovery replies with other MACs from the
    // planned addresses.
    fleet.Inject(100, [](ReaddressJob& job) { job.ResultHeard(Mac(0), "198.18.9.9", 0, 100); });
    fleet.Inject(101, [](ReaddressJob& job) { job.ResultHeard("00:00:00:00:00:00", "198.18.9.9", 0, 101); });
    fleet.Inject(102, [](ReaddressJob& job) { job.ResultHeard(Mac(7), "192.168.1.8", 0, 102); });
    fleet.Inject(6000, [](ReaddressJob& job) {
        job.DetailHeard(Mac(2), "192.168.1.3", {"192.168.1.3", "255.255.255.0", "", "0"}, 6000);
    });
    fleet.Inject(40000, [](ReaddressJob& job) { job.DiscoveryHeard(Mac(9), Host(1), "255.255.0.0", 40000); });
    fleet.Inject(40001, [](ReaddressJob& job) { job.DiscoveryHeard("00:00:00:00:00:00", Host(1), "255.255.0.0", 40001); });
    JobRun run(fleet, {Row(0, Host(0)), Row(1, Host(1)), Row(2, Host(2))});
    fleet.Run(run.job);
    EXPECT_EQ(run.Of(0).result, JobOutcome::Timeout);
    EXPECT_EQ(run.Of(1).result, JobOutcome::NotVerified);
    EXPECT_EQ(run.Of(2).result, JobOutcome::NotFound);
    EXPECT_EQ(fleet.At(Mac(2)).changes, 0);
}

TEST(ReaddressJob, ADeviceBackAtAnotherAddressOrNetmaskIsNotVerifiedWithWhereItWasSeen)
{
    FakeFleet fleet({Ap(0)});
    JobRun run(fleet, {Row(0, Host(0))});
    // Something else moved it meanwhile: it comes back at .99 /16.
    fleet.Inject(20000, [&fleet](ReaddressJob&) { fleet.At(Mac(0)).stored.ipAddr = "198.18.1.99"; });
    fleet.Run(run.job);
    EXPECT_EQ(run.Of(0).result, JobOutcome::NotVerified);
    EXPECT_EQ(run.Of(0).ip, "198.18.1.99");
    EXPECT_EQ(run.Of(0).message,
              "Last heard from 198.18.1.99 with netmask 255.255.0.0, not from 198.18.1.1 with netmask 255.255.0.0.");
}

TEST(ReaddressJob, CancellingPartWayReportsEveryDeviceSentAChange)
{
    std::vector<FakeFleet::Device> aps;
    std::vector<JobRow> rows;
    for (int n = 0; n < 4; ++n) {
        aps.push_back(Ap(n, "198.19.250.1"));
        aps.back().latencyMs = 1000;
        rows.push_back(Row(n, Host(n)));
    }
    aps[1].answersChange = false;
    FakeFleet fleet(aps);
    JobRun run(fleet, rows);
    // By 3.5 s: 0 accepted and rebooting, 1 awaits its result, 2 and 3 read
    // but queued behind it (one address).
    fleet.Run(run.job, 3500);
    ASSERT_FALSE(run.job.Done());
    run.job.Cancel();
    EXPECT_TRUE(run.job.Done());
    EXPECT_EQ(run.outcomes.size(), 2u);
    EXPECT_EQ(run.Of(0).result, JobOutcome::NotVerified);
    EXPECT_EQ(run.Of(0).ip, "198.19.250.1");
    EXPECT_EQ(run.Of(1).result, JobOutcome::UnknownResult);
    EXPECT_EQ(run.job.Untouched(), 2u);
    EXPECT_EQ(fleet.At(Mac(2)).changes + fleet.At(Mac(3)).changes, 0);
    EXPECT_FALSE(run.job.NextDeadline());
}

TEST(ReaddressJob, AtMostSixteenChangesOutstandingAndManyCostAboutOneReboot)
{
    std::vector<FakeFleet::Device> aps;
    std::vector<JobRow> rows;
    for (int n = 0; n < 250; ++n) {
        aps.push_back(Ap(n, "10.0." + std::to_string(n / 200) + "." + std::to_string(1 + n % 200)));
        aps.back().latencyMs = 300;
        rows.push_back(Row(n, Host(n)));
    }
    FakeFleet fleet(aps);
    JobRun run(fleet, rows);
    fleet.Run(run.job);
    EXPECT_EQ(fleet.MostChangesInFlight(), 16u);
    EXPECT_LE(fleet.MostOutstanding(), 16u);
    for (int n = 0; n < 250; ++n) {
        ASSERT_EQ(run.Of(n).result, JobOutcome::Verified) << n;
        ASSERT_EQ(run.Of(n).ip, Host(n));
    }
    // 250 reads and changes 16 at a time at 0.3 s each, one 30 s reboot, a
    // 2 s round: far below 250 reboots.
    Millis last = 0;
    for (const auto& [mac, when] : run.ended)
        last = std::max(last, when);
    EXPECT_LE(last, 30000 + 2 * 16 * 300 + 2000 + 400);
}

} // namespace
} // namespace pemblor
