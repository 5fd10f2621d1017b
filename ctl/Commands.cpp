#include "ctl/Commands.h"

#include "ctl/DeviceWriter.h"
#include "engine/EventLoop.h"
#include "ctl/JobCommands.h"
#include "ctl/ExitCode.h"
#include "ctl/FleetCommands.h"
#include "ctl/PasswordReader.h"
#include "ctl/SettingsArguments.h"
#include "engine/RereadSchedule.h"
#include "common/InterfaceTexts.h"
#include "protocol/PacketHeader.h"

#include <cmath>

namespace pemblor {

namespace {

// The longest user name or password the dialog's edits take; with its NUL it
// fills the 32-byte header field.
constexpr std::size_t MaxCredentialLength = CredentialFieldSize - 2;

// A failure message of the window ends in "\n"; one line here.
std::string OneLine(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

class CommandRun final {
public:
    CommandRun(const CtlOptions& options, EventLoop& loop, DeviceSession& session, CtlIo& io)
        : m_options(options)
        , m_loop(loop)
        , m_session(session)
        , m_io(io)
    {
    }

    int Discover();

private:
    // Prints the send failures, one line each; returns `sent`. A request that
    // went out of at least one interface goes on.
    bool Sent(bool sent, const std::string& failures)
    {
        std::size_t start = 0;
        while (start < failures.size()) {
            const std::size_t end = failures.find('\n', start);
            const std::string line = failures.substr(start, end == std::string::npos ? end : end - start);
            if (!line.empty())
                m_io.err << "pemblorctl: " << line << '\n';
            start = end == std::string::npos ? failures.size() : end + 1;
        }
        return sent;
    }
    bool WaitFor(EventLoop::Millis ms, const std::function<bool()>& done)
    {
        return m_loop.RunUntil(m_loop.Now() + ms, done);
    }

    const CtlOptions& m_options;
    EventLoop& m_loop;
    DeviceSession& m_session;
    CtlIo& m_io;
};

int CommandRun::Discover()
{
    DeviceWriter writer(m_io.out, m_options.format, m_session.NamesInterfaces());
    std::string error;
    // The table shows devices as they answer; CSV and JSON print each once,
    // when the window ends, with every address it answered from.
    const bool streamed = m_options.format == OutputFormat::Table;
    const bool sent = m_session.BeginDiscovery(
        streamed ? std::function<void(const FoundDevice&)>([&writer](const FoundDevice& device) { writer.Device(device); })
                 : nullptr,
        error);
    if (!Sent(sent, error)) {
        m_session.ReturnToIdle();
        return ExitNetwork;
    }
    const auto ms = static_cast<EventLoop::Millis>(std::llround(m_options.timeoutSeconds * 1000.0));
    WaitFor(ms, [] { return false; });
    // Ends the cycle; its diagnosis is known from then on.
    m_session.ReturnToIdle();
    const std::vector<FoundDevice> devices = m_session.Devices();
    for (const FoundDevice& device : devices) {
        if (!streamed)
            writer.Device(device);
        else if (!device.alsoAt.empty())
            m_io.out << AlsoAnsweredText(device) << '\n';
    }
    if (const int unlisted = m_session.Unlisted(); unlisted > 0)
        m_io.err << UnlistedText(unlisted) << '\n';
    if (m_session.DeviceCount() > 0)
        return ExitOk;
    m_io.err << FindNoDevicesText(m_session.Diagnose()) << '\n';
    return ExitNoDevice;
}

std::optional<std::string> ReadPassword(const CtlOptions& options, CtlIo& io, std::string& error)
{
    switch (options.passwordSource) {
    case PasswordSource::Stdin:
        return ReadPasswordLine(io.in);
    case PasswordSource::File:
        return ReadPasswordFile(options.passwordFile, error);
    case PasswordSource::Prompt:
        break;
    }
    if (!io.promptPassword) {
        error = "no terminal to ask for the password on; use --password-stdin or --password-file";
        return std::nullopt;
    }
    return io.promptPassword(error);
}

} // namespace

int RunCommand(const CtlOptions& options, ISocketLayer& sockets, EventLoop& loop, CtlIo& io, SessionConfig config)
{
    // Everything the user can get wrong is reported before the network is
    // touched.
    ValidationOutcome settings;
    if (options.command == CtlCommand::Set) {
        settings = CheckSettings(options);
        if (!settings.Accepted()) {
            io.err << settings.failure << '\n';
            return ExitUsage;
        }
    }
    if (const std::optional<int> refused = CheckPlanArguments(options, io))
        return *refused;
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

    if (options.command == CtlCommand::Apply)
        return RunApply(options, sockets, loop, io, config, password);
    const auto opening = [&](const DeviceSession::OpenResult& opened) {
        if (opened.ok)
            return ExitOk;
        if (opened.portTaken) {
            io.err << "pemblorctl: UDP port " << DevicePort
                   << " is in use by another program (Pemblor or another pemblorctl); close it and try again\n";
            return ExitPortTaken;
        }
        io.err << "pemblorctl: " << OneLine(opened.message) << '\n';
        return ExitNetwork;
    };

    IInterfaceList* const interfaces = config.interfaces;
    const char* const neighbourTable = config.neighbourTable;
    DeviceSession session(sockets, loop, std::move(config));
    if (const int failed = opening(session.Open()); failed != ExitOk)
        return failed;
    switch (options.command) {
    case CtlCommand::Show:
        return RunShow(options, session, io);
    case CtlCommand::Set:
        return RunSet(options, session, io, settings.Change(), password);
    case CtlCommand::Reboot:
        return RunReboot(options, session, io, password);
    case CtlCommand::Plan:
        return RunPlan(options, session, loop, io, interfaces, sockets, neighbourTable);
    default:
        break;
    }
    CommandRun run(options, loop, session, io);
    return run.Discover();
}

} // namespace pemblor
