#pragma once
#include "ctl/EventLoop.h"
#include "engine/PostedCallQueue.h"
#include "engine/UiDispatcher.h"

#include <atomic>
#include <functional>
#include <map>

namespace pemblor {

// The conversation's way to the command line's thread: the event loop that
// thread runs. Posted calls wait in an intrusive queue and the loop is woken
// by one task of this object, only when no wake is on its way already, so
// posting allocates nothing. Timer ticks call `onTick` on the loop's thread.
class LoopDispatcher final : public UiDispatcher {
public:
    LoopDispatcher(EventLoop& loop, std::function<void()> onTick);
    ~LoopDispatcher() override;
    LoopDispatcher(const LoopDispatcher&) = delete;
    LoopDispatcher& operator=(const LoopDispatcher&) = delete;

    bool Invoke(FunctionRef<void()> call) override;
    void Post(PostedCall& call) override;
    void Cancel(PostedCall& call) override;
    void ArmTimer(unsigned periodMs) override;
    void DisarmTimer() override;
    void WaitServing(unsigned ms) override;
    void Schedule(Deadline& deadline, unsigned delayMs) override;
    void Cancel(Deadline& deadline) override;

private:
    struct WakeTask : EventLoop::Task {
        LoopDispatcher* owner = nullptr;
    };
    static void Drain(EventLoop::Task& task);

    EventLoop& m_loop;
    std::function<void()> m_onTick;
    PostedCallQueue m_queue;
    std::atomic<bool> m_wakePending{false};
    WakeTask m_wake;
    // Each pending deadline and the loop's alarm for it.
    std::map<Deadline*, EventLoop::AlarmId> m_deadlines;
};

} // namespace pemblor
