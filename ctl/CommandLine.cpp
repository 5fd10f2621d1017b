#include "ctl/CommandLine.h"

#include "ctl/ExitCode.h"
#include "ctl/FleetCommandLine.h"
#include "protocol/MacText.h"

#include <CLI/CLI.hpp>

#include <map>

namespace pemblor {

namespace {

// Six two-digit hexadecimal bytes joined by ':', in either case; passed on in
// upper case, the form every MAC text of the tool has.
std::string CheckMac(std::string& text)
{
    bool ok = text.size() == 17;
    for (std::size_t i = 0; ok && i < text.size(); ++i)
        ok = i % 3 == 2 ? text[i] == ':' : std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
    if (!ok)
        return "MAC address must look like 00:0A:FF:10:2B:C4: " + text;
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // In a request header the all-zero MAC addresses every device.
    if (!ParseDeviceMac(text))
        return "MAC address " + text + " names no single device";
    return {};
}

void AddMac(CLI::App& command, CtlOptions& options)
{
    command.add_option("MAC", options.mac, "The device's MAC address, e.g. 00:0A:FF:10:2B:C4")
        ->required()
        ->transform(CLI::Validator(CheckMac, "", "MAC"))
        ->type_name("MAC");
}

void AddFormat(CLI::App& command, CtlOptions& options)
{
    static const std::map<std::string, OutputFormat> formats{
        {"table", OutputFormat::Table}, {"csv", OutputFormat::Csv}, {"json", OutputFormat::Json}};
    command.add_option("--format", options.format, "Output: table (default), csv or json (one object a line)")
        ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case).description(""))
        ->type_name("table|csv|json");
}

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
    command.footer("Without a password option the password is asked for on the terminal, without echo.");
}

} // namespace

std::optional<int> ParseCommandLine(int argc, const char* const* argv, CtlOptions& options, std::ostream& out,
                                    std::ostream& err)
{
    CLI::App app{"Finds wireless access points on the local network and changes their addressing.", "pemblorctl"};
    app.require_subcommand(1);
    app.footer("Exit status: 0 done, 1 bad arguments or settings, 2 no device answered, 3 authentication "
               "refused, 4 time-out, 5 UDP port 21212 in use, 6 other network failure, 7 other device result, 8 apply: "
               "some device did not end verified, stored or unchanged.");

    auto* discover = app.add_subcommand("discover", "Broadcast one discovery and list the devices as they answer");
    discover->add_option("--timeout", options.timeoutSeconds, "Seconds to listen for answers (default 5)")
        ->check(CLI::Range(0.1, 3600.0).description(""))
        ->type_name("SECONDS");
    AddFormat(*discover, options);

    auto* show = app.add_subcommand("show", "Read one device's IP address, netmask, gateway and DHCP setting");
    AddMac(*show, options);
    AddFormat(*show, options);

    auto* set = app.add_subcommand("set", "Change one device's addressing");
    AddMac(*set, options);
    set->add_option_function<std::string>("--ip", [&options](const std::string& v) { options.ip = v; },
                                          "New IP address")
        ->type_name("A.B.C.D");
    set->add_option_function<std::string>("--netmask", [&options](const std::string& v) { options.netmask = v; },
                                          "New netmask")
        ->type_name("A.B.C.D");
    set->add_option_function<std::string>("--gateway", [&options](const std::string& v) { options.gateway = v; },
                                          "New default gateway (empty or 0.0.0.0: none)")
        ->type_name("A.B.C.D");
    static const std::map<std::string, bool> onOff{{"on", true}, {"off", false}};
    set->add_option_function<bool>("--dhcp", [&options](const bool& v) { options.dhcp = v; },
                                   "DHCP client: on or off")
        ->transform(CLI::CheckedTransformer(onOff, CLI::ignore_case).description(""))
        ->type_name("on|off");
    AddCredentials(*set, options);

    auto* reboot = app.add_subcommand("reboot", "Restart one device");
    AddMac(*reboot, options);
    reboot->add_flag("--wait", options.wait,
                     "Wait for the device to answer again (30 s, then up to 53 s of queries) and print its address");
    AddCredentials(*reboot, options);

    const FleetCommands fleet = AddFleetCommands(app, options, AddCredentials);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        err << "pemblorctl: " << e.what() << "\n\n";
        const auto chosen = app.get_subcommands();
        err << (chosen.empty() ? app.help() : chosen.front()->help("pemblorctl"));
        return ExitUsage;
    }

    if (TakeFleetCommand(fleet, options))
        return std::nullopt;
    if (discover->parsed())
        options.command = CtlCommand::Discover;
    else if (show->parsed())
        options.command = CtlCommand::Show;
    else if (set->parsed())
        options.command = CtlCommand::Set;
    else
        options.command = CtlCommand::Reboot;
    return std::nullopt;
}

} // namespace pemblor
