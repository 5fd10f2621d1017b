// One device, three ways to re-address it: the Setup IP dialog's plans (read,
// change, reboot and re-read), pemblorctl's `set` then `reboot --wait`, and
// the fleet job of `apply` and "Setup IP for N devices". Whatever the device
// does, all three end in the same outcome, told from the same address.
#include "engine/DeviceJob.h"
#include "engine/Transport.h"
#include "engine/EventLoop.h"
#include "tests/fakenet/FakeNetwork.h"
#include "tests/fakenet/ToolRig.h"
#include "tests/fakenet/VirtualClock.h"
#include "fleet/FleetJob.h"
#include "protocol/MacText.h"
#include "tests/support/SimAccessPoint.h"
#include "tools/apsim/LabAddress.h"

#include <gtest/gtest.h>

#include <functional>

namespace pemblor::test {
namespace {

using Millis = EventLoop::Millis;
constexpr const char* kToolHost = "198.18.0.1";
constexpr const char* kOld = "198.18.1.10";
constexpr const char* kNew = "198.18.1.60";
constexpr const char* kMac = "02:00:00:00:00:01";

// A device: the simulator's access point, restarting in 30 s.
struct Ap {
    apsim::ApSettings settings;
    apsim::Quirks quirks;
};

// The tool and the devices on a network of their own.
struct World : ToolTransport {
    explicit World(const std::vector<Ap>& devices) : ToolTransport(kToolHost)
    {
        EXPECT_TRUE(opened);
        for (const Ap& ap : devices)
            aps.push_back(
                std::make_unique<SimAccessPoint>(net, ui, ap.settings, ap.quirks, std::chrono::seconds(30)));
    }
    ~World()
    {
        transport.StopReceiveThread();
        aps.clear();
    }
    void RunUntil(const std::function<bool()>& done)
    {
        for (int step = 0; step < 400 && !done(); ++step)
            ui.Advance(500);
    }

