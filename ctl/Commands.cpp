#include "ctl/Commands.h"

#include "ctl/DeviceWriter.h"
#include "ctl/EventLoop.h"
#include "ctl/ExitCode.h"
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
    int Show();
    int Set(const SettingsChange& change, const std::string& password);
    int Reboot(const std::string& password);

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
    bool DetailArrived() const { return m_session.DetailReady(); }

    const CtlOptions& m_options;
    EventLoop& m_loop;
    DeviceSession& m_session;
    CtlIo& m_io;
};

int CommandRun::Discover()
{
    DeviceWriter writer(m_io.out, m_options.format, m_session.NamesInterfaces());
    std::string error;
    const bool sent =
        m_session.BeginDiscovery([&writer](const FoundDevice& device) { writer.Device(device); }, error);
    if (!Sent(sent, error)) {
        m_session.ReturnToIdle();
        return ExitNetwork;
    }
    const auto ms = static_cast<EventLoop::Millis>(std::llround(m_options.timeoutSeconds * 1000.0));
    WaitFor(ms, [] { return false; });
    // Ends the cycle; its diagnosis is known from then on.
    m_session.ReturnToIdle();
    if (m_session.DeviceCount() > 0)
        return ExitOk;
    m_io.err << FindNoDevicesText(m_session.Diagnose()) << '\n';
    return ExitNoDevice;
}

int CommandRun::Show()
{
    std::string error;
    if (!Sent(m_session.BeginDetailQuery(m_options.mac, error), error))
        return ExitNetwork;
    if (!WaitFor(DetailTimeoutMs, [this] { return DetailArrived(); })) {
        m_session.ReturnToIdle();
        m_io.err << "Time Out!\n";
        return ExitTimeOut;
    }
    WriteDetail(m_io.out, m_options.format, *m_session.Detail());
    return ExitOk;
}

int CommandRun::Set(const SettingsChange& change, const std::string& password)
{
    std::string error;
    if (!Sent(m_session.BeginSettingsChange(m_options.mac, m_options.user, password, change, error), error))
        return ExitNetwork;
    if (!WaitFor(SettingsTimeoutMs, [this] { return m_session.Result().has_value(); })) {
        m_session.ReturnToIdle();
        m_io.err << "Time Out!\n";
        return ExitTimeOut;
    }
    const std::optional<int> result = m_session.Result();
    if (result == 0) {
        m_io.out << "Change setting successfully!\n";
        return ExitOk;
    }
    if (result == 1) {
        m_io.err << "Authentication Error!\n";
        return ExitRefused;
    }
    m_io.err << "pemblorctl: the device answered with result " << *result << '\n';
    return ExitOtherResult;
}

int CommandRun::Reboot(const std::string& password)
{
    std::string error;
    if (!Sent(m_session.SendReboot(m_options.mac, m_options.user, password, error), error))
        return ExitNetwork;
    if (!m_options.wait)
        return ExitOk;

    m_io.err << "It may take about one minute to reboot the target.\n"
             << "Waiting " << RereadSchedule::RebootWaitMs / 1000 << " s for " << m_options.mac
             << " to restart...\n";
    m_loop.Wait(RereadSchedule::RebootWaitMs);

    int queries = 1;
    auto query = [&] {
        m_io.err << "Asking " << m_options.mac << " for its settings (query " << queries << " of "
                 << RereadSchedule::Resends + 1 << ")...\n";
        std::string failures;
        Sent(m_session.BeginDetailQuery(m_options.mac, failures), failures);
    };
    query();
    RereadSchedule schedule;
    while (!DetailArrived()) {
        const RereadSchedule::Step step = schedule.Next();
        if (step == RereadSchedule::Step::GiveUp)
            break;
        if (step == RereadSchedule::Step::ResendThenPause) {
            ++queries;
            query();
        }
        WaitFor(RereadSchedule::PauseMs, [this] { return DetailArrived(); });
    }
    if (!DetailArrived()) {
        m_session.ReturnToIdle();
        m_io.err << "Time Out!\n";
        return ExitTimeOut;
    }
    m_io.out << m_session.Detail()->ip << '\n';
    return ExitOk;
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
    std::string password;
    if (options.command == CtlCommand::Set || options.command == CtlCommand::Reboot) {
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

    DeviceSession session(sockets, loop, std::move(config));
    const DeviceSession::OpenResult opened = session.Open();
    if (!opened.ok) {
        if (opened.portTaken) {
            io.err << "pemblorctl: UDP port " << DevicePort
                   << " is in use by another program (Pemblor or another pemblorctl); close it and try again\n";
            return ExitPortTaken;
        }
        io.err << "pemblorctl: " << OneLine(opened.message) << '\n';
        return ExitNetwork;
    }

    CommandRun run(options, loop, session, io);
    switch (options.command) {
    case CtlCommand::Discover:
        return run.Discover();
    case CtlCommand::Show:
        return run.Show();
    case CtlCommand::Set:
        return run.Set(settings.Change(), password);
    case CtlCommand::Reboot:
        return run.Reboot(password);
    }
    return ExitUsage;
}

} // namespace pemblor
