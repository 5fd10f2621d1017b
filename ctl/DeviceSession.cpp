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
    , m_dispatcher(loop)
    , m_conversation(sockets, m_dispatcher, *this, EngineConfig(config))
    , m_namesInterfaces(config.interfaces != nullptr)
{
    loop.SetTickHandler([this] { m_conversation.OnTimer(); });
}

DeviceSession::~DeviceSession()
{
    m_conversation.StopReceiveThread();
    m_dispatcher.Cancel(m_drain);
    m_loop.DisarmTimer();
    m_loop.SetTickHandler(nullptr);
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

void DeviceSession::Select(const std::string& mac)
{
    if (m_selected == mac)
        return;
    m_conversation.ReleaseDevice();
    // No reply of the device released is stored from here on, so m_pending
    // is the loop thread's to clear; while the same device stays selected,
    // the receive thread may be storing into it even as a query goes again.
    m_pending = DeviceDetail{};
    m_pending.mac = mac;
    m_conversation.SelectDevice(mac, *this, std::string());
    m_selected = mac;
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

bool DeviceSession::BeginDetailQuery(const std::string& mac, std::string& error)
{
    Select(mac);
    m_detail.reset();
    m_detailReady = false;
    return Sent(m_conversation.BeginDetailQuery(false), error);
}

bool DeviceSession::BeginSettingsChange(const std::string& mac, const std::string& user, const std::string& password,
                                        const SettingsChange& change, std::string& error)
{
    Select(mac);
    m_result.reset();
    const bool sent = m_conversation.BeginSettingsChange(user, password, change);
    m_conversation.DisarmTimer();
    return Sent(sent, error);
}

bool DeviceSession::SendReboot(const std::string& mac, const std::string& user, const std::string& password,
                               std::string& error)
{
    Select(mac);
    return Sent(m_conversation.SendReboot(user, password), error);
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

void DeviceSession::SetSetting(std::string_view name, std::string_view value)
{
    std::optional<std::string>* field = name == "IP_ADDR"           ? &m_pending.ipAddr
                                        : name == "SUBNET_MASK"     ? &m_pending.netmask
                                        : name == "DEFAULT_GATEWAY" ? &m_pending.gateway
                                        : name == "DHCP"            ? &m_pending.dhcp
                                                                    : nullptr;
    if (field)
        *field = std::string(value);
}

void DeviceSession::DetailStored()
{
    m_pending.ip = m_conversation.DeviceAddress();
    m_detail = m_pending;
    m_detailReady = true;
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
