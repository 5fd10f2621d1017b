#pragma once
#include "engine/PostedCallQueue.h"
#include "engine/UiDispatcher.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace pemblor {

// The dispatcher for tests of the engine alone: the thread that constructs
// it is the user-interface thread, and time is virtual. It moves only inside
// Advance() and WaitServing(), which run the timer's ticks and scheduled
// events in time order; before each event they settle: serve the other
// threads' Invoke and Post calls until the quiescence probe (normally
// FakeNetwork::Quiescent) says nothing is left on its way.
class FakeDispatcher final : public UiDispatcher {
public:
    using Millis = std::int64_t;

    FakeDispatcher();
    ~FakeDispatcher() override;
    FakeDispatcher(const FakeDispatcher&) = delete;
    FakeDispatcher& operator=(const FakeDispatcher&) = delete;

    // What a tick of the timer calls (Conversation::OnTimer).
    void SetTickHandler(std::function<void()> tick) { m_tick = std::move(tick); }
    void SetQuiescenceProbe(std::function<bool()> probe) { m_probe = std::move(probe); }

    Millis Now() const { return m_now; }
    void Advance(Millis ms);
    // Runs `action` on this thread when the clock reaches Now() + delay.
    void After(Millis delay, std::function<void()> action);
    void Settle();
    // Stops serving: pending and later Invoke calls return false, posted
    // calls are dropped.
    void Shutdown();

    bool TimerArmed() const { return m_timerArmed; }
    Millis TimerPeriod() const { return m_timerPeriod; }
    // Every WaitServing call's length, in order.
    const std::vector<Millis>& Waits() const { return m_waits; }

    // UiDispatcher
    bool Invoke(FunctionRef<void()> call) override;
    void Post(PostedCall& call) override;
    void Cancel(PostedCall& call) override;
    void ArmTimer(unsigned periodMs) override;
    void DisarmTimer() override;
    void WaitServing(unsigned ms) override;
    void Schedule(Deadline& deadline, unsigned delayMs) override;
    void Cancel(Deadline& deadline) override;

    // Number of deadlines scheduled and not yet expired or cancelled.
    std::size_t PendingDeadlines() const { return m_deadlines.size(); }

private:
    struct Call;
    bool ServeCalls();
    bool RunNext(Millis limit);
    void ScheduleTick(std::uint64_t generation, Millis at);
    bool IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }

    std::thread::id m_uiThread;
    Millis m_now = 0;
    std::uint64_t m_seq = 0;
    std::multimap<std::pair<Millis, std::uint64_t>, std::function<void()>> m_events;
    std::function<void()> m_tick;
    std::function<bool()> m_probe;
    bool m_timerArmed = false;
    Millis m_timerPeriod = 0;
    std::uint64_t m_timerGeneration = 0;
    std::vector<Millis> m_waits;
    // Each pending deadline with the scheduling it waits for.
    std::map<Deadline*, std::uint64_t> m_deadlines;

    std::mutex m_callMutex;
    std::condition_variable m_callCv;
    std::vector<Call*> m_calls; // reserved: queuing a call allocates nothing
    PostedCallQueue m_posted;
    bool m_shutdown = false;
};

} // namespace pemblor
