// The fleet job on the fake network with the virtual clock: every outcome,
// the scheduling (16 requests at once, one change per address), the one
// discovery round every 2 s for all the devices still awaited, and what
// never completes a device.
#include "engine/Transport.h"
#include "engine/EventLoop.h"
#include "tests/fakenet/FakeNetwork.h"
#include "tests/fakenet/ToolRig.h"
#include "tests/fakenet/VirtualClock.h"
#include "fleet/FleetJob.h"
#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/PacketHeader.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"
#include "tests/support/SimAccessPoint.h"
#include "tools/apsim/LabAddress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace pemblor::test {
namespace {

using Millis = EventLoop::Millis;
constexpr const char* kToolHost = "198.18.0.1";
constexpr auto kRebootTime = std::chrono::seconds(30);

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

std::uint32_t Address(const std::string& text)
{
    return *apsim::ParseAddress(text);
}

// A device as it leaves the factory: at 192.168.1.<n + 1>/24 (or `address`),
// gateway 192.168.1.254, credentials admin/secret; its quirks say how it
// departs from that.
struct Ap {
    apsim::ApSettings settings;
    apsim::Quirks quirks;
};

Ap MakeAp(int n, std::string address = {})
{
    Ap ap;
    ap.settings.ip = Address(address.empty() ? "192.168.1." + std::to_string(n + 1) : address);
    ap.settings.mask = Address("255.255.255.0");
    ap.settings.gateway = Address("192.168.1.254");
    ap.settings.mac = ParseMacText(Mac(n));
    ap.settings.ssid = "lab";
    ap.settings.channel = 6;
    ap.settings.pass = "secret";
    return ap;
}

JobRow Row(int n, std::string ip, std::optional<std::string> netmask = "255.255.0.0")
{
    return {{Mac(n), std::move(ip), std::move(netmask), std::nullopt, false}, {}};
}

// `count` devices that answer from one address with zero-MAC results, each
// planned at Host(n) in `rows`.
std::vector<Ap> AtOneAddress(int count, std::vector<JobRow>& rows)
{
    std::vector<Ap> devices;
    for (int n = 0; n < count; ++n) {
        devices.push_back(MakeAp(n, "198.19.250.1"));
        devices.back().quirks.zeroMacResult = true;
        rows.push_back(Row(n, Host(n)));
    }
    return devices;
}

JobSettings Defaults()
{
    JobSettings settings;
    settings.user = "admin";
    settings.password = "secret";
    settings.reboot = true;
    return settings;
}

// The most reads and changes the tool had awaiting an answer at once, read
// off the wire in order: a detail query or a settings change awaits from
// when it leaves the tool until its answer leaves the device (a detail
// reply under its MAC; a result under its MAC, or under the zero MAC from
// the address the change was asked of). Reboots, which are not answered,
// and discovery rounds are not counted.
struct MostAwaited {
    std::size_t requests = 0;
    std::size_t changes = 0;
    std::size_t changesAtOneAddress = 0;
};

MostAwaited MostAwaitedOnTheWire(const std::vector<FakeNetwork::SentDatagram>& log,
                                 const std::map<std::string, std::string>& addressOf)
{
    struct Awaited {
        bool change;
        std::string address;
    };
    std::map<std::string, Awaited> awaited; // by MAC
    MostAwaited most;
    const auto texts = [](const ReplyDatagram& datagram) {
        std::vector<std::string> found;
        for (const auto& item : datagram.entries())
            found.emplace_back(item.entry.text.data(), item.entry.length > 0 ? item.entry.length - 1 : 0);
        return found;
    };
    for (const FakeNetwork::SentDatagram& sent : log) {
        if (sent.toPort != DevicePort || sent.toHost == "127.0.0.1")
            continue;
        const ReplyDatagram datagram(sent.bytes.data(), sent.bytes.size(), sent.fromHost);
        const MacBytes macBytes = datagram.macAddress();
        const std::string mac(FormatMacText(macBytes).view());
        const std::vector<std::string> entries = texts(datagram);
        if (sent.fromHost == kToolHost) {
            const bool reboot = std::find(entries.begin(), entries.end(), "reboot") != entries.end();
            const bool read = datagram.type() == TypeQuery && macBytes != MacBytes{};
            const bool change = datagram.type() == TypeCommand && !reboot;
            if (!read && !change)
                continue;
            awaited[mac] = {change, addressOf.count(mac) ? addressOf.at(mac) : std::string()};
            most.requests = std::max(most.requests, awaited.size());
            std::size_t changes = 0;
            std::map<std::string, std::size_t> atAddress;
            for (const auto& [awaitedMac, request] : awaited) {
                if (!request.change)
                    continue;
                ++changes;
                most.changesAtOneAddress = std::max(most.changesAtOneAddress, ++atAddress[request.address]);
            }
            most.changes = std::max(most.changes, changes);
            continue;
        }
        if (datagram.type() == TypeCommandReply) {
            auto it = awaited.find(mac);
            if (macBytes == MacBytes{})
                it = std::find_if(awaited.begin(), awaited.end(), [&](const auto& entry) {
                    return entry.second.change && entry.second.address == sent.fromHost;
                });
            if (it != awaited.end() && it->second.change)
                awaited.erase(it);
        } else if (datagram.type() == TypeQueryReply) {
            const auto it = awaited.find(mac);
            const bool detail = std::any_of(entries.begin(), entries.end(),
                                            [](const std::string& text) { return text.starts_with("SUBNET_MASK="); });
            if (it != awaited.end() && !it->second.change && detail)
                awaited.erase(it);
        }
    }
    return most;
}

// The tool's side: the transport on the fake network and the dispatcher
// with its virtual clock; the devices (the simulator's access points) come
// with each test.
class FleetJobTest : public ::testing::Test, protected ToolTransport {
protected:
    FleetJobTest() : ToolTransport(kToolHost) {}
    void SetUp() override { ASSERT_TRUE(opened); }

