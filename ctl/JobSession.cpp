#include "ctl/JobSession.h"

#include "common/FormatError.h"
#include "common/InterfaceTexts.h"

#include <cerrno>

namespace pemblor {

namespace {

TransportConfig TransportPart(const SessionConfig& config)
{
    TransportConfig transport;
    transport.port = config.port;
    transport.destination = config.destination;
    transport.interfaces = config.interfaces;
    return transport;
}

// A job ends by its own deadlines; this only bounds a loop that stopped
// serving them.
constexpr EventLoop::Millis kRunBoundMs = 24LL * 3600 * 1000;

} // namespace

JobSession::JobSession(ISocketLayer& sockets, EventLoop& loop, const SessionConfig& config)
    : m_loop(loop)
    , m_dispatcher(loop)
    , m_transport(sockets, m_dispatcher, TransportPart(config))
{
    m_transport.AddObserver(*this);
}

JobSession::~JobSession()
{
    m_transport.StopReceiveThread();
}

DeviceSession::OpenResult JobSession::Open()
{
    DeviceSession::OpenResult result;
    const EndpointResult opened = m_transport.Open();
    if (!opened.Ok()) {
        result.message = EndpointFailureText(opened);
        result.portTaken = opened.failed == EndpointStep::CreateReceive && opened.error == EADDRINUSE;
        return result;
    }
    if (!m_transport.StartReceiveThread()) {
        result.message = m_receiveError;
        return result;
    }
    result.ok = true;
    return result;
}

JobReport JobSession::Run(const std::string& mac, const JobPlan& plan)
{
    DeviceJob job(m_transport, m_dispatcher, *this, mac);
    m_finished = false;
    job.Start(plan);
    m_loop.RunUntil(m_loop.Now() + kRunBoundMs, [this] { return m_finished; });
    job.Stop();
    return job.Report();
}

void JobSession::JobProgress(DeviceJob& /*job*/, JobStep step, int secondsLeft, int queriesSent)
{
    if (onProgress)
        onProgress(step, secondsLeft, queriesSent);
}

void JobSession::JobSendFailed(DeviceJob& /*job*/, Request /*request*/, int error, std::string_view interfaceName)
{
    const char* format = "detail_sk.SendTo: %d\n";
    std::string text = interfaceName.empty() ? FormatError(format, error) : SendFailureText(format, error, interfaceName);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (onSendFailure)
        onSendFailure(text);
}

void JobSession::JobFinished(DeviceJob& /*job*/, const JobReport& /*report*/)
{
    m_finished = true;
}

void JobSession::ReceiveFailed(ReceiveFailure failure)
{
    m_receiveError = failure == ReceiveFailure::Launch ? "Cannot Create ServiceSocket Thread" : "Socket Init Error";
}

} // namespace pemblor
