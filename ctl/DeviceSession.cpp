#include "ctl/DeviceSession.h"

#include "common/EngineTexts.h"
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"

#include <cerrno>
#include <cmath>

namespace pemblor {

namespace {

// A failure message of the window ends in "\n"; one line here.
std::string OneLine(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

DeviceSession::DeviceSession(ISocketLayer& sockets, EventLoop& loop, SessionConfig config)
    : m_loop(loop)
    , m_dispatcher(loop)
    , m_namesInterfaces(config.interfaces != nullptr)
    , m_session(sockets, m_dispatcher, *this, std::move(config))
{
    m_session.registry().AddListener(*this);
    loop.SetTickHandler([this] { m_session.OnTimer(); });
}

DeviceSession::~DeviceSession()
{
    m_session.StopReceiveThread();
    m_session.registry().RemoveListener(*this);
    m_loop.DisarmTimer();
    m_loop.SetTickHandler(nullptr);
}

DeviceSession::OpenResult DeviceSession::Open()
{
    const EndpointResult opened = m_session.Open();
    if (!opened.Ok()) {
        const bool portTaken = opened.failed == EndpointStep::CreateReceive && opened.error == EADDRINUSE;
        return {false, portTaken, OneLine(EndpointFailureText(opened))};
    }
    if (!m_session.StartReceiveThread())
        return {false, false, OneLine(m_receiveError)};
    return {true, false, {}};
}

void DeviceSession::EndDiscovery()
{
    Discovery& discovery = m_session.discovery();
    // A discovery ends as its timer tick would end it, with the diagnosis.
    if (discovery.State() == Discovering)
        discovery.OnTimer();
    discovery.ReturnToIdle();
    // Nothing is recorded any more: the devices heard last are handed on
    // now, not from a call that runs after the command has gone.
    m_session.registry().Flush();
    m_onDevice = nullptr;
}

bool DeviceSession::BeginDiscovery(std::function<void(const FoundDevice&)> onDevice, std::string& error)
{
    m_onDevice = std::move(onDevice);
    m_silence = {};
    m_session.registry().Clear();
    Discovery& discovery = m_session.discovery();
    discovery.BeginDiscovery();
    const bool sent = discovery.SendDiscovery();
    // The command line listens as long as its own time-out says; EndDiscovery
    // ends the cycle.
    discovery.DisarmTimer();
    error = std::move(m_sendError);
    m_sendError.clear();
    if (!sent)
        EndDiscovery();
    return sent;
}

void DeviceSession::ListenFor(double seconds)
{
    const auto ms = static_cast<EventLoop::Millis>(std::llround(seconds * 1000.0));
    m_loop.RunUntil(m_loop.Now() + ms, [] { return false; });
    EndDiscovery();
}

namespace {

FoundDevice Found(const DeviceRecord& record)
{
    FoundDevice device;
    if (!record.interfaceName.empty())
        device.interfaceName = record.interfaceName;
    device.mac = std::string(record.macText.view());
    device.ip = record.address;
    auto value = [&record](std::string_view name) -> std::optional<std::string> {
        const auto found = record.Value(name);
        return found ? std::optional(std::string(*found)) : std::nullopt;
    };
    device.ssid = value("SSID");
    device.ipAddr = value("IP_ADDR");
    device.netmask = value("CURRENT_SUBNET_MASK");
    device.channel = value("CHANNEL");
    device.alsoAt = record.alsoAt;
    return device;
}

} // namespace

void DeviceSession::DevicesRecorded(const RegistryBatch& batch)
{
    // Each device is printed once, as it was when the batch that first
    // brought it is told.
    for (int index = batch.toldBefore; index < batch.size; ++index) {
        FoundDevice device;
        const bool listed =
            m_session.registry().Visit(index, [&device](const DeviceRecord& record) { device = Found(record); });
        if (listed && m_onDevice)
            m_onDevice(device);
    }
}

std::vector<FoundDevice> DeviceSession::Devices() const
{
    std::vector<FoundDevice> devices;
    const DeviceRegistry& registry = m_session.registry();
    for (int index = 0; registry.Visit(index, [&devices](const DeviceRecord& record) { devices.push_back(Found(record)); });
         ++index) {
    }
    return devices;
}

void DeviceSession::SendFailed(Request request, int error, std::string_view interfaceName)
{
    m_sendError += SendFailureText(SendFailureFormat(request), error, interfaceName);
}

void DeviceSession::ReceiveFailed(ReceiveFailure failure)
{
    m_receiveError = ReceiveFailureText(failure);
}

JobReport DeviceSession::Run(const std::string& mac, JobPlan plan)
{
    m_sendFailures.clear();
    if (plan.broadcast != CredentialBroadcast::AlwaysBroadcast && (plan.change || plan.reboot)) {
        // The answers wait in the registry; nothing is printed of them.
        std::string unsent;
        if (BeginDiscovery(nullptr, unsent))
            ListenFor(static_cast<double>(SharedAddressWindowMs) / 1000.0);
        plan.addressShared = m_session.SharedAddressCheck(mac);
    }
    DeviceJob job(m_session.transport(), m_dispatcher, *this, mac);
    m_jobFinished = false;
    job.Start(plan);
    m_loop.RunUntil(m_loop.Now() + RunBoundMs, [this] { return m_jobFinished; });
    job.Stop();
    return job.Report();
}

void DeviceSession::JobProgress(DeviceJob& /*job*/, JobStep step, int secondsLeft, int queriesSent)
{
    if (onProgress)
        onProgress(step, secondsLeft, queriesSent);
}

void DeviceSession::JobSendFailed(DeviceJob& /*job*/, Request request, int error, std::string_view interfaceName)
{
    m_sendFailures.push_back({request, error, std::string(interfaceName)});
    if (onSendFailure)
        onSendFailure(OneLine(SendFailureText(SendFailureFormat(request), error, interfaceName)));
}

void DeviceSession::JobBroadcastingCredentials(DeviceJob& /*job*/, const CredentialRoute& route)
{
    if (onBroadcast)
        onBroadcast(route);
}

void DeviceSession::JobFinished(DeviceJob& /*job*/, const JobReport& /*report*/)
{
    m_jobFinished = true;
}

} // namespace pemblor