    // Starts the devices, device n of the tests as aps[n].
    void Place(const std::vector<Ap>& devices)
    {
        aps.clear();
        for (const Ap& ap : devices) {
            aps.push_back(std::make_unique<SimAccessPoint>(net, ui, ap.settings, ap.quirks, kRebootTime));
            factoryAddress[aps.back()->Mac()] = apsim::FormatAddress(ap.settings.ip);
        }
    }
    // What device n heard from its `from`th request on: settings changes
    // and reboots.
    int Heard(int n, bool reboots, std::size_t from = 0) const
    {
        const std::vector<std::string> requests = aps.at(static_cast<std::size_t>(n))->Requests();
        int count = 0;
        for (std::size_t i = from; i < requests.size(); ++i)
            if (requests[i].starts_with("2 "))
                count += (requests[i].find("|reboot") != std::string::npos) == reboots ? 1 : 0;
        return count;
    }
    int Changes(int n, std::size_t from = 0) const { return Heard(n, false, from); }
    int Reboots(int n, std::size_t from = 0) const { return Heard(n, true, from); }
    int Discoveries() const
    {
        const Datagram discovery = BuildDiscoveryRequest();
        const std::vector<std::uint8_t> round(discovery.data(), discovery.data() + discovery.size);
        int rounds = 0;
        for (const auto& sent : net.SentLog())
            rounds += sent.fromHost == kToolHost && sent.bytes == round ? 1 : 0;
        return rounds;
    }
    MostAwaited Awaited() const { return MostAwaitedOnTheWire(net.SentLog(), factoryAddress); }
    // Sends `datagram` from a host at `address` to the device port at `to`
    // (the tool's host: as a stray device would).
    void SendFrom(const std::string& address, const Datagram& datagram, const char* to = kToolHost)
    {
        strays.push_back(net.NewLayer(address));
        const std::unique_ptr<ISocket> socket = strays.back()->Open();
        ASSERT_TRUE(socket && socket->Bind(0));
        socket->SendTo(datagram.data(), datagram.size, DevicePort, to);
    }
    // Device n stores `ip` and `netmask` without a reboot, as an earlier
    // run (another copy of the tool) left it. Returns how many requests the
    // device has heard by then.
    std::size_t StoredEarlier(int n, const std::string& ip, const std::string& netmask)
    {
        SettingsChange change;
        change.ipAddress = ip;
        change.subnetMask = netmask;
        SendFrom("198.18.0.2", BuildSettingsChange(Mac(n), "admin", "secret", change),
                 factoryAddress.at(Mac(n)).c_str());
        ui.Advance(100);
        return aps.at(static_cast<std::size_t>(n))->Requests().size();
    }

