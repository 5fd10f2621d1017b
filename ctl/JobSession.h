#pragma once
#include "ctl/DeviceSession.h"
#include "engine/EventLoop.h"
#include "engine/DeviceJob.h"
#include "engine/Transport.h"

#include <functional>
#include <string>

namespace pemblor {

// The command line's side of the transport and the per-device jobs: opens
// the sockets, runs one job to its end on the event loop and hands on what
// the job tells as it goes.
//
// Threads: the event loop's thread only.
class JobSession final : private JobListener, private TransportObserver {
public:
    JobSession(ISocketLayer& sockets, EventLoop& loop, const SessionConfig& config);
    ~JobSession() override;
    JobSession(const JobSession&) = delete;
    JobSession& operator=(const JobSession&) = delete;

    DeviceSession::OpenResult Open();

    // Runs `plan` for the device `mac` until the job ends.
    JobReport Run(const std::string& mac, const JobPlan& plan);

    // Told as the job goes: a step began or a second passed; a request could
    // not go out of one interface (the window's message, one line).
    std::function<void(JobStep step, int secondsLeft, int queriesSent)> onProgress;
    std::function<void(const std::string& message)> onSendFailure;

private:
    // JobListener
    void JobProgress(DeviceJob& job, JobStep step, int secondsLeft, int queriesSent) override;
    void JobSendFailed(DeviceJob& job, Request request, int error, std::string_view interfaceName) override;
    void JobFinished(DeviceJob& job, const JobReport& report) override;
    // TransportObserver
    void QueryHeard(unsigned /*arrival*/) override {}
    void ReplyReceived(const ReplyDatagram& /*reply*/, unsigned /*arrival*/) override {}
    void ReceiveFailed(ReceiveFailure failure) override;

    EventLoop& m_loop;
    UiDispatcher& m_dispatcher;
    Transport m_transport;
    bool m_finished = false;
    std::string m_receiveError;
};

} // namespace pemblor
