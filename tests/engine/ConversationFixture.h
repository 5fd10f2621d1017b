#pragma once
// A device-list stand-in on the fake toolkit and the fake network: enough of
// the window to drive the conversation engine through every state.
#include "engine/CConversation.h"
#include "engine/FormatError.h"
#include "engine/fake/FakeNetwork.h"
#include "protocol/Datagram.h"
#include "protocol/EntryText.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"
#include "protocol/Requests.h"
#include "resources/ResourceIds.h"
#include "toolkit/IDialogHandler.h"
#include "toolkit/fake/FakeToolkit.h"

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

class TestWindow final : public CConversation, public IDialogHandler {
public:
    TestWindow(FakeToolkit& ui, ISocketLayer& sockets, ConversationConfig config = {})
        : CConversation(ui, sockets, std::move(config))
    {
    }
    ~TestWindow() override { StopReceiveThread(); }

    bool OnInitDialog(IWindow& window) override { return OpenEndpoint(window); }
    void OnCommand(int id) override
    {
        if (id == IDC_BTN_DISCOVER)
            Discover();
    }
    void OnTimer(unsigned id) override { CConversation::OnTimer(id); }
    void OnCancel() override
    {
        SendStopDatagram();
        m_toolkit.EndDialog(*m_pWindow, IDCANCEL);
    }
    void OnDestroy() override { OnWindowDestroyed(); }

    void Discover()
    {
        m_nDeviceCount = 0;
        m_nState = Discovering;
        if (!StartReceiveThread())
            return;
        m_nState = Discovering;
        if (SendRequest(BuildDiscoveryRequest()) >= 0)
            ArmTimer(5000);
        else
            m_toolkit.MessageBox(m_pWindow, FormatError("skSend.SendTo: %d\n", LastError()));
    }

    // Each reply handed to the table, with the thread it arrived on.
    struct Row {
        std::string sender;
        std::string mac;
        std::uint32_t type;
    };
    std::vector<Row> Rows()
    {
        std::lock_guard lock(m_rowsMutex);
        return m_rows;
    }
    int returnToIdleCalls = 0;
    std::atomic<bool> recordRows{true};
    using CConversation::OnWindowDestroyed;
    using CConversation::StartReceiveThread;
    using CConversation::StopReceiveThread;

protected:
    void AddDiscoveredDevice(const ReplyDatagram& reply) override
    {
        m_nDeviceCount.fetch_add(1);
        if (!recordRows)
            return;
        std::lock_guard lock(m_rowsMutex);
        m_rows.push_back({std::string(reply.sender()), std::string(FormatMacText(reply.macAddress()).view()), reply.type()});
    }
    void ReturnToIdle() override
    {
        ++returnToIdleCalls;
        m_nState = Idle;
    }

private:
    std::mutex m_rowsMutex;
    std::vector<Row> m_rows;
};

// The open Setup IP dialog as the conversation sees it.
class TestDialog final : public SetupIpTarget, public IDialogHandler {
public:
    explicit TestDialog(FakeToolkit& ui) : m_ui(ui) {}

    void SetSetting(std::string_view name, std::string_view value) override
    {
        settings[std::string(name)] = std::string(value);
    }
    void FillControls() override
    {
        ++fills;
        fillThread = std::this_thread::get_id();
    }
    IWindow* GetWindow() override { return m_pWindow; }

    bool OnInitDialog(IWindow& window) override
    {
        m_pWindow = &window;
        return true;
    }
    void OnCommand(int) override {}
    void OnCancel() override { m_ui.EndDialog(*m_pWindow, IDCANCEL); }

    std::map<std::string, std::string> settings;
    int fills = 0;
    std::thread::id fillThread;

private:
    FakeToolkit& m_ui;
    IWindow* m_pWindow = nullptr;
};

// A simulated access point on its own fake host.
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

inline Datagram CommandReply(std::int8_t result, std::uint32_t type = TypeCommandReply)
{
    Datagram datagram = EncodeDatagram(type, Mac(1), "", "", {"0"});
    datagram.bytes[86] = static_cast<std::uint8_t>(result);
    return datagram;
}

class ConversationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hRecvSocket = InvalidSocket;
        ui.SetQuiescenceProbe([this] { return net.Quiescent(); });
    }
    void TearDown() override
    {
        window.reset();
        g_hRecvSocket = InvalidSocket;
    }
    FakeWindow& OpenWindow(ConversationConfig config = {})
    {
        window = std::make_unique<TestWindow>(ui, *tool, std::move(config));
        return ui.Open(*window, IDD_DEVICELIST);
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
    FakeToolkit ui;
    TestAp ap{net, kApHost};
    std::unique_ptr<TestWindow> window;
};

} // namespace pemblor::test