    // Runs a job to its end (or `limit`), collecting the outcomes by MAC.
    struct Run {
        std::map<std::string, DeviceOutcome> outcomes;
        std::map<std::string, Millis> ended;
        std::vector<std::string> order;
        const DeviceOutcome& Of(int n) const { return outcomes.at(Mac(n)); }
    };
    std::unique_ptr<FleetJob> Start(Run& run, std::vector<JobRow> rows, JobSettings settings = Defaults())
    {
        auto job = std::make_unique<FleetJob>(transport, ui, std::move(settings), std::move(rows),
                                              [this, &run](const DeviceOutcome& outcome) {
                                                  EXPECT_EQ(run.outcomes.count(outcome.mac), 0u)
                                                      << outcome.mac << " ended twice";
                                                  run.outcomes[outcome.mac] = outcome;
                                                  run.order.push_back(outcome.mac);
                                                  run.ended[outcome.mac] = ui.Now();
                                              });
        job->Start();
        return job;
    }
    void RunToEnd(FleetJob& job, Millis limit = 200000)
    {
        const Millis until = ui.Now() + limit;
        while (!job.Done() && ui.Now() < until)
            ui.Advance(100);
    }

    std::vector<std::unique_ptr<FakeSocketLayer>> strays;
    std::vector<std::unique_ptr<SimAccessPoint>> aps;
    std::map<std::string, std::string> factoryAddress; // by MAC
};

TEST_F(FleetJobTest, EveryOutcome)
{
    std::vector<Ap> devices;
    for (int n = 0; n < 9; ++n)
        devices.push_back(MakeAp(n));
    devices[1] = MakeAp(1, "198.18.1.2"); // holds its plan and answers from it
    devices[1].settings.mask = Address("255.255.0.0");
    devices[2].settings.pass = "other";
    devices[3].quirks.ignoreCommands = true;
    devices[4].quirks.silent = true;
    devices[5].quirks.resultCode = 2;
    devices[6].quirks.neverReturn = true;
    Place(devices);
    std::vector<JobRow> rows;
    for (int n = 0; n < 8; ++n)
        rows.push_back(Row(n, Host(n)));
    rows.push_back(Row(8, "198.18.1.300"));
    // A blank netmask cell: verified against the netmask it keeps.
    rows[7].row.netmask = std::nullopt;
    rows[7].row.gateway = "0.0.0.0";
    Run run;
    const auto job = Start(run, rows);
    RunToEnd(*job);

    ASSERT_TRUE(job->Done());
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
        {JobOutcome::UnknownResult, "192.168.1.6", "The device answered with an unknown result (2)."},
        {JobOutcome::NotVerified, "192.168.1.7", "The device did not answer after restarting. It may be at its new address 198.18.1.7 or still "
                                                 "restarting."},
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
        EXPECT_EQ(Changes(n), 0) << n;
    for (int n : {0, 2, 3, 5, 6, 7})
        EXPECT_EQ(Changes(n), 1) << n;
    for (int n : {0, 6, 7})
        EXPECT_EQ(Reboots(n), 1) << n;
    for (int n : {1, 2, 3, 4, 5, 8})
        EXPECT_EQ(Reboots(n), 0) << n;
    // Every device is read before any is changed: the one that never answers
    // its read holds the changes for the read's time-out.
    const int readsEnd = 5000;
    // The one never back is given up 90 s after its reboot, not later.
    EXPECT_LE(run.ended.at(Mac(6)), readsEnd + 90000 + 200);
    EXPECT_GE(run.ended.at(Mac(6)), readsEnd + 90000);
    // All verified about one reboot time in: together, not one after another.
    EXPECT_LE(run.ended.at(Mac(0)), readsEnd + 30000 + 2200);
    EXPECT_LE(run.ended.at(Mac(7)), readsEnd + 30000 + 2200);
}

TEST_F(FleetJobTest, WithoutRebootTheAcceptedChangeIsStoredAndADryRunSendsNothing)
{
    std::vector<Ap> devices{MakeAp(0), MakeAp(1), MakeAp(2), MakeAp(3, "198.18.1.4")};
    // Both hold their plans; 3 answers from its planned address as well,
    // so not even a reboot is due.
    devices[3].settings.mask = Address("255.255.0.0");
    Place(devices);
    StoredEarlier(1, "198.18.1.2", "255.255.0.0");
    JobSettings settings = Defaults();
    settings.reboot = false;
    Run stored;
    auto job = Start(stored, {Row(0, Host(0)), Row(1, Host(1))}, settings);
    RunToEnd(*job);
    EXPECT_EQ(stored.Of(0).result, JobOutcome::Stored);
    EXPECT_EQ(stored.Of(0).ip, "192.168.1.1");
    EXPECT_EQ(stored.Of(1).result, JobOutcome::Unchanged);
    EXPECT_EQ(Reboots(0), 0);
    EXPECT_EQ(Discoveries(), 0);

    settings.dryRun = true;
    settings.reboot = true;
    Run wouldChange;
    job = Start(wouldChange, {Row(2, Host(2)), Row(3, Host(3))}, settings);
    RunToEnd(*job);
    EXPECT_EQ(wouldChange.Of(2).result, JobOutcome::WouldChange);
    EXPECT_EQ(wouldChange.Of(2).after->ipAddr, "198.18.1.3");
    EXPECT_EQ(wouldChange.Of(3).result, JobOutcome::Unchanged);
    EXPECT_EQ(Changes(2) + Reboots(2), 0);
}

// A device asked to reboot holds its change but keeps its old address until
// it restarts: a reboot that could not be sent is a failure with its reason,
// never "stored" (which counts as success).
TEST_F(FleetJobTest, ARebootThatCouldNotBeSentIsAFailure)
{
    Place({MakeAp(0)});
    // The read and the change go out; every send after them fails.
    tool->InjectFailure(FakeOp::Send, ENETUNREACH, 2, -1);
    Run run;
    const auto job = Start(run, {Row(0, Host(0))});
    RunToEnd(*job);
    ASSERT_TRUE(job->Done());
    const DeviceOutcome& outcome = run.Of(0);
    EXPECT_EQ(outcome.result, JobOutcome::RebootNotSent);
    EXPECT_EQ(ResultName(outcome.result), "reboot-not-sent");
    EXPECT_FALSE(Succeeded(outcome.result));
    EXPECT_NE(outcome.message.find("The reboot could not be sent"), std::string::npos) << outcome.message;
    EXPECT_EQ(Changes(0), 1);
    EXPECT_EQ(Reboots(0), 0);
    // The transport's stop needs its datagram to wake the receive thread.
    tool->ClearFailures();
}

// A second run after a change stored without a reboot (or a run cut short):
// the stored values match the plan, but the device still answers from its
// old address. Under a reboot that is work to do; without one it is
// unchanged, so a second run without reboot reports no change.
TEST_F(FleetJobTest, StoredButNotYetMovedIsRebootedAndVerifiedUnderAReboot)
{
    for (const bool reboot : {true, false}) {
        SCOPED_TRACE(reboot ? "with reboot" : "without");
        Place({MakeAp(0)});
        const std::size_t heard = StoredEarlier(0, Host(0), "255.255.0.0");
        Run run;
        JobSettings settings = Defaults();
        settings.reboot = reboot;
        const auto job = Start(run, {Row(0, Host(0))}, settings);
        RunToEnd(*job);
        ASSERT_TRUE(job->Done());
        const DeviceOutcome& outcome = run.Of(0);
        EXPECT_EQ(outcome.result, reboot ? JobOutcome::Verified : JobOutcome::Unchanged);
        EXPECT_EQ(outcome.ip, reboot ? Host(0) : "192.168.1.1");
        EXPECT_EQ(Changes(0, heard), 0) << "nothing to change";
        EXPECT_EQ(Reboots(0, heard), reboot ? 1 : 0);
    }
}

TEST_F(FleetJobTest, ZeroMacResultsFromASharedAddressAreTakenOneDeviceAtATime)
{
    std::vector<JobRow> rows;
    std::vector<Ap> devices = AtOneAddress(6, rows);
    for (Ap& device : devices)
        device.quirks.replyDelayMs = 40;
    // One of them refuses: its refusal must not be pinned on a neighbour.
    devices[3].settings.pass = "other";
    Place(devices);
    Run run;
    const auto job = Start(run, rows);
    RunToEnd(*job);
    EXPECT_EQ(Awaited().changesAtOneAddress, 1u);
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(run.Of(n).result, n == 3 ? JobOutcome::AuthenticationError : JobOutcome::Verified);
        if (n != 3) {
            EXPECT_EQ(run.Of(n).ip, Host(n));
        }
    }
}

