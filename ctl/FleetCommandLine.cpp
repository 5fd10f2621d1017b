#include "ctl/FleetCommandLine.h"

#include "ctl/CommandLine.h"
#include "fleet/PlanFile.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <map>

namespace pemblor {

namespace {

std::string CheckMac(std::string& text)
{
    std::string failure = CheckMacText(text);
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return failure;
}

} // namespace

void AddFleetCommands(CLI::App& app, CtlOptions& options, FleetCommands& commands,
                      void (*addCredentials)(CLI::App&, CtlOptions&))
{
    auto* plan = app.add_subcommand("plan", "Discover, then give the devices addresses upward from a start address "
                                            "and print the plan");
    plan->add_option("MAC", options.macs, "The devices, in the order they get addresses")
        ->required()
        ->transform(CLI::Validator(CheckMac, "", "MAC"))
        ->type_name("MAC");
    plan->add_option("--from", options.from, "The first address to give")->required()->type_name("A.B.C.D");
    plan->add_option_function<std::string>("--netmask", [&options](const std::string& v) { options.netmask = v; },
                                           "Netmask for every device; its network around --from is planned in "
                                           "(default: the network of the interface the first device answered on, "
                                           "and each device keeps its netmask)")
        ->type_name("A.B.C.D");
    plan->add_option_function<std::string>("--gateway", [&options](const std::string& v) { options.gateway = v; },
                                           "Default gateway for every device (empty or 0.0.0.0: none)")
        ->type_name("A.B.C.D");
    static const std::map<std::string, bool> onOff{{"on", true}, {"off", false}};
    plan->add_option_function<bool>("--dhcp", [&options](const bool& v) { options.dhcp = v; },
                                    "DHCP client for every device: on or off")
        ->transform(CLI::CheckedTransformer(onOff, CLI::ignore_case).description(""))
        ->type_name("on|off");
    plan->add_option("--timeout", commands.timeoutText, "Seconds to listen for the discovery's answers (default 5)")
        ->type_name("SECONDS");
    plan->add_option("--format", commands.formatText,
                     "Output: csv (default, the plan file), json (one object a line) or table")
        ->type_name("csv|json|table");
    plan->footer("Blank cells in the plan leave a value as the device has it. Save the CSV, edit it if need be, "
                 "and give it to apply.\n\nExit status: 0 planned, 1 bad arguments or it cannot plan (the reason "
                 "is on standard error), 5 UDP port 21212 in use, 6 other network failure.");
    commands.plan = plan;

    auto* apply = app.add_subcommand("apply", "Re-address the devices of a plan file, each verified at its new "
                                              "address");
    apply->add_option("PLAN", options.planFile, "The plan file (CSV: mac,ip,netmask,gateway,dhcp)")
        ->required()
        ->type_name("PLAN");
    addCredentials(*apply, options);
    apply->add_flag("--reboot", options.reboot,
                    "Reboot each device that accepted its change and verify it: discovery every 2 s until it "
                    "answers from its planned address with its planned netmask, or 90 s after its reboot");
    apply->add_flag("--dry-run", options.dryRun,
                    "Read each device and say whether it would change; send no change (no password is read)");
    apply->add_option("--timeout", commands.timeoutText, "Seconds to wait for each device's detail (default 5)")
        ->type_name("SECONDS");
    apply->add_option("--format", commands.formatText, "Output: table (default), csv or json (one object a line)")
        ->type_name("table|csv|json");
    apply->footer("A device whose password could only go by broadcast is warned of on standard error before it "
                  "leaves; with --unicast-only it is not sent it and ends needs-broadcast.\n\n"
                  "Exit status: 0 every device verified, stored or unchanged (with --dry-run: or would-change), "
                  "1 bad arguments or plan file, 5 UDP port 21212 in use, 6 other network failure, 8 some device "
                  "ended otherwise, or the run was stopped.");
    commands.apply = apply;
}

std::optional<std::string> TakeFleetCommand(const FleetCommands& commands, CtlOptions& options)
{
    const CLI::App* chosen = commands.plan->parsed() ? commands.plan : commands.apply->parsed() ? commands.apply : nullptr;
    if (!chosen)
        return std::nullopt;
    options.command = chosen == commands.plan ? CtlCommand::Plan : CtlCommand::Apply;
    if (chosen == commands.plan)
        options.format = OutputFormat::Csv;
    if (chosen->count("--format") > 0 && !ReadFormat(commands.formatText, true, options.format))
        return std::string(FormatMessage);
    if (chosen->count("--timeout") > 0 && !ReadTimeout(commands.timeoutText, options.timeoutSeconds))
        return std::string(TimeoutMessage);
    return std::string();
}

} // namespace pemblor
