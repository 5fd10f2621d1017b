#include "ctl/DeviceSession.h"

#include "ui/FormatError.h"
#include "engine/NetworkEndpoint.h"
#include "ui/devicelist/InterfaceTexts.h"
#include "protocol/EntryText.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>

namespace pemblor {

namespace {

const std::string* Find(const std::vector<std::pair<std::string, std::string>>& entries, std::string_view name)
{
    for (const auto& [key, value] : entries)
        if (key == name)
            return &value;
    return nullptr;
}

std::optional<std::string> Value(const std::vector<std::pair<std::string, std::string>>& entries,
                                 std::string_view name)
{
    const std::string* value = Find(entries, name);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

} // namespace

DeviceSession::DeviceSession(ISocketLayer& sockets, EventLoop& loop, SessionConfig config)
    : m_sockets(sockets)
    , m_loop(loop)
    , m_config(std::move(config))
{
    if (m_config.interfaces)
        m_interfaceSet = std::make_unique<InterfaceSet>(*m_config.interfaces);
    m_drainTask.owner = this;
    m_drainTask.run = &DeviceSession::DrainNow;
}

DeviceSession::~DeviceSession()
{
    m_stop = true;
    if (m_recvSocket)
        m_recvSocket->Close(); // wakes the receive thread's pending receive
    if (m_thread.joinable())
        m_thread.join();
    m_loop.Withdraw(m_drainTask);
}

DeviceSession::OpenResult DeviceSession::Open()
{
    OpenResult result;
    if (!m_sockets.StartupProcess()) {
        result.message = "Windows sockets initialization failed.";
        return result;
    }
    m_endpoint = std::make_unique<CNetworkEndpoint>(m_sockets, m_config.port);
    std::atomic<SocketHandle> slot{InvalidSocket};
    const EndpointResult opened = m_endpoint->Open(slot);
    if (!opened.Ok()) {
        result.message = EndpointFailureText(opened);
        result.portTaken = opened.failed == EndpointStep::CreateReceive && opened.error == EADDRINUSE;
        return result;
    }
    m_recvSocket = m_sockets.Attach(slot.exchange(InvalidSocket));
    if (!m_recvSocket) {
        result.message = FormatError("m_skRecv.Create Error(%d)", m_sockets.LastError());
        return result;
    }
    if (m_config.receiveBufferBytes > 0)
        m_recvSocket->SetReceiveBufferSize(m_config.receiveBufferBytes);
    try {
        m_thread = std::thread([this] { Receive(); });
    } catch (const std::system_error&) {
        result.message = "Cannot Create ServiceSocket Thread";
        return result;
    }
    result.ok = true;
    return result;
}

bool DeviceSession::Send(const Datagram& datagram, const char* format, std::string& error, bool discovery)
{
    error.clear();
    if (!m_endpoint || !m_endpoint->HasSendSocket()) {
        error = FormatError(format, EBADF);
        return false;
    }
    // Interfaces come and go (a VPN, a cable): read them for every request.
    // When they cannot be read, the routes pick one.
    const bool listed = m_interfaceSet && m_interfaceSet->Refresh();
    const std::vector<NetworkInterface> interfaces = listed ? m_interfaceSet->All() : std::vector<NetworkInterface>{};
    if (discovery)
        m_watch.Begin(interfaces, listed);
    if (!listed) {
        if (m_endpoint->SendTo(datagram.data(), datagram.size, m_config.port, m_config.destination.c_str()) >= 0)
            return true;
        error = FormatError(format, m_endpoint->LastError());
        return false;
    }
    bool sent = false;
    for (const NetworkInterface& networkInterface : interfaces) {
        if (m_endpoint->SendOutOf(networkInterface.index, datagram.data(), datagram.size, m_config.port,
                                  m_config.destination.c_str()) < 0) {
            error += SendFailureText(format, m_endpoint->LastError(), networkInterface.name);
            continue;
        }
        sent = true;
        if (discovery)
            m_watch.Sent(networkInterface.index);
    }
    if (interfaces.empty())
        error = "no IPv4 interface of this computer is up with broadcast\n";
    return sent;
}

bool DeviceSession::BeginDiscovery(std::function<void(const FoundDevice&)> onDevice, std::string& error)
{
    m_onDevice = std::move(onDevice);
    m_seen.clear();
    m_state = Discovering;
    return Send(BuildDiscoveryRequest(), "skSend.SendTo: %d\n", error, true);
}

bool DeviceSession::BeginDetailQuery(const std::string& mac, std::string& error)
{
    m_detail.reset();
    m_queriedMac = mac;
    m_state = QueryingDetail;
    return Send(BuildDetailQuery(mac), "detail_sk.SendTo: %d\n", error);
}

bool DeviceSession::BeginSettingsChange(const std::string& mac, const std::string& user, const std::string& password,
                                        const SettingsChange& change, std::string& error)
{
    m_queriedMac = mac;
    m_state = AwaitingSetResult;
    m_result.reset();
    return Send(BuildSettingsChange(mac, user, password, change), "detail_sk.SendTo: %d\n", error);
}

bool DeviceSession::SendReboot(const std::string& mac, const std::string& user, const std::string& password,
                               std::string& error)
{
    return Send(BuildRebootRequest(mac, user, password), "detail_sk.SendTo: %d\n", error);
}

void DeviceSession::Receive()
{
    std::array<std::uint8_t, ReceiveBufferSize> buffer;
    std::mutex backoffMutex;
    std::condition_variable backoffWake;
    std::chrono::milliseconds backoff{0};
    EntryTextBuffer work;
    while (!m_stop.load()) {
        buffer.fill(0);
        PeerAddress sender{};
        std::uint16_t port = 0;
        const int received = m_recvSocket->ReceiveFrom(buffer.data(), buffer.size(), sender, port);
        if (m_stop.load())
            break;
        if (received < 0) {
            // A socket that keeps failing must not spin.
            backoff = backoff.count() == 0 ? std::chrono::milliseconds(10) : std::min(backoff * 2, std::chrono::milliseconds(1000));
            std::unique_lock lock(backoffMutex);
            backoffWake.wait_for(lock, backoff, [this] { return m_stop.load(); });
            continue;
        }
        backoff = std::chrono::milliseconds(0);
        if (received == 0)
            continue;
        const ReplyDatagram datagram(buffer.data(), static_cast<std::size_t>(received), sender.text);
        const std::uint32_t type = datagram.type();
        // A discovery request coming back on an interface is the tool's own
        // broadcast heard there: inbound datagrams to the port get through.
        if (type == TypeQuery && datagram.macAddress() == MacBytes{} && sender.interfaceIndex != 0)
            m_watch.Heard(sender.interfaceIndex);
        // Requests (the tool's own broadcasts among them) are not replies. A
        // stop datagram is ignored as well: it ends the listening of a window
        // that closes, and this program closes its socket itself.
        if (type == TypeQuery || type == TypeCommand || type == TypeStop)
            continue;
        Reply reply;
        reply.type = type;
        reply.mac = std::string(FormatMacText(datagram.macAddress()).view());
        reply.sender = sender.text;
        reply.resultCode = datagram.resultCode();
        reply.interfaceIndex = sender.interfaceIndex;
        for (const auto& item : datagram.entries()) {
            const EntryText text = SplitEntryText(item.entry.text.data(), item.entry.length, work);
            reply.entries.emplace_back(std::string(text.name), std::string(text.value));
        }
        std::lock_guard lock(m_inboxMutex);
        m_inbox.push_back(std::move(reply));
        if (!m_drainPosted) {
            m_drainPosted = true;
            m_loop.Post(m_drainTask);
        }
    }
}

void DeviceSession::DrainNow(EventLoop::Task& task)
{
    static_cast<DrainTask&>(task).owner->Drain();
}

void DeviceSession::Drain()
{
    m_draining.clear();
    {
        std::lock_guard lock(m_inboxMutex);
        m_draining.swap(m_inbox);
        m_drainPosted = false;
    }
    for (const Reply& reply : m_draining)
        Route(reply);
}

void DeviceSession::Route(const Reply& reply)
{
    switch (m_state) {
    case Discovering: {
        if (!m_seen.insert(reply.mac).second)
            return;
        FoundDevice device;
        device.mac = reply.mac;
        device.ip = reply.sender;
        device.ssid = Value(reply.entries, "SSID");
        device.ipAddr = Value(reply.entries, "IP_ADDR");
        device.netmask = Value(reply.entries, "CURRENT_SUBNET_MASK");
        device.channel = Value(reply.entries, "CHANNEL");
        if (m_interfaceSet) {
            if (const auto heardOn = m_interfaceSet->ByIndex(reply.interfaceIndex))
                device.interfaceName = heardOn->name;
        }
        if (m_onDevice)
            m_onDevice(device);
        break;
    }
    case QueryingDetail: {
        // Every device hears every broadcast, and another program's discovery
        // draws answers from all of them: only the addressed device's reply
        // counts.
        if (reply.mac != m_queriedMac)
            return;
        DeviceDetail detail;
        detail.mac = reply.mac;
        detail.ip = reply.sender;
        detail.ipAddr = Value(reply.entries, "IP_ADDR");
        detail.netmask = Value(reply.entries, "SUBNET_MASK");
        detail.gateway = Value(reply.entries, "DEFAULT_GATEWAY");
        detail.dhcp = Value(reply.entries, "DHCP");
        m_detail = std::move(detail);
        m_state = DetailReceived;
        break;
    }
    case AwaitingSetResult:
        // Only the addressed device's command reply ends the wait.
        if (reply.mac != m_queriedMac || reply.type != TypeCommandReply)
            return;
        m_result = reply.resultCode;
        m_state = Idle;
        break;
    default:
        break;
    }
}

} // namespace pemblor