// A late copy of one device's zero-MAC result must not be taken for the next
// device's at the same address: the next change waits until the address has
// been quiet for a second. Without that wait, the refusal's copy (600 ms
// after it) would reach the tool before the next device's own result (700 ms
// after its change) and end that device as refused.
TEST_F(FleetJobTest, ALateCopyOfAResultIsNeverTakenForTheNextDeviceAtItsAddress)
{
    std::vector<JobRow> rows;
    std::vector<Ap> devices = AtOneAddress(3, rows);
    for (Ap& device : devices) {
        device.quirks.lateCopyMs = 600;
        device.quirks.replyDelayMs = 700;
    }
    devices[0].settings.pass = "other";
    Place(devices);
    Run run;
    JobSettings settings = Defaults();
    settings.reboot = false;
    const auto job = Start(run, rows, settings);
    RunToEnd(*job);
    EXPECT_EQ(run.Of(0).result, JobOutcome::AuthenticationError);
    EXPECT_EQ(run.Of(1).result, JobOutcome::Stored);
    EXPECT_EQ(run.Of(2).result, JobOutcome::Stored);
    EXPECT_EQ(Awaited().changesAtOneAddress, 1u);
}

TEST_F(FleetJobTest, StrayAndForeignRepliesNeverCompleteADevice)
{
    std::vector<Ap> devices{MakeAp(0), MakeAp(1), MakeAp(2)};
    devices[0].quirks.ignoreCommands = true;
    devices[1].quirks.neverReturn = true;
    devices[2].quirks.silent = true;
    Place(devices);
    Run run;
    const auto job = Start(run, {Row(0, Host(0)), Row(1, Host(1)), Row(2, Host(2))});
    ui.Advance(100);
    const auto result = [](const MacBytes& mac, int code) {
        Datagram reply = EncodeDatagram(TypeCommandReply, mac, "", "", {"0"});
        reply.bytes[86] = static_cast<std::uint8_t>(code);
        return reply;
    };
    // A zero MAC from elsewhere; a result for a device that awaits none.
    SendFrom("198.18.9.9", result(MacBytes{}, 0));
    SendFrom("192.168.1.8", result(*ParseDeviceMac(Mac(7)), 0));
    ui.Advance(6000);
    EXPECT_EQ(run.Of(2).result, JobOutcome::NotFound);
    // Discovery replies with other MACs, or none, from the planned addresses.
    ui.Advance(34000);
    for (const MacBytes& mac : {*ParseDeviceMac(Mac(9)), MacBytes{}})
        SendFrom(Host(1), EncodeDatagram(TypeQueryReply, mac, "", "",
                                             {"IP_ADDR=198.18.1.2", "CURRENT_SUBNET_MASK=255.255.0.0"}));
    RunToEnd(*job);
    EXPECT_EQ(run.Of(0).result, JobOutcome::Timeout);
    EXPECT_EQ(run.Of(1).result, JobOutcome::NotVerified);
    EXPECT_EQ(Changes(2), 0);
}

