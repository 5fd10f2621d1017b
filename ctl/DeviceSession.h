#pragma once
#include "ctl/DeviceRecords.h"
#include "engine/EventLoop.h"
#include "engine/DeviceJob.h"
#include "engine/DiscoveryListener.h"
#include "engine/ISocketLayer.h"
#include "engine/Session.h"
#include "engine/SilenceDiagnosis.h"

#include <functional>
#include <string>
#include <vector>

namespace pemblor {

// The command line's one adapter over the engine's session, for every
// command: it opens the session, runs a discovery for as long as the command
// says and hands on each device as it is first heard, or runs one device's
// job to its end, and keeps what the engine reports for the commands, which
// wait on the event loop.
//
// Threads: the event loop's thread only; the session's batches and the
// job's calls reach it there.
class DeviceSession final : private DiscoveryListener, private RegistryListener, private JobListener {
public:
    // Many devices answer a discovery at once; their replies wait in the
    // kernel while the receive thread works through them (main.cpp asks for
    // this much).
    static constexpr int ReceiveBufferBytes = 8 * 1024 * 1024;

    DeviceSession(ISocketLayer& sockets, EventLoop& loop, SessionConfig config = {});
    ~DeviceSession() override;
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    struct OpenResult {
        bool ok = false;
        bool portTaken = false; // the device port is bound by another program
        std::string message;    // the failing step's message, as the window words it, on one line
    };
    // Opens the sockets and starts the receive thread.
    OpenResult Open();

    // Sends the discovery request; `error` holds the failure messages of the
    // interfaces it could not go out of. False, the cycle ended, when it went
    // out of none. The command keeps its own time-out.
    bool BeginDiscovery(std::function<void(const FoundDevice&)> onDevice, std::string& error);
    // Listens for the answers for `seconds`, then ends the discovery cycle
    // (its diagnosis is then known).
    void ListenFor(double seconds);
    // Ends the discovery cycle at once, for a command that listens on a
    // deadline of its own.
    void EndDiscovery();
    int DeviceCount() const { return m_session.discovery().DeviceCount(); }
    // Every device listed, in the order heard, as it stands now.
    std::vector<FoundDevice> Devices() const;
    // MACs that answered after the list was full.
    int Unlisted() const { return m_session.registry().Unlisted(); }
    // The session's transport and registry, for a job of many devices.
    Transport& transport() { return m_session.transport(); }
    const DeviceRegistry& registry() const { return m_session.registry(); }
    // Why the last discovery found nothing, once it has ended.
    const SilenceDiagnosis& Diagnose() const { return m_silence; }
    bool NamesInterfaces() const { return m_namesInterfaces; }

    // Runs `plan` for the device `mac` until the job ends. A plan that may
    // send credentials by unicast first listens to a discovery for
    // SharedAddressWindowMs, so that it knows, as a listing does, whether
    // another device answers from the device's address.
    JobReport Run(const std::string& mac, JobPlan plan);
    static constexpr EventLoop::Millis SharedAddressWindowMs = 500;
    // A job ends by its own deadlines; this only bounds a loop that stopped
    // serving them.
    static constexpr EventLoop::Millis RunBoundMs = 24LL * 3600 * 1000;
    // The sends of the last Run's job that failed.
    const std::vector<SendFailure>& SendFailures() const { return m_sendFailures; }
    // Told as the job goes: a step began or a second passed; a request could
    // not go out of one interface (the window's message, one line).
    std::function<void(JobStep step, int secondsLeft, int queriesSent)> onProgress;
    std::function<void(const std::string& message)> onSendFailure;
    // The job's credentials are about to go by broadcast (the plan allows it).
    std::function<void(const CredentialRoute& route)> onBroadcast;

private:
    // DiscoveryListener
    void DiscoveryEnded(int, const SilenceDiagnosis& silence) override { m_silence = silence; }
    void SendFailed(Request request, int error, std::string_view interfaceName) override;
    void ReceiveFailed(ReceiveFailure failure) override;
    // RegistryListener: the devices first heard in the batch are handed on.
    void DevicesRecorded(const RegistryBatch& batch) override;
    // JobListener
    void JobProgress(DeviceJob& job, JobStep step, int secondsLeft, int queriesSent) override;
    void JobSendFailed(DeviceJob& job, Request request, int error, std::string_view interfaceName) override;
    void JobBroadcastingCredentials(DeviceJob& job, const CredentialRoute& route) override;
    void JobFinished(DeviceJob& job, const JobReport& report) override;

    EventLoop& m_loop;
    UiDispatcher& m_dispatcher;
    bool m_namesInterfaces = false;
    Session m_session;

    std::function<void(const FoundDevice&)> m_onDevice;
    std::string m_sendError;
    SilenceDiagnosis m_silence;
    std::string m_receiveError;
    bool m_jobFinished = false;
    std::vector<SendFailure> m_sendFailures;
};

} // namespace pemblor
