#include "ctl/CommandLine.h"

#include "ctl/ExitCode.h"
#include "fleet/PlanFile.h"
#include "protocol/MacText.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>

namespace pemblor {

namespace {

constexpr const char* FormatMessage = "--format must be table, csv or json";
constexpr const char* FormatMessageNoCsv = "--format must be table or json";
constexpr const char* TimeoutMessage = "--timeout must be a number of seconds between 0.1 and 3600";

// MAC texts are passed on in upper case, the form every MAC text of the tool
// has.
void ToUpper(std::string& text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Six two-digit hexadecimal bytes joined by ':', in either case.
std::string CheckMac(std::string& text)
{
    bool ok = text.size() == 17;
    for (std::size_t i = 0; ok && i < text.size(); ++i)
        ok = i % 3 == 2 ? text[i] == ':' : std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    if (!ok)
        return "MAC address must look like 00:0A:FF:10:2B:C4: " + text;
    ToUpper(text);
    // In a request header the all-zero MAC addresses every device.
    if (!ParseDeviceMac(text))
        return "MAC address " + text + " names no single device";
    return {};
}

// plan's MACs are checked as a plan file's are.
std::string CheckPlanMac(std::string& text)
{
    std::string failure = CheckMacText(text);
    ToUpper(text);
    return failure;
}

void AddMac(CLI::App& command, CtlOptions& options)
{
    command.add_option("MAC", options.mac, "The device's MAC address, e.g. 00:0A:FF:10:2B:C4")
        ->required()
        ->transform(CLI::Validator(CheckMac, "", "MAC"))
        ->type_name("MAC");
}

// An address of the change, kept as text for the settings check.
CLI::Option* AddAddress(CLI::App& command, const char* name, std::optional<std::string>& value,
                        const std::string& help)
{
    return command.add_option_function<std::string>(name, [&value](const std::string& text) { value = text; }, help)
        ->type_name("A.B.C.D");
}

void AddDhcp(CLI::App& command, std::optional<bool>& dhcp, const char* help)
{
    static const std::map<std::string, bool> onOff{{"on", true}, {"off", false}};
    command.add_option_function<bool>("--dhcp", [&dhcp](const bool& on) { dhcp = on; }, help)
        ->transform(CLI::CheckedTransformer(onOff, CLI::ignore_case).description(""))
        ->type_name("on|off");
}

// The texts of --timeout and --format, checked once the line is parsed, so
// that their messages say what is wanted.
struct OutputTexts {
    std::string timeout;
    std::string format;
};

// --timeout (where `timeoutHelp` is given), then --format with the names it
// takes.
void AddTimeoutAndFormat(CLI::App& command, OutputTexts& texts, const char* timeoutHelp, const char* names,
                         std::string formatHelp = {})
{
    if (timeoutHelp)
        command.add_option("--timeout", texts.timeout, timeoutHelp)->type_name("SECONDS");
    if (formatHelp.empty())
        formatHelp = "Output: " + std::string(names);
    command.add_option("--format", texts.format, formatHelp)->type_name(names);
}

// The names a format option takes; false for anything else (a number is
// not a format).
bool ReadFormat(std::string text, bool csvAllowed, OutputFormat& format)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (text == "table")
        format = OutputFormat::Table;
    else if (text == "json")
        format = OutputFormat::Json;
    else if (text == "csv" && csvAllowed)
        format = OutputFormat::Csv;
    else
        return false;
    return true;
}

bool ReadTimeout(const std::string& text, double& seconds)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())))
        return false;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value) || value < 0.1 || value > 3600.0)
        return false;
    seconds = value;
    return true;
}

constexpr const char* UnicastOnlyHelp =
    "Never send the password by broadcast, where every host on the network segment receives it: a device whose "
    "password cannot go by unicast (outside this computer's networks, sharing its address with another device, or "
    "not answering by unicast) is not sent it";

void AddCredentials(CLI::App& command, CtlOptions& options)
{
    command.add_option("--user", options.user, "The device's administrator name")->required()->type_name("NAME");
    auto* fromStdin = command.add_flag_callback(
        "--password-stdin", [&options] { options.passwordSource = PasswordSource::Stdin; },
        "Read the password from the first line of standard input");
    auto* fromFile = command.add_option_function<std::string>(
        "--password-file",
        [&options](const std::string& path) {
            options.passwordSource = PasswordSource::File;
            options.passwordFile = path;
        },
        "Read the password from the first line of a file")
        ->type_name("FILE");
    fromStdin->excludes(fromFile);
    command.add_flag("--unicast-only", options.unicastOnly, UnicastOnlyHelp);
}

