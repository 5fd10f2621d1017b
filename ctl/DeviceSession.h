#pragma once
#include "ctl/DeviceRecords.h"
#include "engine/EventLoop.h"
#include "engine/Conversation.h"
#include "engine/ConversationListener.h"
#include "engine/DetailTarget.h"
#include "engine/DeviceRegistry.h"
#include "engine/IInterfaceList.h"
#include "engine/ISocketLayer.h"
#include "engine/SilenceDiagnosis.h"
#include "protocol/DatagramType.h"
#include "protocol/Requests.h"

#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pemblor {

struct SessionConfig {
    std::uint16_t port = DevicePort;
    std::string destination = BroadcastAddress;
    // Many devices answer a discovery at once; their replies wait in the
    // kernel while the receive thread works through them.
    int receiveBufferBytes = 8 * 1024 * 1024;
    // The computer's interfaces: every request goes out of each usable one.
    // Null: one send, out of the interface the routes pick.
    IInterfaceList* interfaces = nullptr;
};

// The command line's side of the engine's conversation: it selects the
// device each command addresses, hears what the conversation reports and
// keeps it for the commands, which wait on the event loop.
//
// Threads: every method runs on the event loop's thread. DeviceFound and
// SetSetting come from the receive thread; found devices reach the loop's
// thread in batches, by one posted call.
class DeviceSession final : private ConversationListener, private DetailTarget {
public:
    DeviceSession(ISocketLayer& sockets, EventLoop& loop, SessionConfig config = {});
    ~DeviceSession() override;
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    struct OpenResult {
        bool ok = false;
        bool portTaken = false; // the device port is bound by another program
        std::string message;    // the failing step's message, as the window words it
    };
    OpenResult Open();

    // Each sends its request; false with `error` set to the failure message
    // when it could not be sent. The commands keep their own time-outs.
    bool BeginDiscovery(std::function<void(const FoundDevice&)> onDevice, std::string& error);
    bool BeginDetailQuery(const std::string& mac, std::string& error);
    bool BeginSettingsChange(const std::string& mac, const std::string& user, const std::string& password,
                             const SettingsChange& change, std::string& error);
    bool SendReboot(const std::string& mac, const std::string& user, const std::string& password,
                    std::string& error);
    // Ends the discovery cycle (its diagnosis is then known), or any other
    // conversation.
    void ReturnToIdle();

    ConversationState State() const { return m_conversation.State(); }
    int DeviceCount() const { return m_conversation.DeviceCount(); }
    bool DetailReady() const { return m_detailReady; }
    const std::optional<DeviceDetail>& Detail() const { return m_detail; }
    std::optional<int> Result() const { return m_result; }
    // Why the last discovery found nothing, once it has ended.
    const SilenceDiagnosis& Diagnose() const { return m_silence; }
    bool NamesInterfaces() const { return m_namesInterfaces; }

private:
    // ConversationListener
    bool DeviceFound(const ReplyDatagram& reply, const NetworkInterface& heardOn) override;
    void DiscoveryEnded(int, const SilenceDiagnosis& silence) override { m_silence = silence; }
    void DetailStored() override;
    void CommandResult(int result) override { m_result = result; }
    void TimedOut(ConversationState) override {}
    void SendFailed(Request request, int error, std::string_view interfaceName) override;
    void ReceiveFailed(ReceiveFailure failure) override;
    // DetailTarget
    void SetSetting(std::string_view name, std::string_view value) override;

    void Select(const std::string& mac);
    bool Sent(bool sent, std::string& error);
    void DrainFound();

    class DrainCall final : public PostedCall {
    public:
        explicit DrainCall(DeviceSession& owner) : m_owner(owner) {}
        void Run() override { m_owner.DrainFound(); }

    private:
        DeviceSession& m_owner;
    };

    EventLoop& m_loop;
    UiDispatcher& m_dispatcher;
    Conversation m_conversation;
    DrainCall m_drain{*this};

    // Receive thread to loop thread.
    std::mutex m_foundMutex;
    DeviceRegistry m_registry;
    std::vector<FoundDevice> m_found;

    // Loop thread only, but for m_pending, which the receive thread fills
    // under the conversation's device lock before DetailStored.
    std::function<void(const FoundDevice&)> m_onDevice;
    std::vector<FoundDevice> m_draining;
    std::string m_selected;
    DeviceDetail m_pending;
    std::optional<DeviceDetail> m_detail;
    bool m_detailReady = false;
    std::optional<int> m_result;
    std::string m_sendError;
    SilenceDiagnosis m_silence;
    bool m_namesInterfaces = false;
    std::string m_receiveError;
};

} // namespace pemblor
