#pragma once
#include <optional>
#include <string>

namespace pemblor {

enum class CtlCommand { Discover, Show, Set, Reboot };
enum class OutputFormat { Table, Csv, Json };
enum class PasswordSource { Prompt, Stdin, File };

// One parsed command line. Addresses stay text here: the settings check reads
// them, so that its messages are the dialog's.
struct CtlOptions {
    CtlCommand command = CtlCommand::Discover;
    OutputFormat format = OutputFormat::Table;
    double timeoutSeconds = 5.0;
    std::string mac;

    std::optional<std::string> ip;
    std::optional<std::string> netmask;
    std::optional<std::string> gateway;
    std::optional<bool> dhcp;

    std::string user;
    PasswordSource passwordSource = PasswordSource::Prompt;
    std::string passwordFile;
    bool wait = false;
};

} // namespace pemblor
