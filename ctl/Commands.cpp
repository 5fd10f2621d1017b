#include "ctl/Commands.h"

#include "ctl/Writers.h"
#include "engine/EventLoop.h"
#include "ctl/CommandRuns.h"
#include "ctl/ExitCode.h"
#include "ctl/PasswordReader.h"
#include "fleet/SettingsCheck.h"
#include "common/InterfaceTexts.h"
#include "engine/ReversePathWatch.h"
#include "protocol/PacketHeader.h"

#include <sstream>

namespace pemblor {

namespace {

// The longest user name or password the dialog's edits take; with its NUL it
// fills the 32-byte header field.
constexpr std::size_t MaxCredentialLength = CredentialFieldSize - 2;

int RunDiscover(const CtlOptions& options, DeviceSession& session, CtlIo& io)
{
    DeviceWriter writer(io.out, options.format, session.NamesInterfaces());
    std::string error;
    // The table shows devices as they answer; CSV and JSON print each once,
    // when the window ends, with every address it answered from.
    const bool streamed = options.format == OutputFormat::Table;
    const bool sent = session.BeginDiscovery(
        [&writer, streamed](const FoundDevice& device) {
            if (streamed)
                writer.Device(device);
        },
        error);
    // The send failures, one line each. A request that went out of at least
    // one interface goes on.
    std::istringstream failures(error);
    for (std::string line; std::getline(failures, line);) {
        if (!line.empty())
            io.err << "pemblorctl: " << line << '\n';
    }
    if (!sent)
        return ExitNetwork;
    session.ListenFor(options.timeoutSeconds);
    for (const FoundDevice& device : session.Devices()) {
        if (!streamed)
            writer.Device(device);
        else if (!device.alsoAt.empty())
            io.out << AlsoAnsweredText(device) << '\n';
    }
    if (const int unlisted = session.Unlisted(); unlisted > 0)
        io.err << UnlistedText(unlisted) << '\n';
    if (session.DeviceCount() > 0)
        return ExitOk;
    io.err << FindNoDevicesText(session.Diagnose()) << '\n';
    return ExitNoDevice;
}

std::optional<std::string> ReadPassword(const CtlOptions& options, CtlIo& io, std::string& error)
{
    if (options.passwordSource == PasswordSource::Stdin)
        return ReadPasswordLine(io.in);
    if (options.passwordSource == PasswordSource::File)
        return ReadPasswordFile(options.passwordFile, error);
    if (!io.promptPassword) {
        error = "no terminal to ask for the password on; use --password-stdin or --password-file";
        return std::nullopt;
    }
    return io.promptPassword(error);
}

} // namespace

int RunCommand(const CtlOptions& options, ISocketLayer& sockets, EventLoop& loop, CtlIo& io, SessionConfig config)
{
    // undo reads a file and prints a plan: no network, no password.
    if (options.command == CtlCommand::Undo)
        return RunUndo(options, io);
    // Everything the user can get wrong is reported before the network is
    // touched: set's change and plan's settings (from its first address on)
    // as the dialog checks them, and apply's plan file before the password is
    // asked for.
    ValidationOutcome settings;
    if (options.command == CtlCommand::Set || options.command == CtlCommand::Plan) {
        settings = CheckSettingTexts(options.ip, options.netmask, options.gateway, options.dhcp);
        if (!settings.Accepted()) {
            io.err << settings.failure << '\n';
            return ExitUsage;
        }
    }
    std::vector<JobRow> rows;
    if (options.command == CtlCommand::Apply && !ReadApplyPlan(options.planFile, rows, io))
        return ExitUsage;
    std::string password;
    // A dry run sends nothing that needs the password.
    const bool applies = options.command == CtlCommand::Apply && !options.dryRun;
    if (options.command == CtlCommand::Set || options.command == CtlCommand::Reboot || applies) {
        if (options.user.size() > MaxCredentialLength) {
            io.err << "pemblorctl: the user name is longer than " << MaxCredentialLength << " characters\n";
            return ExitUsage;
        }
        std::string error;
        const std::optional<std::string> read = ReadPassword(options, io, error);
        if (!read) {
            io.err << "pemblorctl: " << error << '\n';
            return ExitUsage;
        }
        if (read->size() > MaxCredentialLength) {
            io.err << "pemblorctl: the password is longer than " << MaxCredentialLength << " characters\n";
            return ExitUsage;
        }
        password = *read;
    }

    ReversePathWatch reversePath;
    reversePath.Begin(config.reversePath);
    const char* const neighbourTable = config.neighbourTable;
    DeviceSession session(sockets, loop, std::move(config));
    if (const DeviceSession::OpenResult opened = session.Open(); opened.portTaken) {
        // Every copy of the tool shares the port: the holder is another program.
        const std::string holder = sockets.PortHolder(DevicePort);
        io.err << "pemblorctl: UDP port " << DevicePort << " is in use by a program that does not share it"
               << (holder.empty() ? "" : ": " + holder) << '\n';
        return ExitPortTaken;
    } else if (!opened.ok) {
        io.err << "pemblorctl: " << opened.message << '\n';
        return ExitNetwork;
    }
    const int status = [&] {
        switch (options.command) {
        case CtlCommand::Show:
            return RunShow(options, session, io);
        case CtlCommand::Set:
            return RunSet(options, session, io, settings.Change(), password);
        case CtlCommand::Reboot:
            return RunReboot(options, session, io, password);
        case CtlCommand::Plan:
            return RunPlan(options, session, loop, io, sockets, neighbourTable);
        case CtlCommand::Apply:
            return RunApply(options, session, loop, io, password, std::move(rows));
        case CtlCommand::Discover:
        case CtlCommand::Undo:
            break;
        }
        return RunDiscover(options, session, io);
    }();
    // Once per command, unless the diagnosis of a silent discovery told it.
    const InterfaceSet* listed = session.transport().Interfaces();
    const std::optional<ReversePathNote> dropped =
        reversePath.End(listed ? listed->All() : std::vector<NetworkInterface>());
    if (dropped && session.Diagnose().cause != SilenceCause::ReversePathDropped)
        io.err << "pemblorctl: note: " << ReversePathText(*dropped) << '\n';
    return status;
}

} // namespace pemblor
