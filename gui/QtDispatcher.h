#pragma once
#include "engine/CallQueue.h"
#include "engine/UiDispatcher.h"

#include <functional>
#include <map>
#include <memory>

class QObject;
class QSocketNotifier;
class QTimer;

namespace pemblor {

// The window's dispatcher on Qt's own event loop. The thread that constructs
// it (the QApplication's) is the user-interface thread; construct it after
// the QApplication and destroy it before.
//
// The discovery's timer and each deadline are QTimers. Calls from other
// threads wait in intrusive queues (an invocation's record lives on its
// caller's stack), and one write to an eventfd that the loop watches wakes it
// for every call queued meanwhile, so neither posting nor invoking
// allocates.
class QtDispatcher final : public QueuedDispatcher {
public:
    QtDispatcher();
    ~QtDispatcher() override;
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;

    using QueuedDispatcher::Cancel;
    void SetTickHandler(std::function<void()> tick) override { m_tick = std::move(tick); }
    void ArmTimer(unsigned periodMs) override;
    void DisarmTimer() override;
    void Schedule(Deadline& deadline, unsigned delayMs) override;
    void Cancel(Deadline& deadline) override;
    // A nested loop that leaves user input queued.
    void WaitServing(unsigned ms) override;

private:
    // With the call queue's lock held: one wake for all calls queued until
    // they are served.
    void Wake();
    void Serve();

    std::unique_ptr<QObject> m_receiver; // lives on the user-interface thread
    int m_wakeFd = -1;
    std::unique_ptr<QSocketNotifier> m_wakeNotifier;

    // User-interface thread only.
    std::function<void()> m_tick;
    std::unique_ptr<QTimer> m_timer;
    std::map<Deadline*, std::unique_ptr<QTimer>> m_deadlines;
};

} // namespace pemblor
