#include "tests/support/FakeAccessPoint.h"

#include "engine/ISocket.h"
#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <array>
#include <stdexcept>
#include <string_view>

namespace pemblor {
namespace {

Datagram EncodeTexts(std::uint32_t type, const MacBytes& mac, const std::vector<std::string>& texts)
{
    std::vector<std::string_view> views(texts.begin(), texts.end());
    return EncodeDatagram(type, mac, "", "", std::span<const std::string_view>(views));
}

} // namespace

FakeAccessPoint::Profile FakeAccessPoint::Standard(const std::string& host, const MacBytes& mac,
                                                   const std::string& ssid)
{
    Profile profile;
    profile.mac = mac;
    profile.discoveryEntries = {"SSID=" + ssid, "IP_ADDR=" + host, "CURRENT_SUBNET_MASK=255.255.255.0", "CHANNEL=6"};
    profile.detailEntries = {"IP_ADDR=" + host, "SUBNET_MASK=255.255.255.0", "DEFAULT_GATEWAY=198.18.0.254", "DHCP=0"};
    return profile;
}

FakeAccessPoint::FakeAccessPoint(FakeNetwork& network, FakeToolkit& toolkit, std::string host, Profile profile)
    : m_toolkit(toolkit), m_strHost(std::move(host)), m_layer(network.NewLayer(m_strHost)), m_profile(std::move(profile))
{
    m_scheduleCall.owner = this;
    m_socket = m_layer->Open();
    if (!m_socket || !m_socket->Bind(DevicePort))
        throw std::runtime_error("access point " + m_strHost + " cannot bind the device port");
    m_thread = std::thread([this] { Run(); });
    // The network counts a socket as quiet while nobody waits on it, so a
    // thread that has not reached its first receive would let the clock run
    // past requests it has yet to hear. Once the thread has taken this
    // datagram, its socket stays busy until it waits again.
    const Datagram hello = BuildStopDatagram();
    m_socket->SendTo(hello.data(), hello.size, DevicePort, "127.0.0.1");
    std::unique_lock lock(m_mutex);
    m_started.wait(lock, [this] { return m_bStarted; });
}

FakeAccessPoint::~FakeAccessPoint()
{
    m_bStop = true;
    m_socket->Close();
    m_thread.join();
    m_toolkit.Loop().Cancel(m_scheduleCall);
}

std::string FakeAccessPoint::MacText() const
{
    return std::string(FormatMacText(GetProfile().mac).view());
}

void FakeAccessPoint::SetProfile(const Profile& profile)
{
    std::lock_guard lock(m_mutex);
    m_profile = profile;
}

FakeAccessPoint::Profile FakeAccessPoint::GetProfile() const
{
    std::lock_guard lock(m_mutex);
    return m_profile;
}

std::vector<FakeAccessPoint::Request> FakeAccessPoint::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void FakeAccessPoint::Send(const Datagram& datagram, const std::string& toHost)
{
    m_socket->SendTo(datagram.data(), datagram.size, DevicePort, toHost.c_str());
}

void FakeAccessPoint::Answer(const Datagram& reply, const std::string& toHost, Millis delay, int times)
{
    // The clock belongs to the user-interface thread: schedule from there.
    m_pending.push_back({reply, toHost, delay, times});
    m_toolkit.Loop().Post(m_scheduleCall);
}

void FakeAccessPoint::ScheduleAnswers()
{
    std::vector<Pending> pending;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
    }
    for (const Pending& answer : pending) {
        for (int i = 0; i < answer.times; ++i)
            m_toolkit.AfterExternal(answer.delay,
                                    [this, reply = answer.reply, to = answer.toHost] { Send(reply, to); });
    }
}

void FakeAccessPoint::Run()
{
    std::array<std::uint8_t, ReceiveBufferSize> buffer{};
    while (!m_bStop) {
        PeerAddress from;
        std::uint16_t port = 0;
        buffer.fill(0);
        const int received = m_socket->ReceiveFrom(buffer.data(), buffer.size(), from, port);
        if (m_bStop)
            break;
        if (received <= 0)
            continue;
        if (!m_bStarted) {
            std::lock_guard lock(m_mutex);
            m_bStarted = true;
            m_started.notify_all();
        }
        const ReplyDatagram request(buffer.data(), static_cast<std::size_t>(received), from.text);
        const std::uint32_t type = request.type();
        if (type != TypeQuery && type != TypeCommand)
            continue;

        Request heard{type, request.macAddress(), {}};
        for (const auto& item : request.entries())
            heard.entries.emplace_back(item.entry.text.data(), item.entry.length > 0 ? item.entry.length - 1 : 0);

        std::lock_guard lock(m_mutex);
        m_requests.push_back(heard);
        const Profile& p = m_profile;
        const bool broadcastQuery = heard.mac == MacBytes{};
        if (type == TypeQuery && broadcastQuery) {
            if (p.answerDiscovery) {
                Datagram reply = EncodeTexts(p.replyType, p.mac, p.discoveryEntries);
                if (p.discoveryEntryCountField >= 0) {
                    reply.bytes[PacketHeader::OffsetEntryCount] = static_cast<std::uint8_t>(p.discoveryEntryCountField >> 8);
                    reply.bytes[PacketHeader::OffsetEntryCount + 1] = static_cast<std::uint8_t>(p.discoveryEntryCountField);
                }
                Answer(reply, from.text, p.discoveryDelay, p.discoveryReplies);
            }
        } else if (heard.mac != p.mac) {
            continue;
        } else if (type == TypeQuery) {
            if (p.answerDetail)
                Answer(EncodeTexts(p.replyType, p.mac, p.detailEntries), from.text, p.detailDelay, 1);
        } else if (p.answerCommands && !(heard.entries.size() == 1 && heard.entries[0] == "reboot")) {
            // The result code is the first text byte of the first entry.
            const std::string result(1, static_cast<char>(p.commandResult));
            Answer(EncodeDatagram(TypeCommandReply, p.mac, "", "", {std::string_view(result)}), from.text,
                   p.commandDelay, 1);
        }
    }
}

} // namespace pemblor
