#include "tests/support/SimAccessPoint.h"

#include "tests/fakenet/FakeSocket.h"

#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"
#include "tools/apsim/LabAddress.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace pemblor {
namespace {

// A credential field of the header, up to its NUL.
std::string HeaderText(const std::uint8_t* data, std::size_t size, std::size_t offset, std::size_t length)
{
    if (size < offset + length)
        return {};
    const char* text = reinterpret_cast<const char*>(data + offset);
    return std::string(text, strnlen(text, length));
}

} // namespace

// The device port at one address of the network: a thread hears each
// datagram once and hands it to every access point standing there, as the
// agents of devices that share a factory address all hear it.
class SimAccessPoint::Listener final {
public:
    // The listener at `address`, made on first use; it lives while an access
    // point holds it. Access points are made and destroyed on one thread.
    static std::shared_ptr<Listener> At(FakeNetwork& network, const std::string& address);

    Listener(FakeNetwork& network, const std::string& address);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // After Leave returns, `member` is handed nothing more.
    void Join(SimAccessPoint& member);
    void Leave(SimAccessPoint& member);
    ISocket& Socket() { return *m_socket; }

private:
    void Run();

    std::unique_ptr<FakeSocketLayer> m_layer;
    std::unique_ptr<ISocket> m_socket;
    // Held while a datagram is handed out.
    std::mutex m_mutex;
    std::condition_variable m_startedCv;
    bool m_started = false;
    std::vector<SimAccessPoint*> m_members;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::shared_ptr<SimAccessPoint::Listener> SimAccessPoint::Listener::At(FakeNetwork& network,
                                                                       const std::string& address)
{
    static std::mutex mutex;
    static std::map<std::pair<const FakeNetwork*, std::string>, std::weak_ptr<Listener>> listeners;
    std::lock_guard lock(mutex);
    std::erase_if(listeners, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<Listener>& slot = listeners[{&network, address}];
    if (auto listener = slot.lock())
        return listener;
    auto listener = std::make_shared<Listener>(network, address);
    slot = listener;
    return listener;
}

SimAccessPoint::Listener::Listener(FakeNetwork& network, const std::string& address)
    : m_layer(network.NewLayer(address))
{
    m_socket = m_layer->Open();
    if (!m_socket || !m_socket->Bind(DevicePort))
        throw std::runtime_error("access point " + address + " cannot bind the device port");
    m_socket->SetBroadcast();
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

SimAccessPoint::Listener::~Listener()
{
    m_stop = true;
    m_socket->Close();
    m_thread.join();
}

void SimAccessPoint::Listener::Join(SimAccessPoint& member)
{
    std::lock_guard lock(m_mutex);
    m_members.push_back(&member);
}

void SimAccessPoint::Listener::Leave(SimAccessPoint& member)
{
    std::lock_guard lock(m_mutex);
    std::erase(m_members, &member);
}

void SimAccessPoint::Listener::Run()
{
    std::array<std::uint8_t, ReceiveBufferSize> buffer{};
    while (!m_stop.load()) {
        PeerAddress from{};
        std::uint16_t port = 0;
        const int received = m_socket->ReceiveFrom(buffer.data(), buffer.size(), from, port);
        if (received < 0)
            break;
        const std::string& to = static_cast<FakeSocket&>(*m_socket).LastDestination();
        std::lock_guard lock(m_mutex);
        if (!m_started) {
            m_started = true;
            m_startedCv.notify_all();
        }
        for (SimAccessPoint* member : m_members)
            member->Heard(buffer.data(), static_cast<std::size_t>(received), from, to, *this);
    }
}

SimAccessPoint::SimAccessPoint(FakeNetwork& network, EventLoop& loop, const apsim::ApSettings& settings,
                               const apsim::Quirks& quirks, std::chrono::milliseconds rebootTime)
    : m_network(network)
    , m_loop(loop)
    , m_rebootTime(rebootTime)
    , m_host(apsim::FormatAddress(settings.ip))
    , m_listener(Listener::At(network, m_host))
    , m_model(settings, quirks)
{
    m_scheduleCall.owner = this;
    m_listenCall.owner = this;
    m_listensAt = settings.ip;
    m_listener->Join(*this);
}

SimAccessPoint::~SimAccessPoint()
{
    m_listener->Leave(*this);
    for (auto& [address, listener] : m_runningListeners)
        listener->Leave(*this);
    m_loop.Cancel(m_scheduleCall);
    m_loop.Cancel(m_listenCall);
}

std::vector<std::string> SimAccessPoint::Destinations() const
{
    std::lock_guard lock(m_mutex);
    return m_destinations;
}

void SimAccessPoint::ListenWhereItRuns()
{
    std::string address;
    {
        std::lock_guard lock(m_mutex);
        address = apsim::FormatAddress(m_model.runningAddress());
    }
    if (address == m_host || m_runningListeners.count(address) > 0)
        return;
    auto listener = Listener::At(m_network, address);
    listener->Join(*this);
    m_runningListeners.emplace(address, std::move(listener));
}

std::string SimAccessPoint::Mac() const
{
    std::lock_guard lock(m_mutex);
    return std::string(FormatMacText(m_model.mac()).view());
}

void SimAccessPoint::SetQuirks(const apsim::Quirks& quirks)
{
    std::lock_guard lock(m_mutex);
    m_model.SetQuirks(quirks);
}

apsim::Quirks SimAccessPoint::Quirks() const
{
    std::lock_guard lock(m_mutex);
    return m_model.quirks();
}

void SimAccessPoint::SetDiscoveryEntries(std::optional<std::vector<std::string>> entries, int entryCountField)
{
    std::lock_guard lock(m_mutex);
    m_discoveryEntries = std::move(entries);
    m_entryCountField = entryCountField;
}

void SimAccessPoint::Send(const Datagram& datagram, const std::string& toHost)
{
    std::lock_guard lock(m_mutex);
    m_listener->Socket().SendTo(datagram.data(), datagram.size, DevicePort, toHost.c_str());
}

void SimAccessPoint::Script(apsim::OutgoingReply& reply) const
{
    if (!m_discoveryEntries)
        return;
    const std::vector<std::string_view> texts(m_discoveryEntries->begin(), m_discoveryEntries->end());
    const Datagram datagram = EncodeDatagram(m_model.quirks().replyType, m_model.mac(), "", "", texts);
    reply.bytes.assign(datagram.data(), datagram.data() + datagram.size);
    if (m_entryCountField >= 0) {
        reply.bytes[PacketHeader::OffsetEntryCount] = static_cast<std::uint8_t>(m_entryCountField >> 8);
        reply.bytes[PacketHeader::OffsetEntryCount + 1] = static_cast<std::uint8_t>(m_entryCountField);
    }
}

std::vector<std::string> SimAccessPoint::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void SimAccessPoint::Heard(const std::uint8_t* data, std::size_t size, const PeerAddress& from,
                           const std::string& to, const Listener& via)
{
    const ReplyDatagram request(data, size, from.text);
    if (request.type() != TypeQuery && request.type() != TypeCommand)
        return;
    std::lock_guard lock(m_mutex);
    // Every host of the segment hears a broadcast: the factory address's
    // listener takes it for the access point. A request sent to an address
    // is heard at the address it runs at.
    const bool broadcast = to == "255.255.255.255";
    if (broadcast ? &via != m_listener.get()
                  : !m_model.HearsUnicast() || apsim::FormatAddress(m_model.runningAddress()) != to)
        return;
    const MacBytes mac = request.macAddress();
    const bool toAll = mac == MacBytes{};
    if (!toAll && mac != m_model.mac())
        return;
    const std::string user = HeaderText(data, size, 18, 32);
    const std::string password = HeaderText(data, size, 50, 32);
    std::string record = std::to_string(request.type()) + " " + user + "/" + password + ":";
    for (const auto& item : request.entries())
        record += "|" + std::string(item.entry.text.data(), item.entry.length > 0 ? item.entry.length - 1 : 0);
    m_requests.push_back(record);
    m_destinations.push_back(broadcast ? "broadcast" : to);

    const auto now = apsim::AccessPoint::Clock::time_point(std::chrono::milliseconds(m_loop.Now()));
    if (request.type() == TypeQuery) {
        if (auto reply = m_model.OnQuery(request, toAll, now)) {
            if (toAll)
                Script(*reply);
            Answer(std::move(*reply), from.text);
        }
    } else if (!toAll) {
        apsim::CommandOutcome outcome = m_model.OnCommand(request, user, password, now, m_rebootTime);
        if (outcome.reply)
            Answer(std::move(*outcome.reply), from.text);
    }
    // Where it runs now (a change taken at once, a restart seen through this
    // request), it hears requests sent to it from now on: the loop's thread
    // joins that address's listener before it serves the answer.
    if (m_model.runningAddress() != m_listensAt) {
        m_listensAt = m_model.runningAddress();
        m_loop.Post(m_listenCall);
    }
}

void SimAccessPoint::Answer(apsim::OutgoingReply reply, const std::string& toHost)
{
    const auto later = [&](int delayMs) {
        // The clock belongs to the loop's thread: schedule from there.
        m_delayed.push_back({reply, toHost, delayMs});
        m_loop.Post(m_scheduleCall);
    };
    for (int copy = 0; copy <= reply.repeats; ++copy) {
        if (reply.delayMs <= 0)
            Send(reply, toHost);
        else
            later(reply.delayMs);
    }
    for (int n = 0; n < reply.madeUpMacs; ++n)
        Send(apsim::MadeUpCopy(reply, n), toHost);
    if (reply.copyAfterMs > 0)
        later(reply.delayMs + reply.copyAfterMs);
}

void SimAccessPoint::ScheduleDelayed()
{
    std::vector<Delayed> delayed;
    {
        std::lock_guard lock(m_mutex);
        delayed.swap(m_delayed);
    }
    for (Delayed& answer : delayed) {
        const int delay = answer.delayMs;
        m_loop.After(delay, [this, alive = std::weak_ptr<SimAccessPoint*>(m_self), answer = std::move(answer)] {
            if (alive.expired())
                return;
            std::lock_guard lock(m_mutex);
            Send(answer.reply, answer.toHost);
        });
    }
}

void SimAccessPoint::Send(const apsim::OutgoingReply& reply, const std::string& toHost)
{
    const std::string source = apsim::FormatAddress(reply.source);
    ISocket* socket = &m_listener->Socket();
    if (source != m_host) {
        auto& sender = m_senders[source];
        if (!sender.first) {
            sender.first = m_network.NewLayer(source);
            sender.second = sender.first->Open();
            sender.second->Bind(0);
            sender.second->SetBroadcast();
        }
        socket = sender.second.get();
    }
    socket->SendTo(reply.bytes.data(), reply.bytes.size(), DevicePort,
                   reply.broadcast ? "255.255.255.255" : toHost.c_str());
}

} // namespace pemblor
