#include "tests/fleet/FleetLan.h"

#include "engine/ISocket.h"
#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/PacketHeader.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace pemblor::test {

namespace {

Datagram Encode(std::uint32_t type, const MacBytes& mac, const std::vector<std::string>& texts)
{
    std::vector<std::string_view> views(texts.begin(), texts.end());
    return EncodeDatagram(type, mac, "", "", std::span<const std::string_view>(views));
}

std::string Credential(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    std::string text;
    for (std::size_t i = offset; i < offset + CredentialFieldSize && i < bytes.size() && bytes[i] != 0; ++i)
        text.push_back(static_cast<char>(bytes[i]));
    return text;
}

} // namespace

// One address of the LAN: a host with the device port bound and a thread
// that hands every request it hears to the user-interface thread.
struct FleetLan::Host {
    std::unique_ptr<FakeSocketLayer> layer;
    std::unique_ptr<ISocket> socket;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
};

FleetLan::FleetLan(FakeNetwork& network, EventLoop& ui, std::string toolHost, std::vector<Device> devices)
    : m_network(network)
    , m_ui(ui)
    , m_toolHost(std::move(toolHost))
    , m_devices(std::move(devices))
{
    for (Device& device : m_devices) {
        device.stored = device.values;
        HostAt(device.address);
    }
}

FleetLan::~FleetLan()
{
    for (auto& [address, host] : m_hosts) {
        host->stop = true;
        host->socket->Close();
    }
    // A host's thread may be handing a request to the user-interface
    // thread, which is this one: serve it until every thread has ended.
    for (auto& [address, host] : m_hosts) {
        while (!host->ended)
            m_ui.WaitServing(1);
        host->thread.join();
    }
}

FleetLan::Device& FleetLan::At(const std::string& mac)
{
    for (Device& device : m_devices)
        if (device.mac == mac)
            return device;
    throw std::out_of_range(mac);
}

FleetLan::Host& FleetLan::HostAt(const std::string& address)
{
    auto it = m_hosts.find(address);
    if (it != m_hosts.end())
        return *it->second;
    auto host = std::make_unique<Host>();
    host->layer = m_network.NewLayer(address);
    host->socket = host->layer->Open();
    if (!host->socket || !host->socket->Bind(DevicePort))
        throw std::runtime_error(address + " cannot bind the device port");
    host->socket->SetBroadcast();
    Host& made = *host;
    host->thread = std::thread([this, &made, address] {
        std::array<std::uint8_t, ReceiveBufferSize> buffer{};
        while (!made.stop) {
            PeerAddress from;
            std::uint16_t port = 0;
            const int received = made.socket->ReceiveFrom(buffer.data(), buffer.size(), from, port);
            if (made.stop)
                break;
            {
                std::lock_guard lock(made.mutex);
                made.started = true;
                made.cv.notify_all();
            }
            if (received <= 0)
                continue;
            const std::vector<std::uint8_t> bytes(buffer.begin(), buffer.begin() + received);
            m_ui.Invoke([&] {
                if (!made.stop)
                    Heard(address, bytes);
            });
        }
        made.ended = true;
    });
    // Until its thread waits on the socket, the network would count the
    // host as quiet and the clock could run past a request it has yet to
    // hear: the first datagram tells that it is there.
    const Datagram hello = BuildStopDatagram();
    host->socket->SendTo(hello.data(), hello.size, DevicePort, "127.0.0.1");
    {
        std::unique_lock lock(made.mutex);
        made.cv.wait(lock, [&made] { return made.started; });
    }
    m_hosts.emplace(address, std::move(host));
    return made;
}

void FleetLan::SendFrom(const std::string& address, const Datagram& datagram)
{
    HostAt(address).socket->SendTo(datagram.data(), datagram.size, DevicePort, m_toolHost.c_str());
}

void FleetLan::Answer(const Device& device, const Datagram& reply)
{
    HostAt(device.address).socket->SendTo(reply.data(), reply.size, DevicePort, m_toolHost.c_str());
}

void FleetLan::Later(Device& device, Millis delay, std::function<void(Device&)> action)
{
    const std::string mac = device.mac;
    m_ui.After(delay, [this, mac, action = std::move(action)] { action(At(mac)); });
}

void FleetLan::Counted(const std::string& mac, const std::string& address, bool change, bool add)
{
    if (!add) {
        m_inFlight.erase(mac);
        return;
    }
    m_inFlight[mac] = {address, change};
    m_mostRequests = std::max(m_mostRequests, m_inFlight.size());
    std::size_t changes = 0;
    std::map<std::string, std::size_t> perAddress;
    for (const auto& [inFlightMac, request] : m_inFlight) {
        if (!request.second)
            continue;
        ++changes;
        m_mostAtOneAddress = std::max(m_mostAtOneAddress, ++perAddress[request.first]);
    }
    m_mostChanges = std::max(m_mostChanges, changes);
}