// Only the planned address with the planned netmask verifies a device.
TEST_F(FleetJobTest, ADeviceBackAtAnotherAddressOrNetmaskIsNotVerifiedWithWhereItWasSeen)
{
    std::vector<Ap> devices{MakeAp(0), MakeAp(1)};
    devices[0].quirks.backAt = Address("198.18.1.99");
    devices[1].quirks.backNetmask = Address("255.255.255.0");
    Place(devices);
    Run run;
    const auto job = Start(run, {Row(0, Host(0)), Row(1, Host(1))});
    RunToEnd(*job);
    EXPECT_EQ(run.Of(0).result, JobOutcome::NotVerified);
    EXPECT_EQ(run.Of(0).ip, "198.18.1.99");
    EXPECT_EQ(run.Of(0).message,
              "After restarting, the device answered from 198.18.1.99, not from its new address 198.18.1.1.");
    EXPECT_EQ(run.Of(1).result, JobOutcome::NotVerified);
    EXPECT_EQ(run.Of(1).ip, "198.18.1.2");
    EXPECT_EQ(run.Of(1).message,
              "After restarting, the device answered from 198.18.1.2 with netmask 255.255.255.0, not with netmask "
              "255.255.0.0: it may not have taken the netmask.");
    EXPECT_GE(run.ended.at(Mac(1)), 90000);
}

