#include "ctl/CommandLine.h"
#include "ctl/CtlOptions.h"
#include "fleet/SettingsCheck.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace pemblor {
namespace {

struct Parsed {
    std::optional<int> status;
    CtlOptions options;
    std::string out;
    std::string err;
};

Parsed Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "pemblorctl");
    Parsed parsed;
    std::ostringstream out, err;
    parsed.status = ParseCommandLine(static_cast<int>(args.size()), args.data(), parsed.options, out, err);
    parsed.out = out.str();
    parsed.err = err.str();
    return parsed;
}

TEST(CommandLine, HelpOnEveryCommandGoesToStandardOutputWithStatusZero)
{
    for (const char* command : {"discover", "show", "set", "reboot"}) {
        const Parsed parsed = Parse({command, "--help"});
        EXPECT_EQ(parsed.status, 0) << command;
        EXPECT_NE(parsed.out.find(std::string("pemblorctl ") + command), std::string::npos) << parsed.out;
        EXPECT_TRUE(parsed.err.empty());
    }
    EXPECT_EQ(Parse({"--help"}).status, 0);
}

TEST(CommandLine, BadArgumentsGiveTheCommandsUsageAndStatusOne)
{
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"scan"},
        {"discover", "--format", "xml"},
        {"discover", "--timeout", "0"},
        {"discover", "--timeout", "soon"},
        {"show"},
        {"show", "00:0A:FF:10:2B"},
        {"show", "00-0A-FF-10-2B-C4"},
        {"show", "00:00:00:00:00:00"},
        {"reboot", "00:00:00:00:00:00", "--user", "admin", "--password-stdin"},
        {"show", "00:0A:FF:10:2B:C4", "extra"},
        {"set", "00:0A:FF:10:2B:C4", "--ip", "10.0.0.2"},
        {"set", "00:0A:FF:10:2B:C4", "--user", "u", "--dhcp", "maybe"},
        {"set", "00:0A:FF:10:2B:C4", "--user", "u", "--password-stdin", "--password-file", "f"},
        {"set", "00:0A:FF:10:2B:C4", "--user", "u", "--password", "secret"},
        {"reboot", "00:0A:FF:10:2B:C4"},
    };
    for (const auto& args : bad) {
        const Parsed parsed = Parse(args);
        std::string line;
        for (const char* arg : args)
            line += std::string(arg) + " ";
        EXPECT_EQ(parsed.status, 1) << line;
        EXPECT_NE(parsed.err.find("Usage:"), std::string::npos) << line << parsed.err;
        EXPECT_TRUE(parsed.out.empty()) << line;
    }
}

TEST(CommandLine, ReadsEachCommandsOptions)
{
    Parsed parsed = Parse({"show", "00:0a:ff:10:2b:c4", "--format", "csv"});
    EXPECT_EQ(parsed.options.command, CtlCommand::Show);
    EXPECT_EQ(parsed.options.mac, "00:0A:FF:10:2B:C4");
    EXPECT_EQ(parsed.options.format, OutputFormat::Csv);

    parsed = Parse({"set", "00:0A:FF:10:2B:C4", "--ip", "10.0.0.2", "--gateway", "", "--dhcp", "off", "--user",
                    "admin", "--password-file", "/run/pw"});
    EXPECT_FALSE(parsed.status) << parsed.err;
    EXPECT_EQ(parsed.options.command, CtlCommand::Set);
    EXPECT_EQ(parsed.options.ip, "10.0.0.2");
    EXPECT_FALSE(parsed.options.netmask);
    EXPECT_EQ(parsed.options.gateway, "");
    EXPECT_EQ(parsed.options.dhcp, false);
    EXPECT_EQ(parsed.options.user, "admin");
    EXPECT_EQ(parsed.options.passwordSource, PasswordSource::File);
    EXPECT_EQ(parsed.options.passwordFile, "/run/pw");

    parsed = Parse({"reboot", "00:0A:FF:10:2B:C4", "--wait", "--user", "admin", "--password-stdin"});
    EXPECT_EQ(parsed.options.command, CtlCommand::Reboot);
    EXPECT_TRUE(parsed.options.wait);
    EXPECT_EQ(parsed.options.passwordSource, PasswordSource::Stdin);
}

