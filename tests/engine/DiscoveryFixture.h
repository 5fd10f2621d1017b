#pragma once
// The session alone on the fake network, with the engine's event loop on
// its virtual clock and a listener that records what the discovery and
// the registry tell: no toolkit, no window.
#include "engine/Session.h"
#include "engine/EventLoop.h"
#include "tests/fakenet/FakeNetwork.h"
#include "tests/fakenet/ToolRig.h"
#include "tests/fakenet/VirtualClock.h"
#include "protocol/Datagram.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pemblor::test {

inline constexpr const char* kToolHost = "198.18.0.1";
inline constexpr const char* kApHost = "198.18.1.10";

inline const char* RequestName(Request request)
{
    switch (request) {
    case Request::Discovery: return "discovery";
    case Request::DetailQuery: return "detail-query";
    case Request::SettingsChange: return "settings-change";
    case Request::Reboot: return "reboot";
    case Request::Stop: return "stop";
    }
    return "?";
}

// Every report, worded for assertions, with the virtual time and the thread
// it came on; the registry's batches beside them.
class Recorder final : public DiscoveryListener, public RegistryListener {
public:
    struct Event {
        std::string text;
        EventLoop::Millis time;
        std::thread::id thread;
        ConversationState state; // the discovery's state during the call
    };
    struct Batch {
        int toldBefore;
        int size;
        std::vector<int> changed;
        bool operator==(const Batch&) const = default;
    };
    Recorder(EventLoop& ui) : m_ui(ui) {}
    void Attach(Session& session)
    {
        m_session = &session;
        session.registry().AddListener(*this);
    }

    // "ended N", and the diagnosis's cause and interfaces when there is one.
    void DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence) override
    {
        static constexpr const char* causes[] = {"", "no-interface", "blocked", "reverse-path", "nobody"};
        std::string text = "ended " + std::to_string(deviceCount);
        if (silence.cause != SilenceCause::Unknown)
            text += std::string(" ") + causes[static_cast<int>(silence.cause)];
        for (const std::string& name : silence.interfaces)
            text += " " + name;
        if (silence.reversePath)
            text += " dropped " + std::to_string(silence.reversePath->packets);
        Note(text);
    }
    void SendFailed(Request request, int error, std::string_view interfaceName) override
    {
        Note(std::string("send-failed ") + RequestName(request) + " " + std::to_string(error) +
             (interfaceName.empty() ? "" : " " + std::string(interfaceName)));
    }
    void ReceiveFailed(ReceiveFailure failure) override
    {
        Note(failure == ReceiveFailure::Launch ? "receive-failed launch" : "receive-failed startup");
    }
    void DevicesRecorded(const RegistryBatch& batch) override
    {
        batches.push_back({batch.toldBefore, batch.size, batch.changed});
    }

    // The devices the registry holds, in arrival order.
    struct Row {
        std::string sender;
        std::string mac;
        std::string interfaceName;
    };
    std::vector<Row> Rows() const
    {
        std::vector<Row> rows;
        if (!m_session)
            return rows;
        const DeviceRegistry& registry = m_session->registry();
        for (int i = 0; i < registry.Size(); ++i)
            registry.Visit(i, [&rows](const DeviceRecord& record) {
                rows.push_back({record.address, std::string(record.macText.view()), record.interfaceName});
            });
        return rows;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Event& event : events)
            texts.push_back(event.text);
        return texts;
    }

    std::vector<Event> events;   // user-interface thread only
    std::vector<Batch> batches;  // user-interface thread only
    // Called inside every discovery report, after it is recorded.
    std::function<void()> during;

private:
    void Note(std::string text)
    {
        events.push_back({std::move(text), m_ui.Now(), std::this_thread::get_id(),
                          m_session ? m_session->discovery().State() : Idle});
        if (during)
            during();
    }
    EventLoop& m_ui;
    Session* m_session = nullptr;
};

// A simulated access point (or any other sender) on its own fake host.
class TestAp {
public:
    TestAp(FakeNetwork& net, const std::string& host) : m_layer(net.NewLayer(host))
    {
        m_socket = m_layer->Open();
        m_socket->Bind(0);
        m_socket->SetBroadcast();
    }
    void Send(const Datagram& datagram, const char* to = kToolHost)
    {
        m_socket->SendTo(datagram.data(), datagram.size, DevicePort, to);
    }
    void SendBytes(const std::vector<std::uint8_t>& bytes, const char* to = kToolHost)
    {
        m_socket->SendTo(bytes.data(), bytes.size(), DevicePort, to);
    }

private:
    std::unique_ptr<FakeSocketLayer> m_layer;
    std::unique_ptr<ISocket> m_socket;
};

inline MacBytes Mac(std::uint8_t last) { return {0x02, 0x00, 0x00, 0x00, 0x00, last}; }
inline std::string MacString(std::uint8_t last) { return std::string(FormatMacText(Mac(last)).view()); }

inline Datagram DiscoveryReply(std::uint8_t last, std::uint32_t type = TypeQueryReply)
{
    return EncodeDatagram(type, Mac(last), "", "",
                          {"SSID=lab", "IP_ADDR=10.0.0.2", "CURRENT_SUBNET_MASK=255.255.255.0", "CHANNEL=6"});
}

inline Datagram DetailReply(std::uint8_t last)
{
    return EncodeDatagram(TypeQueryReply, Mac(last), "", "",
                          {"IP_ADDR=10.0.0.2", "SUBNET_MASK=255.255.255.0", "DEFAULT_GATEWAY=10.0.0.1", "DHCP=1"});
}

inline Datagram CommandReply(std::int8_t result, const MacBytes& mac = Mac(1), std::uint32_t type = TypeCommandReply)
{
    Datagram datagram = EncodeDatagram(type, mac, "", "", {"0"});
    datagram.bytes[86] = static_cast<std::uint8_t>(result);
    return datagram;
}

class DiscoveryTest : public ::testing::Test, protected ToolHost {
protected:
    DiscoveryTest() : ToolHost(kToolHost) {}
    void SetUp() override
    {
        ui.SetTickHandler([this] {
            if (session)
                session->OnTimer();
        });
    }
    void TearDown() override { session.reset(); }
    EndpointResult Open(SessionConfig config = {})
    {
        session = std::make_unique<Session>(*tool, ui, listener, std::move(config));
        listener.Attach(*session);
        return session->Open();
    }
    Discovery& discovery() { return session->discovery(); }
    // What the device list window's Discover does with the session.
    void Discover()
    {
        session->registry().Clear();
        discovery().BeginDiscovery();
        if (session->StartReceiveThread())
            discovery().SendDiscovery();
    }
    // Number of datagrams of `type` the tool host sent.
    int SentOfType(std::uint32_t type)
    {
        int count = 0;
        for (const auto& sent : net.SentLog()) {
            if (sent.fromHost == kToolHost && ReplyDatagram(sent.bytes.data(), sent.bytes.size(), {}).type() == type)
                ++count;
        }
        return count;
    }
    // Real time: until the registry holds `devices` and every datagram on
    // its way has been taken by the receive thread, without serving the
    // user-interface thread's queue.
    void UntilTaken(int devices)
    {
        while (session->registry().Size() < devices || !net.Quiescent())
            std::this_thread::yield();
    }

    Recorder listener{ui};
    TestAp ap{net, kApHost};
    std::unique_ptr<Session> session;
};

} // namespace pemblor::test
