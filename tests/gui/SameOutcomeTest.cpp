// One device, three ways to re-address and reboot it: the Setup IP dialog
// (its message boxes), `pemblorctl set --reboot --wait` and `pemblorctl
// apply --reboot`. Whatever the device does, every path ends in the same
// result and tells it in the same words.
#include "SetupIpDlgRig.h"
#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "tests/fakenet/VirtualClock.h"

#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace pemblor {
namespace {

constexpr const char* NewAddress = "198.18.0.30";
constexpr const char* OldNetmask = "255.255.255.0";
constexpr const char* NewNetmask = "255.255.0.0";

// What is asked of the device: a new address, a new netmask, or both.
struct Change {
    bool address = true;
    bool netmask = false;
};

struct Ending {
    std::string result; // pemblorctl's result name; the dialog tells none
    std::string words;
};

// The dialog: the change typed, Apply, OK to the reboot question and its
// note; the words are those of the box that tells how it ended.
class ThroughTheDialog : public SetupIpDlgRig {
public:
    void TestBody() override {}
    Ending Run(const apsim::Quirks& quirks, const apsim::ApSettings& settings, Change change)
    {
        AddDevice(quirks, settings);
        MessageBox::setNextAnswer(QMessageBox::Ok); // the reboot question
        MessageBox::setNextAnswer(QMessageBox::Ok); // the note
        MessageBox::setEscapeUnanswered(true);      // how it ended
        Open();
        TypeText(UserName, QString::fromLatin1(User));
        TypeText(PasswordEdit, QString::fromLatin1(Password));
        if (change.address)
            TypeField(IpAddress, 3, QStringLiteral("30"));
        if (change.netmask)
            TypeField(Netmask, 2, QStringLiteral("0"));
        ClickApply();
        RunUntilClosed(120000);
        QStringList shown = MessageBox::takeShown();
        shown.removeAll(RebootQuestion);
        shown.removeAll(RebootNote);
        QString words = shown.isEmpty() ? QString() : shown.last();
        words.remove(QStringLiteral(" Press Discover to look for it."));
        return {{}, words.toStdString()};
    }
};

// pemblorctl on a network of its own with the same device; the last JSON
// line it printed.
Ending ThroughPemblorctl(const apsim::Quirks& quirks, const apsim::ApSettings& settings,
                         std::vector<const char*> args)
{
    FakeNetwork net;
    VirtualClock clock([&net] { return net.Quiescent(); });
    EventLoop loop(clock);
    auto tool = net.NewLayer(SetupIpDlgRig::ToolHost);
    auto interfaces = net.InterfaceList(SetupIpDlgRig::ToolHost);
    SimAccessPoint device(net, loop, settings, quirks, std::chrono::seconds(20));
    args.insert(args.begin(), "pemblorctl");
    for (const char* more : {"--user", "admin", "--password-stdin", "--format", "json"})
        args.push_back(more);
    std::ostringstream out, err;
    std::istringstream in(std::string(SetupIpDlgRig::Password) + "\n");
    CtlOptions options;
    EXPECT_FALSE(ParseCommandLine(static_cast<int>(args.size()), args.data(), options, out, err)) << err.str();
    CtlIo io{out, err, in, nullptr};
    SessionConfig config;
    config.interfaces = interfaces.get();
    RunCommand(options, *tool, loop, io, std::move(config));
    std::string last;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);)
        last = line;
    if (last.empty())
        return {};
    const auto object = nlohmann::json::parse(last);
    return {object["result"], object.value("message", std::string())};
}

Ending ThroughSetRebootWait(const apsim::Quirks& quirks, const apsim::ApSettings& settings, Change change)
{
    std::vector<const char*> args{"set", SetupIpDlgRig::MacText, "--reboot", "--wait"};
    if (change.address)
        args.insert(args.end(), {"--ip", NewAddress});
    if (change.netmask)
        args.insert(args.end(), {"--netmask", NewNetmask});
    return ThroughPemblorctl(quirks, settings, args);
}

Ending ThroughApply(const apsim::Quirks& quirks, const apsim::ApSettings& settings, Change change)
{
    QTemporaryDir dir;
    const std::string plan = dir.filePath(QStringLiteral("plan.csv")).toStdString();
    std::ofstream(plan) << "mac,ip,netmask,gateway,dhcp\n"
                        << SetupIpDlgRig::MacText << ',' << (change.address ? NewAddress : "") << ','
                        << (change.netmask ? NewNetmask : "") << ",,\n";
    return ThroughPemblorctl(quirks, settings, {"apply", plan.c_str(), "--reboot"});
}

TEST(SameOutcome, TheDialogSetRebootWaitAndApplyTellEveryDeviceAlike)
{
    const auto quirk = [](auto set) {
        apsim::Quirks quirks;
        set(quirks);
        return quirks;
    };
    struct Behaviour {
        const char* name;
        apsim::Quirks quirks;
        Change change;
        std::string result;
        std::string words; // empty: as the other paths say
    };
    const Behaviour behaviours[] = {
        {"back at its new address", {}, {}, "verified", ""},
        {"a new address, the old netmask kept",
         quirk([](auto& q) { q.backNetmask = apsim::ParseAddress(OldNetmask); }), {true, true}, "not-verified",
         "After restarting, the device answered from 198.18.0.30 with netmask 255.255.255.0, not with netmask "
         "255.255.0.0: it may not have taken the netmask."},
        {"the netmask alone, not taken", quirk([](auto& q) { q.backNetmask = apsim::ParseAddress(OldNetmask); }),
         {false, true}, "not-verified",
         "After restarting, the device answered from 198.18.0.20 with netmask 255.255.255.0, not with netmask "
         "255.255.0.0: it may not have taken the netmask."},
        {"back at its old address", quirk([](auto& q) { q.keepAddress = true; }), {}, "not-verified",
         "After restarting, the device answered only from its old address 198.18.0.20, not from its new address "
         "198.18.0.30: the change may not have taken effect."},
        {"never back", quirk([](auto& q) { q.neverReturn = true; }), {}, "not-verified",
         "The device did not answer after restarting. It may be at its new address 198.18.0.30 or still "
         "restarting."},
    };
    for (const Behaviour& behaviour : behaviours) {
        SCOPED_TRACE(behaviour.name);
        const apsim::ApSettings settings = SetupIpDlgRig::Device(0);
        ThroughTheDialog dialog;
        const Ending shown = dialog.Run(behaviour.quirks, settings, behaviour.change);
        const Ending set = ThroughSetRebootWait(behaviour.quirks, settings, behaviour.change);
        const Ending applied = ThroughApply(behaviour.quirks, settings, behaviour.change);
        EXPECT_EQ(set.result, behaviour.result);
        EXPECT_EQ(applied.result, behaviour.result);
        EXPECT_EQ(set.words, behaviour.words);
        EXPECT_EQ(applied.words, behaviour.words);
        EXPECT_EQ(shown.words, behaviour.words);
    }
    // Refused credentials: the change is refused on every path alike.
    apsim::ApSettings other = SetupIpDlgRig::Device(0);
    other.pass = "other";
    ThroughTheDialog dialog;
    EXPECT_EQ(dialog.Run({}, other, {}).words, "Authentication Error!");
    EXPECT_EQ(ThroughSetRebootWait({}, other, {}).result, "authentication-error");
    EXPECT_EQ(ThroughApply({}, other, {}).words, "Authentication Error!");
}

} // namespace
} // namespace pemblor