TEST_F(FleetJobTest, CancellingPartWayReportsEveryDeviceSentAChange)
{
    std::vector<Ap> devices;
    std::vector<JobRow> rows;
    for (int n = 0; n < 4; ++n) {
        devices.push_back(MakeAp(n, "198.19.250.1"));
        devices.back().quirks.replyDelayMs = 1000;
        rows.push_back(Row(n, Host(n)));
    }
    devices[1].quirks.ignoreCommands = true;
    Place(devices);
    Run run;
    const auto job = Start(run, rows);
    // By 3.5 s: 0 accepted and rebooting, 1 awaits its result, 2 and 3 read
    // but queued behind it (one address).
    ui.Advance(3500);
    ASSERT_FALSE(job->Done());
    job->Cancel();
    EXPECT_TRUE(job->Done());
    EXPECT_EQ(run.outcomes.size(), 2u);
    EXPECT_EQ(run.Of(0).result, JobOutcome::NotVerified);
    EXPECT_EQ(run.Of(0).ip, "198.19.250.1");
    EXPECT_EQ(run.Of(1).result, JobOutcome::UnknownResult);
    EXPECT_EQ(job->Untouched(), 2u);
    ui.Advance(100000);
    EXPECT_EQ(Changes(2) + Changes(3), 0);
    EXPECT_EQ(ui.PendingDeadlines(), 0u);
}

// Reads and changes 16 at a time, one round every 2 s for every device
// still awaited: many devices cost about one reboot, not one each.
TEST_F(FleetJobTest, AtMostSixteenRequestsOutstandingAndOneRoundForAllDevicesAwaited)
{
    std::vector<Ap> devices;
    std::vector<JobRow> rows;
    for (int n = 0; n < 40; ++n) {
        devices.push_back(MakeAp(n, "10.0.0." + std::to_string(1 + n)));
        devices.back().quirks.replyDelayMs = 300;
        rows.push_back(Row(n, Host(n)));
    }
    Place(devices);
    Run run;
    const auto job = Start(run, rows);
    RunToEnd(*job);
    const MostAwaited most = Awaited();
    EXPECT_EQ(most.changes, 16u);
    EXPECT_EQ(most.requests, 16u);
    for (int n = 0; n < 40; ++n) {
        ASSERT_EQ(run.Of(n).result, JobOutcome::Verified) << n;
        ASSERT_EQ(run.Of(n).ip, Host(n));
    }
    Millis last = 0;
    for (const auto& [mac, when] : run.ended)
        last = std::max(last, when);
    EXPECT_LE(last, 40000);
    // One round every 2 s from the first reboot on, whatever the number of
    // devices awaited.
    const Datagram discovery = BuildDiscoveryRequest();
    const std::vector<std::uint8_t> round(discovery.data(), discovery.data() + discovery.size);
    int rounds = 0;
    for (const auto& sent : net.SentLog())
        rounds += sent.fromHost == kToolHost && sent.bytes == round ? 1 : 0;
    EXPECT_EQ(rounds, job->Rounds());
    EXPECT_GE(rounds, 15);
    EXPECT_LE(rounds, static_cast<int>((last + 1999) / 2000));
}

// The tool on 198.18.0.1/24 with its interfaces listed, so that the jobs
// can tell which devices their passwords can reach by unicast.
class FleetCredentialsTest : public ::testing::Test, protected ToolTransport {
protected:
    FleetCredentialsTest() : ToolTransport(kToolHost, /*listed=*/true) {}
    void SetUp() override { ASSERT_TRUE(opened); }