// Each mistake is named in words, above the usage of the command it was
// made in.
TEST(CommandLine, MistakesAreNamedInWords)
{
    const std::string formats = "pemblorctl: --format must be table, csv or json\n";
    const std::string twoFormats = "pemblorctl: --format must be table or json\n";
    const std::string timeout = "pemblorctl: --timeout must be a number of seconds between 0.1 and 3600\n";
    const std::string commands = "discover, show, set, reboot, plan, apply, undo";
    struct Case {
        std::vector<const char*> args;
        std::string starts;
    };
    const std::vector<Case> cases = {
        {{"discover", "--format", "xml"}, formats},
        {{"discover", "--format", "1"}, formats},
        {{"show", "00:0A:FF:10:2B:C4", "--format", "0"}, formats},
        {{"set", "00:0A:FF:10:2B:C4", "--dhcp", "on", "--user", "u", "--format", "csv"}, twoFormats},
        {{"reboot", "00:0A:FF:10:2B:C4", "--user", "u", "--format", "2"}, twoFormats},
        {{"undo", "result.json", "--format", "xml"}, formats},
        {{"undo", "result.json", "--timeout", "5"}, "pemblorctl: The following argument"},
        {{"discover", "--timeout", "abc"}, timeout},
        {{"discover", "--timeout", "0.05"}, timeout},
        {{"discover", "--timeout", "3601"}, timeout},
        {{"discover", "--timeout", "nan"}, timeout},
        {{"discover", "--timeout", "5s"}, timeout},
        {{"show", "00:0A:FF:10:2B:C4", "--timeout", "-1"}, timeout},
        {{"frob"}, "pemblorctl: unknown command 'frob'; the commands are " + commands + "\n"},
        {{}, "pemblorctl: a command is required: " + commands + "\n"},
    };
    for (const Case& c : cases) {
        const Parsed parsed = Parse(c.args);
        EXPECT_EQ(parsed.status, 1) << c.starts;
        EXPECT_EQ(parsed.err.rfind(c.starts, 0), 0u) << parsed.err;
        EXPECT_NE(parsed.err.find("Usage:"), std::string::npos) << parsed.err;
    }
    const Parsed upper = Parse({"discover", "--format", "JSON", "--timeout", "0.1"});
    EXPECT_FALSE(upper.status) << upper.err;
    EXPECT_EQ(upper.options.format, OutputFormat::Json);
    EXPECT_DOUBLE_EQ(upper.options.timeoutSeconds, 0.1);
}

TEST(CommandLine, VersionIsTheProjectsOne)
{
    const Parsed parsed = Parse({"--version"});
    EXPECT_EQ(parsed.status, 0);
    EXPECT_EQ(parsed.out, std::string("pemblorctl ") + EXPECTED_VERSION + "\n");
    EXPECT_TRUE(parsed.err.empty());
}

TEST(CommandLine, EveryCommandsHelpEndsWithItsExitStatuses)
{
    struct Case {
        const char* command;
        std::vector<std::string> statuses;
    };
    const Case cases[] = {
        {"discover", {"0 ", "1 ", "2 ", "5 ", "6 "}},
        {"show", {"0 ", "1 ", "4 ", "5 ", "6 "}},
        {"set", {"0 ", "1 ", "3 Authentication Error!", "4 ", "5 ", "6 ", "7 "}},
        {"reboot", {"0 ", "1 ", "3 Authentication Error!", "4 ", "5 ", "6 ", "7 "}},
    };
    for (const Case& c : cases) {
        const Parsed parsed = Parse({c.command, "--help"});
        const std::size_t at = parsed.out.rfind("Exit status: ");
        ASSERT_NE(at, std::string::npos) << parsed.out;
        const std::string tail = parsed.out.substr(at);
        EXPECT_EQ(tail.find("\n\n"), std::string::npos) << c.command << ": not the last paragraph\n" << tail;
        for (const std::string& status : c.statuses)
            EXPECT_NE(tail.find(status), std::string::npos) << c.command << " " << status;
    }
}

