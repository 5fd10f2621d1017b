#pragma once
#include "engine/ConversationState.h"
#include "engine/NetworkEndpoint.h"
#include "engine/SetupIpTarget.h"
#include "protocol/Datagram.h"
#include "protocol/DatagramType.h"
#include "toolkit/FunctionRef.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pemblor {

class IToolkit;
class IWindow;
class ISocketLayer;
class ReplyDatagram;

struct ConversationConfig {
    std::uint16_t port = DevicePort;          // receive port and destination port
    std::string destination = BroadcastAddress; // every request goes here
    // Starts the receive thread; false when it cannot be created.
    std::function<bool(std::thread&, std::function<void()>)> launchThread;
    // Waits between failed receives; returns false when the thread is to stop.
    // Default: an interruptible wait on the conversation's stop signal.
    std::function<bool(std::chrono::milliseconds)> backoffWait;
    std::chrono::milliseconds firstBackoff{10};
    std::chrono::milliseconds maxBackoff{1000};
    // Bound on the wait for the receive thread when the window goes.
    std::chrono::milliseconds stopTimeout{2000};
    // Kernel receive buffer asked for the receive socket (0: leave it).
    int receiveBufferBytes = 0;
    // Called on the receive thread for every reply it dispatches, before the
    // dispatch; for measurements. Must not block.
    std::function<void()> replyObserver;
};

// The conversation half of the device list window: the two sockets, the
// receive thread, the conversation state and the window's timer. The window
// class derives from it and supplies the table and the Discover button.
//
// Threads: handlers run on the user-interface thread; ServiceSocketThread on
// its own. They share m_nState, m_nDeviceCount and m_nTimerId (atomics) and
// the open dialog (m_pSetupIpDlg, under m_dialogLock). The receive thread
// touches controls only through IToolkit::InvokeOnUiThread / PostToUiThread.
class CConversation {
public:
    CConversation(IToolkit& toolkit, ISocketLayer& sockets, ConversationConfig config = {});
    virtual ~CConversation();
    CConversation(const CConversation&) = delete;
    CConversation& operator=(const CConversation&) = delete;

    // Used by the Setup IP dialog, which reaches the window as its parent.
    IToolkit& Toolkit() { return m_toolkit; }
    IWindow* Window() { return m_pWindow; }
    // Sends through m_skSend to the destination; negative on failure, and
    // LastError() then holds the number.
    int SendRequest(const Datagram& datagram);
    int LastError() const;
    // Arms the window's timer 1 and stores its identifier in m_nTimerId.
    void ArmTimer(unsigned periodMs);
    void DisarmTimer();

    // Registers the dialog that OnSetupIp is about to run, with the row's
    // address text, and removes it again when the dialog has ended, returning
    // the final address text. Both on the user-interface thread.
    void AttachSetupIpDlg(SetupIpTarget* dialog, const std::string& ipAddress);
    std::string DetachSetupIpDlg();
    SetupIpTarget* SetupIpDlg() const { return m_pSetupIpDlg.load(); }

    // Receive buffer the kernel granted the receive socket (0: not asked).
    int ReceiveBufferGranted() const { return m_nReceiveBufferGranted.load(); }

    std::atomic<int> m_nState{Idle};
    std::atomic<int> m_nDeviceCount{0};
    std::atomic<unsigned> m_nTimerId{0};
    bool m_bThreadStarted = false;

protected:
    // Opens the endpoint; failure messages go to the window. `window` is the
    // window the messages and the timer belong to.
    bool OpenEndpoint(IWindow& window);
    // Starts the receive thread if none has been started; shows "Cannot
    // Create ServiceSocket Thread" and returns false when it cannot.
    bool StartReceiveThread();
    // The window's timer handler.
    void OnTimer(unsigned id);
    // Closing: state Closing, then the stop datagram.
    void SendStopDatagram();
    // Stops the receive thread with a bounded wait; the window's destructor
    // calls it before its members go.
    void StopReceiveThread();
    // The window has gone (its controls with it): calls from the receive
    // thread that are still on their way find no window and do nothing.
    void OnWindowDestroyed() { m_pWindow = nullptr; }

    // For the receive thread: has the user-interface thread run `call` while
    // the receive thread waits. `call` runs only while the window exists;
    // false when it did not run.
    bool CallWindow(FunctionRef<void()> call);
    // For any thread: the user-interface thread runs `call` later, if this
    // object and its window still exist then.
    void PostToWindow(std::function<void()> call);
    // Receive thread: true once the window has asked the thread to stop.
    bool StopRequested() const;

    // Receive thread, state Discovering, one reply at a time.
    virtual void AddDiscoveredDevice(const ReplyDatagram& reply) = 0;
    // User-interface thread: state Idle, Discover enabled.
    virtual void ReturnToIdle() = 0;

    IToolkit& m_toolkit;
    ISocketLayer& m_sockets;
    ConversationConfig m_config;
    IWindow* m_pWindow = nullptr;
    CNetworkEndpoint m_endpoint;

private:
    struct ThreadContext;
    void ServiceSocketThread(std::shared_ptr<ThreadContext> context);
    void Dispatch(const ReplyDatagram& reply);
    void TakeDetailReply(const ReplyDatagram& reply);
    void TakeCommandResult(const ReplyDatagram& reply);

    std::atomic<SetupIpTarget*> m_pSetupIpDlg{nullptr};
    std::mutex m_dialogLock;
    std::thread m_recvThread;
    std::shared_ptr<ThreadContext> m_context;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    std::atomic<int> m_nReceiveBufferGranted{0};
};

} // namespace pemblor