void FleetLan::Heard(const std::string& host, const std::vector<std::uint8_t>& bytes)
{
    const ReplyDatagram request(bytes.data(), bytes.size(), host);
    const std::uint32_t type = request.type();
    const MacBytes mac = request.macAddress();
    if (type == TypeQuery && mac == MacBytes{}) {
        ++m_discoveries;
        for (Device& device : m_devices) {
            if (device.down || !device.answersRead || device.address != host)
                continue;
            Later(device, device.latencyMs, [this](Device& at) {
                if (at.down)
                    return;
                Answer(at, Encode(TypeQueryReply, *ParseDeviceMac(at.mac),
                                  {"SSID=lab", "IP_ADDR=" + at.values.ipAddr.value_or(""),
                                   "CURRENT_SUBNET_MASK=" + at.values.netmask.value_or(""), "CHANNEL=6"}));
            });
        }
        return;
    }
    const std::string macText(FormatMacText(mac).view());
    const auto it = std::find_if(m_devices.begin(), m_devices.end(),
                                 [&](const Device& device) { return device.mac == macText && device.address == host; });
    if (it == m_devices.end() || it->down)
        return;
    Device& device = *it;
    if (type == TypeQuery) {
        if (!device.answersRead)
            return;
        Counted(device.mac, device.address, false, true);
        Later(device, device.latencyMs, [this](Device& at) {
            Counted(at.mac, at.address, false, false);
            if (at.down)
                return;
            // The detail query reads the settings as stored.
            Answer(at, Encode(TypeQueryReply, *ParseDeviceMac(at.mac),
                              {"IP_ADDR=" + at.stored.ipAddr.value_or(""), "SUBNET_MASK=" + at.stored.netmask.value_or(""),
                               "DEFAULT_GATEWAY=" + at.stored.gateway.value_or(""),
                               "DHCP=" + at.stored.dhcp.value_or("0")}));
        });
        return;
    }
    if (type != TypeCommand)
        return;
    std::vector<std::string> entries;
    for (const auto& item : request.entries())
        entries.emplace_back(item.entry.text.data(), item.entry.length > 0 ? item.entry.length - 1 : 0);
    const bool allowed = (device.user.empty() || Credential(bytes, PacketHeader::OffsetUserName) == device.user) &&
                         Credential(bytes, PacketHeader::OffsetPassword) == device.password;
    const MacBytes replyMac = device.zeroMacResult ? MacBytes{} : mac;
    const auto result = [replyMac](int code) {
        Datagram reply = EncodeDatagram(TypeCommandReply, replyMac, "", "", {"0"});
        reply.bytes[86] = static_cast<std::uint8_t>(code);
        return reply;
    };
    if (entries.size() == 1 && entries[0] == "reboot") {
        if (!allowed) {
            Later(device, device.latencyMs, [this, result](Device& at) { Answer(at, result(1)); });
            return;
        }
        ++device.reboots;
        device.down = true;
        Later(device, device.rebootMs, [this](Device& at) {
            if (at.neverReturns)
                return;
            at.down = false;
            if (at.backAt)
                at.stored.ipAddr = at.backAt;
            if (at.backNetmask)
                at.stored.netmask = at.backNetmask;
            at.values = at.stored;
            at.address = at.values.ipAddr.value_or(at.address);
            HostAt(at.address);
        });
        return;
    }
    ++device.changes;
    if (!device.answersChange)
        return;
    const int code = device.forcedResult >= 0 ? device.forcedResult : allowed ? 0 : 1;
    if (code == 0) {
        for (const std::string& entry : entries) {
            const std::string prefix = "flash set ";
            if (entry.rfind(prefix, 0) != 0)
                continue;
            const std::string rest = entry.substr(prefix.size());
            const std::size_t space = rest.find(' ');
            const std::string name = rest.substr(0, space);
            const std::string value = space == std::string::npos ? std::string() : rest.substr(space + 1);
            if (name == "IP_ADDR")
                device.stored.ipAddr = value;
            else if (name == "SUBNET_MASK")
                device.stored.netmask = value;
            else if (name == "DEFAULT_GATEWAY")
                device.stored.gateway = value;
            else if (name == "DHCP")
                device.stored.dhcp = value;
        }
    }
    Counted(device.mac, device.address, true, true);
    Later(device, device.latencyMs, [this, result, code](Device& at) {
        Counted(at.mac, at.address, true, false);
        Answer(at, result(code));
    });
    if (device.lateCopyMs > 0)
        Later(device, device.latencyMs + device.lateCopyMs, [this, result, code](Device& at) { Answer(at, result(code)); });
}

} // namespace pemblor::test