// The dialog's messages, in the dialog's order; an address the dialog's
// control could not hold fails with that control's message.
TEST(CheckSettings, GivesTheDialogsMessages)
{
    struct Case {
        std::optional<std::string> ip, netmask, gateway;
        std::optional<bool> dhcp;
        std::string_view failure;
    };
    const Case cases[] = {
        {"198.18.1.50", std::nullopt, std::nullopt, std::nullopt, ""},
        {std::nullopt, std::nullopt, std::nullopt, true, ""},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, MsgNoChange},
        {"", std::nullopt, std::nullopt, std::nullopt, MsgIpEmpty},
        {"0.1.2.3", std::nullopt, std::nullopt, std::nullopt, MsgIpInvalid},
        {"224.0.0.1", std::nullopt, std::nullopt, std::nullopt, MsgIpInvalid},
        {"10.0.0.255", std::nullopt, std::nullopt, std::nullopt, MsgIpInvalid},
        {"10.0.0", std::nullopt, std::nullopt, std::nullopt, MsgIpInvalid},
        {"10.0.0.1.5", std::nullopt, std::nullopt, std::nullopt, MsgIpInvalid},
        {"10.0.0.+1", std::nullopt, std::nullopt, std::nullopt, MsgIpInvalid},
        {"10.0.0.0001", std::nullopt, std::nullopt, std::nullopt, MsgIpInvalid},
        {std::nullopt, "", std::nullopt, std::nullopt, MsgNetmaskEmpty},
        {std::nullopt, "255.0.255.0", std::nullopt, std::nullopt, MsgNetmaskInvalid},
        {std::nullopt, "255.255.255.7", std::nullopt, std::nullopt, MsgNetmaskInvalid},
        {std::nullopt, "255.255.255.255", std::nullopt, std::nullopt, MsgNetmaskInvalid},
        {std::nullopt, "255.255.128.128", std::nullopt, std::nullopt, ""},
        {std::nullopt, "0.0.0.0", std::nullopt, std::nullopt, ""},
        {std::nullopt, std::nullopt, "", std::nullopt, ""},
        {std::nullopt, std::nullopt, "0.0.0.0", std::nullopt, ""},
        {std::nullopt, std::nullopt, "0.0.0.1", std::nullopt, MsgGatewayInvalid},
        {std::nullopt, std::nullopt, "gw", std::nullopt, MsgGatewayInvalid},
        // The first failure in the dialog's order wins, whatever failed to read.
        {"", "255.0.255.0", "x", std::nullopt, MsgIpEmpty},
        {"10.0.0.1", "bad", "0.0.0.1", std::nullopt, MsgNetmaskInvalid},
        {"10.0.0.1", "255.0.255.0", "bad", std::nullopt, MsgNetmaskInvalid},
    };
    for (const Case& c : cases) {
        const ValidationOutcome outcome = CheckSettingTexts(c.ip, c.netmask, c.gateway, c.dhcp);
        EXPECT_EQ(outcome.failure, c.failure) << c.ip.value_or("-") << " " << c.netmask.value_or("-") << " "
                                              << c.gateway.value_or("-");
    }
}

TEST(CheckSettings, AcceptedValuesAreSentAsDottedText)
{
    const ValidationOutcome outcome = CheckSettingTexts("198.18.1.050", std::nullopt, "", false);
    ASSERT_TRUE(outcome.Accepted());
    EXPECT_EQ(outcome.ipAddress, "198.18.1.50");
    EXPECT_EQ(outcome.gateway, "0.0.0.0");
    EXPECT_FALSE(outcome.subnetMask);
    EXPECT_EQ(outcome.dhcp, 0);
}

} // namespace
} // namespace pemblor