    std::vector<std::unique_ptr<SimAccessPoint>> aps;
};

struct Ending {
    JobOutcome outcome = JobOutcome::Stopped;
    std::string address;
};

class LastReport final : public JobListener {
public:
    void JobFinished(DeviceJob&, const JobReport& finished) override
    {
        report = finished;
        done = true;
    }
    JobReport report;
    bool done = false;
};

// Runs `plan` on `job` to its end.
JobReport RunPlan(World& world, DeviceJob& job, LastReport& listener, const JobPlan& plan)
{
    listener.done = false;
    EXPECT_TRUE(job.Start(plan));
    world.RunUntil([&] { return listener.done; });
    EXPECT_TRUE(listener.done);
    return listener.report;
}

SettingsRequest Change()
{
    SettingsRequest change;
    change.ipAddress = kNew;
    change.subnetMask = "255.255.0.0";
    return change;
}

// The change, and the reboot with the re-read after it, as each path asks
// its jobs for them.
JobPlan ChangePlan()
{
    JobPlan plan;
    plan.change = Change();
    plan.credentials = {"admin", "secret"};
    return plan;
}

JobPlan RebootPlan()
{
    JobPlan plan;
    plan.reboot = true;
    plan.verify = true;
    plan.credentials = {"admin", "secret"};
    return plan;
}

// The dialog: it reads when it opens, sends what the user changed on
// Apply, and on the reboot question's OK reboots and re-reads.
Ending ThroughTheDialog(World& world)
{
    LastReport listener;
    DeviceJob job(world.transport, world.ui, listener, kMac, kOld);
    RunPlan(world, job, listener, JobPlan{});
    JobPlan change = ChangePlan();
    change.read = false;
    change.skipUnchanged = false;
    JobReport report = RunPlan(world, job, listener, change);
    if (report.outcome == JobOutcome::Stored) {
        JobPlan reboot = RebootPlan();
        reboot.read = false;
        report = RunPlan(world, job, listener, reboot);
    }
    return {report.outcome, report.address};
}

// pemblorctl: `set`, then `reboot --wait`, each a job of its own.
Ending ThroughSetAndRebootWait(World& world)
{
    LastReport listener;
    JobReport report;
    {
        DeviceJob set(world.transport, world.ui, listener, kMac);
        report = RunPlan(world, set, listener, ChangePlan());
    }
    if (report.outcome == JobOutcome::Stored) {
        DeviceJob reboot(world.transport, world.ui, listener, kMac);
        report = RunPlan(world, reboot, listener, RebootPlan());
    }
    return {report.outcome, report.address};
}

// `apply` and "Setup IP for N devices": the fleet job with a reboot.
Ending ThroughTheFleet(World& world)
{
    JobSettings settings;
    settings.user = "admin";
    settings.password = "secret";
    settings.reboot = true;
    std::optional<DeviceOutcome> ended;
    FleetJob job(world.transport, world.ui, settings, {{{kMac, kNew, "255.255.0.0", std::nullopt, std::nullopt}, {}}},
                 [&ended](const DeviceOutcome& outcome) { ended = outcome; });
    job.Start();
    world.RunUntil([&] { return job.Done(); });
    EXPECT_TRUE(ended);
    if (!ended)
        return {};
    return {ended->result, ended->ip.value_or("")};
}

Ap Device(const std::string& mac = kMac)
{
    Ap device;
    device.settings.ip = *apsim::ParseAddress(kOld);
    device.settings.mask = *apsim::ParseAddress("255.255.255.0");
    device.settings.gateway = *apsim::ParseAddress("198.18.1.254");
    device.settings.mac = ParseMacText(mac);
    device.settings.ssid = "lab";
    device.settings.channel = 6;
    device.settings.pass = "secret";
    return device;
}

TEST(SameOutcome, TheDialogPemblorctlAndTheFleetAgreeOnEveryDeviceBehaviour)
{
    struct Behaviour {
        const char* name;
        std::function<void(std::vector<Ap>&)> make;
        JobOutcome outcome;
        const char* address;
    };
    const Behaviour behaviours[] = {
        {"comes back at its new address with its new netmask", [](auto&) {}, JobOutcome::Verified, kNew},
        {"comes back with another netmask",
         [](auto& devices) { devices[0].quirks.backNetmask = apsim::ParseAddress("255.255.255.0"); },
         JobOutcome::NotVerified, kNew},
        {"comes back at its old address", [](auto& devices) { devices[0].quirks.backAt = apsim::ParseAddress(kOld); },
         JobOutcome::NotVerified, kOld},
        {"does not come back", [](auto& devices) { devices[0].quirks.neverReturn = true; }, JobOutcome::NotVerified,
         kOld},
        {"refuses the credentials", [](auto& devices) { devices[0].settings.pass = "other"; },
         JobOutcome::AuthenticationError, kOld},
        {"answers with a zero MAC from an address it shares",
         [](auto& devices) {
             devices[0].quirks.zeroMacResult = true;
             devices.push_back(Device("02:00:00:00:00:02"));
             devices.back().quirks.zeroMacResult = true;
         },
         JobOutcome::Verified, kNew},
    };
    const struct {
        const char* name;
        Ending (*run)(World&);
    } paths[] = {
        {"the Setup IP dialog", ThroughTheDialog},
        {"set and reboot --wait", ThroughSetAndRebootWait},
        {"the fleet job", ThroughTheFleet},
    };
    for (const Behaviour& behaviour : behaviours) {
        for (const auto& path : paths) {
            SCOPED_TRACE(std::string(behaviour.name) + ", through " + path.name);
            std::vector<Ap> devices{Device()};
            behaviour.make(devices);
            World world(devices);
            const Ending ending = path.run(world);
            EXPECT_EQ(ResultName(ending.outcome), ResultName(behaviour.outcome));
            EXPECT_EQ(ending.address, behaviour.address);
        }
    }
}

} // namespace
} // namespace pemblor::test