constexpr const char* PasswordNote =
    "Without a password option the password is asked for on the terminal, without echo.\n\n"
    "The password goes by unicast to the device's address when that lies in the network of the interface the "
    "device answered on, no other device answers from it, and the device answers a query sent there; else by "
    "broadcast, after a warning on standard error (--unicast-only: not at all).\n\n";

} // namespace

std::optional<int> ParseCommandLine(int argc, const char* const* argv, CtlOptions& options, std::ostream& out,
                                    std::ostream& err)
{
    CLI::App app{"Finds wireless access points on the local network and changes their addressing.", "pemblorctl"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("pemblorctl ") + PEMBLOR_VERSION, "Print the version and exit");
    app.footer("Exit status: 0 done, 1 bad arguments or settings, 2 no device answered, 3 authentication "
               "refused, 4 time-out, 5 UDP port 21212 in use, 6 other network failure, 7 other device result, 8 apply: "
               "some device did not end verified, stored or unchanged, 9 set, reboot: --unicast-only held the "
               "password back.");

    OutputTexts texts;

    auto* discover = app.add_subcommand("discover", "Broadcast one discovery and list the devices as they answer");
    discover->footer("Exit status: 0 devices answered, 1 bad arguments, 2 no device answered, 5 UDP port 21212 "
                     "in use, 6 other network failure.");
    AddTimeoutAndFormat(*discover, texts, "Seconds to listen for answers (default 5)", "table|csv|json");

    auto* show = app.add_subcommand("show", "Read one device's IP address, netmask, gateway and DHCP setting");
    show->footer("Exit status: 0 read, 1 bad arguments, 4 no answer (Time Out!), 5 UDP port 21212 in use, "
                 "6 other network failure.");
    AddMac(*show, options);
    AddTimeoutAndFormat(*show, texts, "Seconds to wait for the device's answer (default 5)", "table|csv|json");

    auto* set = app.add_subcommand("set", "Change one device's addressing (it is read first)");
    set->footer(std::string(PasswordNote) +
                "Exit status: 0 changed, or nothing to change (nothing sent), 1 bad arguments or settings, "
                "3 Authentication Error!, 4 no answer (Time Out!), or with --wait: the device was not seen again "
                "as it was set, 5 UDP port 21212 in use, 6 other network failure, 7 other device result, "
                "9 --unicast-only: the password would have been broadcast.");
    AddMac(*set, options);
    AddAddress(*set, "--ip", options.ip, "New IP address");
    AddAddress(*set, "--netmask", options.netmask, "New netmask");
    AddAddress(*set, "--gateway", options.gateway, "New default gateway (empty or 0.0.0.0: none)");
    AddDhcp(*set, options.dhcp, "DHCP client: on or off");
    auto* setReboot = set->add_flag("--reboot", options.reboot, "Reboot the device once it accepted the change");
    set->add_flag("--wait", options.wait,
                  "With --reboot: wait for the device to answer again (30 s, then up to 53 s of queries), verify "
                  "it holds the values just set, and print its address")
        ->needs(setReboot);
    AddCredentials(*set, options);
    AddTimeoutAndFormat(*set, texts, "Seconds to wait for the device's settings before the change (default 5)",
                        "table|json");

    auto* reboot = app.add_subcommand("reboot", "Restart one device");
    reboot->footer(std::string(PasswordNote) +
                   "Exit status: 0 reboot sent (with --wait: the device answered again), 1 bad arguments, "
                   "3 Authentication Error!, 4 no answer, or with --wait: the device was not seen again or "
                   "answered only from its old address, 5 UDP port 21212 in use, 6 other network failure, "
                   "7 other device result, 9 --unicast-only: the password would have been broadcast.");
    AddMac(*reboot, options);
    reboot->add_flag("--wait", options.wait,
                     "Read the device, then wait for it to answer again (30 s, then up to 53 s of queries) and "
                     "print its address");
    AddCredentials(*reboot, options);
    AddTimeoutAndFormat(*reboot, texts, nullptr, "table|json");

    auto* plan = app.add_subcommand("plan", "Discover, then give the devices addresses upward from a start address "
                                            "and print the plan");
    plan->footer("Blank cells in the plan leave a value as the device has it. Save the CSV, edit it if need be, "
                 "and give it to apply.\n\nExit status: 0 planned, 1 bad arguments or it cannot plan (the reason "
                 "is on standard error), 5 UDP port 21212 in use, 6 other network failure.");
    plan->add_option("MAC", options.macs, "The devices, in the order they get addresses")
        ->required()
        ->transform(CLI::Validator(CheckPlanMac, "", "MAC"))
        ->type_name("MAC");
    AddAddress(*plan, "--from", options.ip, "The first address to give")->required();
    AddAddress(*plan, "--netmask", options.netmask,
               "Netmask for every device; its network around --from is planned in (default: the network of the "
               "interface the first device answered on, and each device keeps its netmask)");
    AddAddress(*plan, "--gateway", options.gateway, "Default gateway for every device (empty or 0.0.0.0: none)");
    AddDhcp(*plan, options.dhcp, "DHCP client for every device: on or off");
    AddTimeoutAndFormat(*plan, texts, "Seconds to listen for the discovery's answers (default 5)", "csv|json|table",
                        "Output: csv (default, the plan file), json (one object a line) or table");

    auto* apply = app.add_subcommand("apply", "Re-address the devices of a plan file, each verified at its new "
                                              "address");
    apply->footer("A device whose password could only go by broadcast is warned of on standard error before it "
                  "leaves; with --unicast-only it is not sent it and ends needs-broadcast.\n\n"
                  "Exit status: 0 every device verified, stored or unchanged (with --dry-run: or would-change), "
                  "1 bad arguments or plan file, 5 UDP port 21212 in use, 6 other network failure, 8 some device "
                  "ended otherwise, or the run was stopped.");
    apply->add_option("PLAN", options.planFile, "The plan file (CSV: mac,ip,netmask,gateway,dhcp)")
        ->required()
        ->type_name("PLAN");
    AddCredentials(*apply, options);
    apply->add_flag("--reboot", options.reboot,
                    "Reboot each device that accepted its change and verify it: discovery every 2 s until it "
                    "answers from its planned address with its planned netmask, or 90 s after its reboot");
    apply->add_flag("--dry-run", options.dryRun,
                    "Read each device and say whether it would change; send no change (no password is read)");
    AddTimeoutAndFormat(*apply, texts, "Seconds to wait for each device's detail (default 5)", "table|csv|json",
                        "Output: table (default), csv or json (one object a line)");

    auto* undo = app.add_subcommand("undo", "Print the plan that puts back every device an apply result shows "
                                            "changed, or maybe changed");
    undo->footer("Each device whose result is not unchanged, would-change, invalid or not-found gets its before "
                 "address, netmask, gateway and DHCP back (a device that had DHCP on gets it on again, with the "
                 "static values it reported). A device whose before address another device of the result had too is "
                 "left out: a plan gives each address once. Standard error says how many were left out, and why. "
                 "Apply the plan with apply --reboot.\n\nExit status: 0 printed, 1 bad arguments or a file that is "
                 "no apply result (its line named on standard error).");
    undo->add_option("RESULT", options.resultFile,
                     "What apply printed with --format json or csv, or the file \"Export result...\" of \"Setup IP "
                     "for N devices\" saves")
        ->required()
        ->type_name("RESULT");
    AddTimeoutAndFormat(*undo, texts, nullptr, "csv|json|table",
                        "Output: csv (default, the plan file), json (one object a line) or table");

    const auto usage = [&](const std::string& message, const CLI::App* command) {
        err << "pemblorctl: " << message << "\n\n" << (command ? command->help("pemblorctl") : app.help());
        return ExitUsage;
    };
    std::string commandList;
    bool known = false;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        commandList += (commandList.empty() ? "" : ", ") + command->get_name();
        known = known || (argc >= 2 && command->get_name() == argv[1]);
    }
    if (argc < 2)
        return usage("a command is required: " + commandList, nullptr);
    if (argv[1][0] != '-' && !known)
        return usage(std::string("unknown command '") + argv[1] + "'; the commands are " + commandList, nullptr);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        // --help or --version: printed to `out`, status 0.
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        const auto chosen = app.get_subcommands();
        return usage(e.what(), chosen.empty() ? nullptr : chosen.front());
    }

    const CLI::App* chosen = app.get_subcommands().front();
    const std::pair<const CLI::App*, CtlCommand> commands[] = {
        {discover, CtlCommand::Discover}, {show, CtlCommand::Show}, {set, CtlCommand::Set},
        {reboot, CtlCommand::Reboot},     {plan, CtlCommand::Plan}, {apply, CtlCommand::Apply},
        {undo, CtlCommand::Undo}};
    for (const auto& [command, name] : commands) {
        if (command == chosen)
            options.command = name;
    }
    // A plan is printed as the plan file unless told otherwise.
    if (chosen == plan || chosen == undo)
        options.format = OutputFormat::Csv;
    const bool csvAllowed = chosen != set && chosen != reboot;
    if (chosen->count("--format") > 0 && !ReadFormat(texts.format, csvAllowed, options.format))
        return usage(csvAllowed ? FormatMessage : FormatMessageNoCsv, chosen);
    if (chosen != reboot && chosen != undo && chosen->count("--timeout") > 0 && !ReadTimeout(texts.timeout, options.timeoutSeconds))
        return usage(TimeoutMessage, chosen);
    return std::nullopt;
}

} // namespace pemblor
