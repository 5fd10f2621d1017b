#pragma once
#include <optional>
#include <string>
#include <vector>

namespace pemblor {

enum class CtlCommand { Discover, Show, Set, Reboot, Plan, Apply, Undo };
enum class OutputFormat { Table, Csv, Json };
enum class PasswordSource { Prompt, Stdin, File };

// One parsed command line. Addresses stay text here: the settings check reads
// them, so that its messages are the dialog's.
struct CtlOptions {
    CtlCommand command = CtlCommand::Discover;
    OutputFormat format = OutputFormat::Table;
    double timeoutSeconds = 5.0;
    std::string mac;

    // set: the new address; plan: the first address to give (--from).
    std::optional<std::string> ip;
    std::optional<std::string> netmask;
    std::optional<std::string> gateway;
    std::optional<bool> dhcp;

    // plan: the devices, in the order they get addresses; apply: the plan
    // file.
    std::vector<std::string> macs;
    std::string planFile;
    // undo: the result of an apply.
    std::string resultFile;
    bool reboot = false;
    bool dryRun = false;

    std::string user;
    PasswordSource passwordSource = PasswordSource::Prompt;
    std::string passwordFile;
    bool wait = false;
    // set, reboot, apply: never send the password by broadcast.
    bool unicastOnly = false;
};

} // namespace pemblor
