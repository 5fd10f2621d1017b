#include "ctl/FleetCommandLine.h"

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

void AddFormat(CLI::App& command, CtlOptions& options, const char* help)
{
    static const std::map<std::string, OutputFormat> formats{
        {"table", OutputFormat::Table}, {"csv", OutputFormat::Csv}, {"json", OutputFormat::Json}};
    command.add_option("--format", options.format, help)
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case).description(""))
        ->type_name("table|csv|json");
}

} // namespace

FleetCommands AddFleetCommands(CLI::App& app, CtlOptions& options, void (*addCredentials)(CLI::App&, CtlOptions&))
{
    FleetCommands commands;
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
    plan->add_option("--timeout", options.timeoutSeconds, "Seconds to listen for the discovery's answers (default 5)")
        ->check(CLI::Range(0.1, 3600.0).description(""))
        ->type_name("SECONDS");
    AddFormat(*plan, options, "Output: csv (default, the plan file), json (one object a line) or table");
    plan->footer("Blank cells in the plan leave a value as the device has it. Save the CSV, edit it if need be, "
                 "and give it to apply.");
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
    apply->add_option("--timeout", options.timeoutSeconds, "Seconds to wait for each device's detail (default 5)")
        ->check(CLI::Range(0.1, 3600.0).description(""))
        ->type_name("SECONDS");
    AddFormat(*apply, options, "Output: table (default), csv or json (one object a line)");
    commands.apply = apply;
    return commands;
}

bool TakeFleetCommand(const FleetCommands& commands, CtlOptions& options)
{
    if (commands.plan->parsed()) {
        options.command = CtlCommand::Plan;
        if (commands.plan->count("--format") == 0)
            options.format = OutputFormat::Csv;
        return true;
    }
    if (commands.apply->parsed()) {
        options.command = CtlCommand::Apply;
        return true;
    }
    return false;
}

} // namespace pemblor
