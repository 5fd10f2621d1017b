#pragma once
// The conversation alone on the fake network, with the engine's fake
// dispatcher and its virtual clock, a listener that records what it hears
// and a detail target: no toolkit, no window.
#include "engine/Conversation.h"
#include "engine/DetailTarget.h"
#include "engine/EventLoop.h"
#include "engine/fake/FakeNetwork.h"
#include "protocol/Datagram.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
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
// it came on. Only DeviceFound comes from the receive thread.
class Recorder final : public ConversationListener {
public:
    struct Event {
        std::string text;
        EventLoop::Millis time;
        std::thread::id thread;
        ConversationState state; // the conversation's state during the call
    };
    Recorder(EventLoop& ui) : m_ui(ui) {}
    void Attach(const Conversation& conversation) { m_conversation = &conversation; }

    bool DeviceFound(const ReplyDatagram& reply, const NetworkInterface& heardOn) override
    {
        if (!recordRows)
            return true;
        std::lock_guard lock(m_rowsMutex);
        m_rows.push_back({std::string(reply.sender()), std::string(FormatMacText(reply.macAddress()).view()),
                          reply.type(), heardOn.name});
        return true;
    }
    // "ended N", and the diagnosis's cause and interfaces when there is one.
    void DiscoveryEnded(int deviceCount, const SilenceDiagnosis& silence) override
    {
        static constexpr const char* causes[] = {"", "no-interface", "blocked", "nobody"};
        std::string text = "ended " + std::to_string(deviceCount);
        if (silence.cause != SilenceCause::Unknown)
            text += std::string(" ") + causes[static_cast<int>(silence.cause)];
        for (const std::string& name : silence.interfaces)
            text += " " + name;
        Note(text);
    }
    void DetailStored() override { Note("detail"); }
    void CommandResult(int result) override { Note("result " + std::to_string(result)); }
    void TimedOut(ConversationState ended) override { Note("timeout " + std::to_string(ended)); }
    void SendFailed(Request request, int error, std::string_view interfaceName) override
    {
        Note(std::string("send-failed ") + RequestName(request) + " " + std::to_string(error) +
             (interfaceName.empty() ? "" : " " + std::string(interfaceName)));
    }
    void ReceiveFailed(ReceiveFailure failure) override
    {
        Note(failure == ReceiveFailure::Launch ? "receive-failed launch" : "receive-failed startup");
    }

    struct Row {
        std::string sender;
        std::string mac;
        std::uint32_t type;
        std::string interfaceName;
    };
    std::vector<Row> Rows()
    {
        std::lock_guard lock(m_rowsMutex);
        return m_rows;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Event& event : events)
            texts.push_back(event.text);
        return texts;
    }

    std::vector<Event> events; // user-interface thread only
    std::atomic<bool> recordRows{true};
    // Called inside every user-interface report, after it is recorded.
    std::function<void()> during;

private:
    void Note(std::string text)
    {
        events.push_back({std::move(text), m_ui.Now(), std::this_thread::get_id(),
                          m_conversation ? m_conversation->State() : Idle});
        if (during)
            during();
    }
    EventLoop& m_ui;
    const Conversation* m_conversation = nullptr;
    std::mutex m_rowsMutex;
    std::vector<Row> m_rows;
};

// The selected device's settings as the receive thread stores them.
class TestTarget final : public DetailTarget {
public:
    void SetSetting(std::string_view name, std::string_view value) override
    {
        std::lock_guard lock(m_mutex);
        m_settings[std::string(name)] = std::string(value);
    }
    std::map<std::string, std::string> Settings()
    {
        std::lock_guard lock(m_mutex);
        return m_settings;
    }

private:
    std::mutex m_mutex;
    std::map<std::string, std::string> m_settings;
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

class ConversationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hRecvSocket = InvalidSocket;
        clock.SetQuiescenceProbe([this] { return net.Quiescent(); });
        ui.SetTickHandler([this] {
            if (conversation)
                conversation->OnTimer();
        });
    }
    void TearDown() override
    {
        conversation.reset();
        g_hRecvSocket = InvalidSocket;
    }
    EndpointResult Open(ConversationConfig config = {})
    {
        conversation = std::make_unique<Conversation>(*tool, ui, listener, std::move(config));
        listener.Attach(*conversation);
        return conversation->Open();
    }
    // What the device list window's Discover does with the conversation.
    void Discover()
    {
        conversation->BeginDiscovery();
        if (conversation->StartReceiveThread())
            conversation->SendDiscovery();
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

    FakeNetwork net;
    std::unique_ptr<FakeSocketLayer> tool = net.NewLayer(kToolHost);
    VirtualClock clock;
    EventLoop ui{clock};
    Recorder listener{ui};
    TestAp ap{net, kApHost};
    std::unique_ptr<Conversation> conversation;
};

} // namespace pemblor::test
