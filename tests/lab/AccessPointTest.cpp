// The simulator's access points without sockets, on a clock the test sets:
// commands, credentials and the quirks that shape results and restarts.
#include "tools/apsim/AccessPoint.h"
#include "tools/apsim/LabAddress.h"
#include "tools/apsim/Options.h"

#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/Requests.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace apsim {
namespace {

using namespace std::chrono_literals;
using Verdict = CommandOutcome::Verdict;
using Kind = CommandOutcome::Kind;

constexpr auto RebootTime = 5s;
const std::string Mac = "02:00:00:00:00:01";
const AccessPoint::Clock::time_point Start{};

// One access point at 198.18.1.1 built from the simulator's own command line.
AccessPoint Build(const std::string& keys)
{
    const std::string ap = "ip=198.18.1.1,mac=" + Mac + (keys.empty() ? "" : "," + keys);
    std::vector<std::string> words = {"apsim", "--ap", ap};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    Options options;
    std::string error;
    std::vector<AccessPoint> built;
    EXPECT_TRUE(options.Parse(static_cast<int>(argv.size()), argv.data(), error)) << error;
    EXPECT_TRUE(options.BuildAccessPoints(built, error)) << error;
    return built.at(0);
}

pemblor::ReplyDatagram View(const pemblor::Datagram& datagram)
{
    return pemblor::ReplyDatagram(datagram.data(), datagram.size, "198.18.0.1");
}

CommandOutcome Command(AccessPoint& ap, const pemblor::Datagram& request, AccessPoint::Clock::time_point at)
{
    const pemblor::ReplyDatagram view = View(request);
    const std::string user(reinterpret_cast<const char*>(request.data() + pemblor::PacketHeader::OffsetUserName));
    const std::string pass(reinterpret_cast<const char*>(request.data() + pemblor::PacketHeader::OffsetPassword));
    return ap.OnCommand(view, user, pass, at, RebootTime);
}

pemblor::Datagram Change(const std::string& user, const std::string& pass)
{
    pemblor::SettingsChange change;
    change.ipAddress = "198.18.1.77";
    change.subnetMask = "255.255.255.0";
    return pemblor::BuildSettingsChange(Mac, user, pass, change);
}

// Where the access point answers a discovery from at `at`; empty: silent.
std::string AnswersFrom(AccessPoint& ap, AccessPoint::Clock::time_point at)
{
    const auto reply = ap.OnQuery(View(pemblor::BuildDiscoveryRequest()), true, at);
    return reply ? FormatAddress(reply->source) : std::string();
}

struct CommandCase {
    const char* name;
    const char* keys;
    bool reboot;
    const char* user;
    const char* pass;
    Verdict verdict;
    int result; // -1: no reply
    bool zeroMac;
};

TEST(AccessPointTest, CommandsAnswerAsTheirCredentialsAndQuirksSay)
{
    const CommandCase cases[] = {
        {"change accepted", "", false, "admin", "admin", Verdict::Accepted, 0, false},
        {"change refused", "", false, "admin", "nimda", Verdict::Refused, 1, false},
        {"reboot accepted, not answered", "", true, "admin", "admin", Verdict::Accepted, -1, false},
        {"reboot refused", "", true, "root", "admin", Verdict::Refused, 1, false},
        {"own credentials for a change", "user=other,pass=secret", false, "other", "secret", Verdict::Accepted, 0,
         false},
        {"the defaults refused where it has its own", "user=other,pass=secret", false, "admin", "admin",
         Verdict::Refused, 1, false},
        {"own credentials for a reboot", "user=other,pass=secret", true, "other", "secret", Verdict::Accepted, -1,
         false},
        {"zero MAC on an accepted change", "zero-mac-result", false, "admin", "admin", Verdict::Accepted, 0, true},
        {"zero MAC on a refused reboot", "zero-mac-result", true, "admin", "x", Verdict::Refused, 1, true},
        {"zero-mac-result=0 keeps the MAC", "zero-mac-result=0", false, "admin", "admin", Verdict::Accepted, 0,
         false},
        {"silent ignores a command", "silent", false, "admin", "admin", Verdict::Ignored, -1, false},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        AccessPoint ap = Build(c.keys);
        const CommandOutcome outcome =
            Command(ap, c.reboot ? pemblor::BuildRebootRequest(Mac, c.user, c.pass) : Change(c.user, c.pass), Start);
        EXPECT_EQ(outcome.kind, c.reboot ? Kind::Reboot : Kind::Set);
        EXPECT_EQ(outcome.verdict, c.verdict);
        ASSERT_EQ(outcome.reply.has_value(), c.result >= 0);
        if (!outcome.reply)
            continue;
        const pemblor::ReplyDatagram reply(outcome.reply->bytes.data(), outcome.reply->bytes.size(), "");
        EXPECT_EQ(reply.type(), pemblor::TypeCommandReply);
        EXPECT_EQ(reply.resultCode(), c.result);
        EXPECT_EQ(pemblor::FormatMacText(reply.macAddress()).view(), c.zeroMac ? "00:00:00:00:00:00" : Mac);
        EXPECT_EQ(FormatAddress(outcome.reply->source), "198.18.1.1");
    }
}

struct RestartCase {
    const char* name;
    const char* keys;
    const char* pass;  // of the reboot after the change
    std::string before; // answering from, just before the reboot time is up
    std::string after;  // and an hour after
};

TEST(AccessPointTest, RestartsTakeTheChangedAddressOrNeverReturn)
{
    const RestartCase cases[] = {
        {"plain: silent while restarting, then at the new address", "", "admin", "", "198.18.1.77"},
        {"refused reboot: no restart", "", "wrong", "198.18.1.1", "198.18.1.1"},
        {"never-return: silent for good", "never-return", "admin", "", ""},
        {"never-return, refused reboot: stays", "never-return", "wrong", "198.18.1.1", "198.18.1.1"},
        {"apply-immediately: the new address already, and after", "apply-immediately", "admin", "", "198.18.1.77"},
    };
    for (const RestartCase& c : cases) {
        SCOPED_TRACE(c.name);
        AccessPoint ap = Build(c.keys);
        ASSERT_EQ(Command(ap, Change("admin", "admin"), Start).verdict, Verdict::Accepted);
        const auto rebooted = Start + 1s;
        Command(ap, pemblor::BuildRebootRequest(Mac, "admin", c.pass), rebooted);
        EXPECT_EQ(AnswersFrom(ap, rebooted + RebootTime - 1ms), c.before);
        EXPECT_EQ(AnswersFrom(ap, rebooted + 1h), c.after);
        if (c.after.empty()) {
            EXPECT_EQ(Command(ap, Change("admin", "admin"), rebooted + 1h).verdict, Verdict::Ignored);
        }
    }
}

TEST(AccessPointTest, ApplyImmediatelyAnswersTheResultFromTheOldAddressThenFromTheNew)
{
    AccessPoint ap = Build("apply-immediately");
    const CommandOutcome outcome = Command(ap, Change("admin", "admin"), Start);
    ASSERT_TRUE(outcome.reply);
    EXPECT_EQ(FormatAddress(outcome.reply->source), "198.18.1.1");
    EXPECT_EQ(AnswersFrom(ap, Start), "198.18.1.77");
    const auto reply = ap.OnQuery(View(pemblor::BuildDiscoveryRequest()), true, Start);
    ASSERT_TRUE(reply);
    const pemblor::ReplyDatagram view(reply->bytes.data(), reply->bytes.size(), "");
    std::vector<std::string> texts;
    for (const auto& [index, entry] : view.entries())
        texts.emplace_back(entry.text.substr(0, entry.text.find('\0')));
    EXPECT_EQ(texts, (std::vector<std::string>{"SSID=lab-1", "IP_ADDR=198.18.1.77",
                                               "CURRENT_SUBNET_MASK=255.255.255.0", "CHANNEL=1"}));

    // Without the quirk the change waits for a restart.
    AccessPoint plain = Build("");
    Command(plain, Change("admin", "admin"), Start);
    EXPECT_EQ(AnswersFrom(plain, Start + 1h), "198.18.1.1");
}

// The behaviours that tests of the tool set on the model directly: a
// discovery answered more than once, commands heard but neither answered nor
// carried out, and a restart that keeps the old address.
TEST(AccessPointTest, QuirksWithoutOptionNames)
{
    ApSettings settings;
    settings.ip = *ParseAddress("198.18.1.1");
    settings.mac = pemblor::ParseMacText(Mac);
    Quirks twice;
    twice.discoveryRepeats = 2;
    AccessPoint repeating(settings, twice);
    const auto discovery = repeating.OnQuery(View(pemblor::BuildDiscoveryRequest()), true, Start);
    ASSERT_TRUE(discovery);
    EXPECT_EQ(discovery->repeats, 2);
    const auto detail = repeating.OnQuery(View(pemblor::BuildDetailQuery(Mac)), false, Start);
    ASSERT_TRUE(detail);
    EXPECT_EQ(detail->repeats, 0) << "only discovery replies repeat";

    struct Case {
        const char* name;
        bool ignoreCommands;
        bool keepAddress;
        Verdict verdict;
        std::string after; // where it answers once restarted
    };
    const Case cases[] = {
        {"plain", false, false, Verdict::Accepted, "198.18.1.77"},
        {"ignores commands: no result, no change, no restart", true, false, Verdict::Ignored, "198.18.1.1"},
        {"keeps its address over the restart", false, true, Verdict::Accepted, "198.18.1.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Quirks quirks;
        quirks.ignoreCommands = c.ignoreCommands;
        quirks.keepAddress = c.keepAddress;
        AccessPoint ap(settings, quirks);
        const CommandOutcome changed = Command(ap, Change("admin", "admin"), Start);
        EXPECT_EQ(changed.verdict, c.verdict);
        EXPECT_EQ(changed.reply.has_value(), !c.ignoreCommands);
        Command(ap, pemblor::BuildRebootRequest(Mac, "admin", "admin"), Start + 1s);
        EXPECT_EQ(AnswersFrom(ap, Start + 1s + RebootTime - 1ms), c.ignoreCommands ? "198.18.1.1" : "");
        EXPECT_EQ(AnswersFrom(ap, Start + 1h), c.after);
    }
}

// The value of entry `name` in a reply's entries; empty when it has none.
std::string EntryValue(const OutgoingReply& reply, const std::string& name)
{
    const pemblor::ReplyDatagram view(reply.bytes.data(), reply.bytes.size(), "");
    for (const auto& [index, entry] : view.entries()) {
        const std::string text(entry.text.substr(0, entry.text.find('\0')));
        if (text.starts_with(name + "="))
            return text.substr(name.size() + 1);
    }
    return {};
}

// The quirks that shape a change's result and where a restart comes back:
// a result code of their own, a late copy of each result, another address
// or netmask than the one stored.
TEST(AccessPointTest, ResultCodesLateCopiesAndWhereARestartComesBack)
{
    struct Case {
        const char* name;
        const char* keys;
        const char* pass; // of the change; the reboot after it is accepted
        int result;
        int copyAfterMs;
        std::string stored; // IP_ADDR after the change
        std::string after;  // answering from once restarted, and its IP_ADDR
        std::string mask;   // CURRENT_SUBNET_MASK then
    };
    const Case cases[] = {
        {"plain", "", "admin", 0, 0, "198.18.1.77", "198.18.1.77", "255.255.255.0"},
        {"result-code: its code, nothing stored", "result-code=2", "admin", 2, 0, "198.18.1.1", "198.18.1.1",
         "255.254.0.0"},
        {"result-code 0 to a wrong password: nothing stored", "result-code=0", "nimda", 0, 0, "198.18.1.1",
         "198.18.1.1", "255.254.0.0"},
        {"late-copy-ms: the result once more, later", "late-copy-ms=600", "admin", 0, 600, "198.18.1.77",
         "198.18.1.77", "255.255.255.0"},
        {"back-at: another address after the restart", "back-at=198.18.1.99", "admin", 0, 0, "198.18.1.77",
         "198.18.1.99", "255.255.255.0"},
        {"back-netmask: another netmask after the restart", "back-netmask=255.255.0.0", "admin", 0, 0,
         "198.18.1.77", "198.18.1.77", "255.255.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AccessPoint ap = Build(c.keys);
        const CommandOutcome changed = Command(ap, Change("admin", c.pass), Start);
        ASSERT_TRUE(changed.reply);
        EXPECT_EQ(changed.verdict, c.stored == "198.18.1.77" ? Verdict::Accepted : Verdict::Refused);
        const pemblor::ReplyDatagram result(changed.reply->bytes.data(), changed.reply->bytes.size(), "");
        EXPECT_EQ(result.resultCode(), c.result);
        EXPECT_EQ(changed.reply->copyAfterMs, c.copyAfterMs);
        const auto detail = ap.OnQuery(View(pemblor::BuildDetailQuery(Mac)), false, Start);
        ASSERT_TRUE(detail);
        EXPECT_EQ(EntryValue(*detail, "IP_ADDR"), c.stored);
        EXPECT_EQ(detail->copyAfterMs, 0) << "query replies leave once";

        Command(ap, pemblor::BuildRebootRequest(Mac, "admin", "admin"), Start + 1s);
        const auto back = ap.OnQuery(View(pemblor::BuildDiscoveryRequest()), true, Start + 1h);
        ASSERT_TRUE(back);
        EXPECT_EQ(FormatAddress(back->source), c.after);
        EXPECT_EQ(EntryValue(*back, "IP_ADDR"), c.after);
        EXPECT_EQ(EntryValue(*back, "CURRENT_SUBNET_MASK"), c.mask);
    }
}

struct OptionsCase {
    std::vector<std::string> words;
    std::vector<std::string> addresses; // empty with `fails`
    bool fails = false;
};

TEST(AccessPointTest, SharedAddressAndQuirkOptions)
{
    const OptionsCase cases[] = {
        {{"--aps", "3", "--shared-ip", "198.19.250.1"}, {"198.19.250.1", "198.19.250.1", "198.19.250.1"}},
        {{"--shared-ip", "198.19.250.1", "--aps", "2", "--ap", "ip=198.19.250.1"},
         {"198.19.250.1", "198.19.250.1", "198.19.250.1"}},
        {{"--aps", "2", "--ap", "ip=198.18.1.1", "--ap", "ip=198.18.1.1,zero-mac-result,never-return"},
         {"198.18.1.1", "198.18.1.2", "198.18.1.1", "198.18.1.1"}},
        {{"--zero-mac-result", "--never-return", "--apply-immediately", "--aps", "1"}, {"198.18.1.1"}},
        {{"--aps", "1", "--command-log", "/dev/null"}, {"198.18.1.1"}},
        {{"--aps", "1", "--shared-ip", "10.0.0.1"}, {}, true},
        {{"--aps", "1", "--shared-ip", "198.19.250"}, {}, true},
        {{"--ap", "ip=198.18.1.1,never-return=2"}, {}, true},
        {{"--aps", "1", "--command-log", ""}, {}, true},
        {{"--result-code", "2", "--late-copy-ms", "600", "--back-at", "198.18.1.99", "--back-netmask", "255.255.0.0",
          "--aps", "1"},
         {"198.18.1.1"}},
        {{"--ap", "ip=198.18.1.1,result-code=255,late-copy-ms=0,back-at=198.19.0.1,back-netmask=255.0.0.0"},
         {"198.18.1.1"}},
        {{"--ap", "ip=198.18.1.1,result-code=256"}, {}, true},
        {{"--aps", "1", "--late-copy-ms", "-1"}, {}, true},
        {{"--aps", "1", "--back-at", "10.0.0.1"}, {}, true},
        {{"--aps", "1", "--back-netmask", "255.255"}, {}, true},
    };
    for (const OptionsCase& c : cases) {
        std::vector<std::string> words = {"apsim"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        std::string line;
        std::vector<char*> argv;
        for (std::string& word : words) {
            line += word + ' ';
            argv.push_back(word.data());
        }
        SCOPED_TRACE(line);
        Options options;
        std::string error;
        std::vector<AccessPoint> built;
        const bool ok = options.Parse(static_cast<int>(argv.size()), argv.data(), error) &&
                        options.BuildAccessPoints(built, error);
        EXPECT_EQ(!ok, c.fails) << error;
        std::vector<std::string> addresses;
        for (const AccessPoint& ap : built)
            addresses.push_back(FormatAddress(ap.runningAddress()));
        if (ok) {
            EXPECT_EQ(addresses, c.addresses);
        }
    }
}

} // namespace
} // namespace apsim
