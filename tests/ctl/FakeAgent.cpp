#include "tests/ctl/FakeAgent.h"

#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/EntryText.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <array>
#include <stdexcept>

namespace pemblor {

FakeAgent::FakeAgent(FakeNetwork& network, const LoopClock& clock, std::string host, Settings settings,
                     std::string movedHost)
    : m_clock(clock)
    , m_host(std::move(host))
    , m_movedHost(std::move(movedHost))
    , m_layer(network.NewLayer(m_host))
    , m_settings(std::move(settings))
    , m_ip(m_host)
{
    m_socket = m_layer->Open();
    if (!m_socket || !m_socket->Bind(DevicePort))
        throw std::runtime_error("agent " + m_host + " cannot bind the device port");
    if (!m_movedHost.empty()) {
        m_movedLayer = network.NewLayer(m_movedHost);
        m_movedSocket = m_movedLayer->Open();
        m_movedSocket->Bind(0);
    }
    // A socket counts as quiet while nobody waits on it, so a thread that has
    // not reached its first receive would let the clock run past requests.
    // Once the thread has taken this first datagram, the socket stays busy
    // until the thread waits again.
    const Datagram hello = BuildStopDatagram();
    m_socket->SendTo(hello.data(), hello.size, DevicePort, "127.0.0.1");
    m_thread = std::thread([this] { Run(); });
    std::unique_lock lock(m_mutex);
    m_startedCv.wait(lock, [this] { return m_started; });
}

FakeAgent::~FakeAgent()
{
    m_stop = true;
    m_socket->Close();
    m_thread.join();
}

std::string FakeAgent::Mac() const
{
    return std::string(FormatMacText(m_settings.mac).view());
}

std::vector<std::string> FakeAgent::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void FakeAgent::Reply(std::uint32_t type, const std::vector<std::string>& texts, const std::string& to, bool zeroMac)
{
    std::vector<std::string_view> views(texts.begin(), texts.end());
    const Datagram datagram = EncodeDatagram(type, zeroMac ? MacBytes{} : m_settings.mac, "", "",
                                             std::span<const std::string_view>(views));
    ISocket& socket = (m_ip != m_host && m_movedSocket) ? *m_movedSocket : *m_socket;
    socket.SendTo(datagram.data(), datagram.size, DevicePort, to.c_str());
}

void FakeAgent::Run()
{
    std::array<std::uint8_t, ReceiveBufferSize> buffer{};
    while (!m_stop.load()) {
        PeerAddress from{};
        std::uint16_t port = 0;
        const int received = m_socket->ReceiveFrom(buffer.data(), buffer.size(), from, port);
        if (received < 0)
            break;
        const ReplyDatagram request(buffer.data(), static_cast<std::size_t>(received), from.text);
        if (!m_started) {
            std::lock_guard lock(m_mutex);
            m_started = true;
            m_startedCv.notify_all();
        }
        if (request.type() != TypeQuery && request.type() != TypeCommand)
            continue;
        const MacBytes mac = request.macAddress();
        const bool toAll = mac == MacBytes{};
        if (!toAll && mac != m_settings.mac)
            continue;
        std::vector<std::string> texts;
        for (const auto& item : request.entries())
            texts.emplace_back(item.entry.text.data(), item.entry.length > 0 ? item.entry.length - 1 : 0);
        const std::string user(request.size() > 50 ? reinterpret_cast<const char*>(buffer.data() + 18) : "");
        const std::string password(request.size() > 82 ? reinterpret_cast<const char*>(buffer.data() + 50) : "");

        std::lock_guard lock(m_mutex);
        std::string record = std::to_string(request.type()) + " " + user + "/" + password + ":";
        for (const std::string& text : texts)
            record += "|" + text;
        m_requests.push_back(record);

        if (m_backAt >= 0) {
            if (m_clock.Now() < m_backAt)
                continue; // still restarting
            m_backAt = -1;
            if (!m_pendingIp.empty() && m_settings.moveOnReboot)
                m_ip = m_pendingIp;
        }
        const std::string to = from.text;
        if (request.type() == TypeQuery && toAll) {
            for (int i = 0; i < m_settings.discoveryReplies; ++i)
                Reply(TypeQueryReply,
                      {"SSID=" + m_settings.ssid, "IP_ADDR=" + m_ip, "CURRENT_SUBNET_MASK=" + m_settings.mask,
                       "CHANNEL=6"},
                      to);
        } else if (request.type() == TypeQuery) {
            if (m_settings.answerDetail)
                // The flash's address: a change shows before the reboot.
                Reply(TypeQueryReply,
                      {"IP_ADDR=" + (m_pendingIp.empty() ? m_ip : m_pendingIp), "SUBNET_MASK=" + m_settings.mask,
                       "DEFAULT_GATEWAY=" + m_settings.gateway, "DHCP=" + m_settings.dhcp},
                      to);
        } else if (m_settings.answerCommands) {
            const bool accepted = user == m_settings.user && password == m_settings.password;
            if (texts.size() == 1 && texts[0] == "reboot") {
                if (accepted) {
                    m_backAt = m_clock.Now() + m_settings.rebootMs;
                    continue; // an accepted reboot is not answered
                }
                Reply(TypeCommandReply, {std::string(1, '\1')}, to, m_settings.zeroMacResult);
                continue;
            }
            if (accepted) {
                for (const std::string& text : texts) {
                    const std::string prefix = "flash set IP_ADDR ";
                    if (text.starts_with(prefix))
                        m_pendingIp = text.substr(prefix.size());
                }
            }
            // Result byte at offset 86: the first entry's first text byte.
            Reply(TypeCommandReply, {accepted ? std::string(1, '\0') : std::string(1, '\1')}, to,
                  m_settings.zeroMacResult);
        }
    }
}

} // namespace pemblor