    void Place(const std::vector<Ap>& devices)
    {
        for (const Ap& ap : devices)
            aps.push_back(std::make_unique<SimAccessPoint>(net, ui, ap.settings, ap.quirks, std::chrono::seconds(5)));
    }
    std::map<std::string, DeviceOutcome> RunToEnd(std::vector<JobRow> rows, JobSettings settings)
    {
        std::map<std::string, DeviceOutcome> outcomes;
        FleetJob job(transport, ui, std::move(settings), std::move(rows),
                     [&outcomes](const DeviceOutcome& outcome) { outcomes[outcome.mac] = outcome; });
        job.TellBroadcasts([this](std::string_view mac, const CredentialRoute& route) {
            told.emplace_back(std::string(mac), route.reason);
        });
        job.Start();
        while (!job.Done() && ui.Now() < 200000)
            ui.Advance(100);
        return outcomes;
    }

    std::vector<std::unique_ptr<SimAccessPoint>> aps;
    std::vector<std::pair<std::string, BroadcastReason>> told;
};

// One password for a mix: alone in the network, two sharing an address,
// one outside. Only the one alone is sent it by unicast; the others by
// broadcast, each told once before; every one is changed and verified.
TEST_F(FleetCredentialsTest, OnlyTheDeviceAloneInTheNetworkIsSentThePasswordByUnicast)
{
    Place({MakeAp(0, "198.18.0.20"), MakeAp(1, "198.18.0.30"), MakeAp(2, "198.18.0.30"), MakeAp(3, "192.168.1.5")});
    std::vector<JobRow> rows;
    for (int n = 0; n < 4; ++n)
        rows.push_back(Row(n, "198.18.0." + std::to_string(40 + n), "255.255.255.0"));
    JobSettings settings = Defaults();
    settings.broadcast = CredentialBroadcast::Allow;
    const auto outcomes = RunToEnd(rows, settings);
    ASSERT_EQ(outcomes.size(), 4u);
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(outcomes.at(Mac(n)).result, JobOutcome::Verified) << n;
    // The change and the reboot of each.
    std::vector<std::string> to = PasswordTo();
    std::sort(to.begin(), to.end());
    EXPECT_EQ(to, (std::vector<std::string>{"198.18.0.20", "198.18.0.20", "255.255.255.255", "255.255.255.255",
                                            "255.255.255.255", "255.255.255.255", "255.255.255.255",
                                            "255.255.255.255"}));
    std::sort(told.begin(), told.end());
    EXPECT_EQ(told, (std::vector<std::pair<std::string, BroadcastReason>>{
                        {Mac(1), BroadcastReason::SharedAddress},
                        {Mac(2), BroadcastReason::SharedAddress},
                        {Mac(3), BroadcastReason::OutsideNetwork}}));
}

// Refusing broadcasts, the devices that would need one end needs-broadcast
// with their route and unchanged; the others go on.
TEST_F(FleetCredentialsTest, RefusingBroadcastsTheOthersGoOnAndNothingIsBroadcast)
{
    Place({MakeAp(0, "198.18.0.20"), MakeAp(1, "192.168.1.5")});
    JobSettings settings = Defaults();
    settings.reboot = false;
    settings.broadcast = CredentialBroadcast::Refuse;
    const auto outcomes = RunToEnd({Row(0, "198.18.0.40", "255.255.255.0"), Row(1, "198.18.0.41", "255.255.255.0")},
                                   settings);
    EXPECT_EQ(outcomes.at(Mac(0)).result, JobOutcome::Stored);
    const DeviceOutcome& held = outcomes.at(Mac(1));
    EXPECT_EQ(held.result, JobOutcome::NeedsBroadcast);
    EXPECT_EQ(ResultName(held.result), "needs-broadcast");
    EXPECT_FALSE(Succeeded(held.result));
    ASSERT_TRUE(held.route);
    EXPECT_EQ(held.route->reason, BroadcastReason::OutsideNetwork);
    EXPECT_EQ(held.route->interfaceName, "eth0");
    EXPECT_EQ(held.ip, "192.168.1.5");
    EXPECT_EQ(held.after, held.before);
    for (const std::string& request : aps[1]->Requests())
        EXPECT_FALSE(request.starts_with("2 ")) << request;
    EXPECT_EQ(PasswordTo(), std::vector<std::string>{"198.18.0.20"});
    EXPECT_TRUE(told.empty());
}

} // namespace
} // namespace pemblor::test
