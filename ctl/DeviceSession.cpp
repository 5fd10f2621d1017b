#include "ctl/DeviceSession.h"

#include "common/EngineTexts.h"
#include "common/FormatError.h"
#include "common/InterfaceTexts.h"
#include "protocol/EntryText.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"

#include <cerrno>

namespace pemblor {

namespace {

const char* OpenFormat(EndpointStep step)
{
    switch (step) {
    case EndpointStep::CreateSend:
        return "m_skSend.Create Error(%d)";
    case EndpointStep::CreateReceive:
        return "m_skRecv.Create Error(%d)";
    case EndpointStep::BroadcastSend:
        return "m_skSend.SetSockOpt Error(%d)!";
    case EndpointStep::BroadcastReceive:
        return "m_skRecv.SetSockOpt Error(%d)!";
    case EndpointStep::None:
        break;
    }
    return "";
}

ConversationConfig EngineConfig(const SessionConfig& config)
{
    ConversationConfig engine;
    engine.port = config.port;
    engine.destination = config.destination;
    engine.receiveBufferBytes = config.receiveBufferBytes;
    engine.interfaces = config.interfaces;
    return engine;
}

} // namespace

DeviceSession::DeviceSession(ISocketLayer& sockets, EventLoop& loop, SessionConfig config)
    : m_loop(loop)
    , m_dispatcher(loop, [this] { m_conversation.OnTimer(); })
    , m_conversation(sockets, m_dispatcher, *this, EngineConfig(config))
    , m_namesInterfaces(config.interfaces != nullptr)
{
}

DeviceSession::~DeviceSession()
{
    m_conversation.StopReceiveThread();
    m_dispatcher.Cancel(m_drain);
}

DeviceSession::OpenResult DeviceSession::Open()
{
    OpenResult result;
    const EndpointResult opened = m_conversation.Open();
    if (!opened.Ok()) {
        result.message = FormatError(OpenFormat(opened.failed), opened.error);
        result.portTaken = opened.failed == EndpointStep::CreateReceive && opened.error == EADDRINUSE;
        return result;
    }
    if (!m_conversation.StartReceiveThread()) {
        result.message = m_receiveError;
        return result;
    }
    result.ok = true;
    return result;
}

bool DeviceSession::Sent(bool sent, std::string& error)
{
    error = m_sendError;
    m_sendError.clear();
    return sent;
}

void DeviceSession::ReturnToIdle()
{
    // A discovery ends as its timer tick would end it, with the diagnosis.
    if (m_conversation.State() == Discovering)
        m_conversation.OnTimer();
    m_conversation.ReturnToIdle();
}

bool DeviceSession::BeginDiscovery(std::function<void(const FoundDevice&)> onDevice, std::string& error)
{
    m_onDevice = std::move(onDevice);
    m_silence = {};
    {
        std::lock_guard lock(m_foundMutex);
        m_registry.Clear();
        m_found.clear();
    }
    m_conversation.BeginDiscovery();
    const bool sent = m_conversation.SendDiscovery();
    // The command line listens as long as its own time-out says; ReturnToIdle
    // ends the cycle.
    m_conversation.DisarmTimer();
    return Sent(sent, error);
}

bool DeviceSession::DeviceFound(const ReplyDatagram& reply, const NetworkInterface& heardOn)
{
    std::lock_guard lock(m_foundMutex);
    // The command line prints each device once, as it is first heard; it
    // keeps no times.
    const DeviceRegistry::Recorded recorded = m_registry.Record(reply, heardOn, 0);
    if (!recorded.added)
        return false;
    FoundDevice device;
    m_registry.Visit(recorded.index, [&device](const DeviceRecord& record) {
        if (!record.interfaceName.empty())
            device.interfaceName = record.interfaceName;
        device.mac = std::string(record.macText.view());
        device.ip = record.address;
        auto value = [&record](std::string_view name) -> std::optional<std::string> {
            if (const auto found = record.Value(name))
                return std::string(*found);
            return std::nullopt;
        };
        device.ssid = value("SSID");
        device.ipAddr = value("IP_ADDR");
        device.netmask = value("CURRENT_SUBNET_MASK");
        device.channel = value("CHANNEL");
    });
    const bool wake = m_found.empty();
    m_found.push_back(std::move(device));
    if (wake)
        m_dispatcher.Post(m_drain);
    return true;
}

void DeviceSession::DrainFound()
{
    m_draining.clear();
    {
        std::lock_guard lock(m_foundMutex);
        m_draining.swap(m_found);
    }
    for (const FoundDevice& device : m_draining)
        if (m_onDevice)
            m_onDevice(device);
}

void DeviceSession::SendFailed(Request request, int error, std::string_view interfaceName)
{
    const char* format = SendFailureFormat(request);
    m_sendError += interfaceName.empty() ? FormatError(format, error) : SendFailureText(format, error, interfaceName);
}

void DeviceSession::ReceiveFailed(ReceiveFailure failure)
{
    m_receiveError = ReceiveFailureText(failure);
}

} // namespace pemblor
