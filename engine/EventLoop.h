#pragma once
#include "engine/CallQueue.h"
#include "engine/UiDispatcher.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace pemblor {

// The event loop's time: what it reads as now, and how it waits for work or
// for a deadline.
class LoopClock {
public:
    using Millis = std::int64_t;
    virtual ~LoopClock() = default;

    // Any thread.
    virtual Millis Now() const = 0;
    // Called by the loop's thread with `lock` held; returns with it held once
    // `hasWork()` is true, or once Now() has reached `deadline` (at once when
    // it has already). `hasWork` is read under `lock`.
    virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                           const std::function<bool()>& hasWork) = 0;
    // Called like WaitUntil before the loop runs an event that is due: returns
    // once the work that other threads still have on its way has reached the
    // loop (`hasWork()`) or there is none. Real time need not wait for it.
    virtual void Settle(std::unique_lock<std::mutex>& /*lock*/, std::condition_variable& /*wake*/,
                        const std::function<bool()>& /*hasWork*/)
    {
    }
};

// Real time from the steady clock.
class SteadyClock final : public LoopClock {
public:
    Millis Now() const override;
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                   const std::function<bool()>& hasWork) override;
};

// The one event loop for front ends without a toolkit and for tests: the
// thread that constructs it is its user-interface thread, and runs it inside
// RunUntil, Advance and WaitServing. Other threads reach it through Invoke
// and Post; Stop ends that. Timer ticks, deadlines and After actions run in
// the order of their times; at the same time, in the order they were
// scheduled.
class EventLoop final : public QueuedDispatcher {
public:
    using Millis = LoopClock::Millis;

    explicit EventLoop(LoopClock& clock);
    ~EventLoop() override { Stop(); }
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    Millis Now() const { return m_clock.Now(); }

    // Loop thread: serves calls, ticks, deadlines and actions until `done()`
    // holds (checked after every piece of work) or the clock has reached
    // `deadline`. Returns done().
    bool RunUntil(Millis deadline, const std::function<bool()>& done);
    // Loop thread: serves for `ms` of the clock's time; everything due up to
    // Now() + ms runs.
    void Advance(Millis ms) { RunUntil(Now() + ms, [] { return false; }); }
    // UiDispatcher: Advance, noted in Waits().
    void WaitServing(unsigned ms) override;
    // Every WaitServing call: when it began and how long it was, in order
    // (tests assert that nothing blocks the loop's thread).
    const std::vector<std::pair<Millis, Millis>>& Waits() const { return m_waits; }
    // Loop thread: runs `action` once the clock reaches Now() + delay.
    void After(Millis delay, std::function<void()> action) { Enqueue(Now() + delay, std::move(action)); }

    // UiDispatcher: the discovery's timer.
    void SetTickHandler(std::function<void()> tick) override { m_tick = std::move(tick); }
    void ArmTimer(unsigned periodMs) override;
    void DisarmTimer() override;
    bool TimerArmed() const { return m_timer.has_value(); }
    Millis TimerPeriod() const { return m_timerPeriod; }

    // UiDispatcher: the jobs' deadlines.
    using QueuedDispatcher::Cancel;
    void Schedule(Deadline& deadline, unsigned delayMs) override;
    void Cancel(Deadline& deadline) override;
    // Deadlines scheduled and not yet expired or cancelled.
    std::size_t PendingDeadlines() const { return m_deadlines.size(); }

private:
    using Key = std::pair<Millis, std::uint64_t>;
    Key Enqueue(Millis at, std::function<void()> action);
    void ScheduleTick(Millis at);
    // Runs the earliest event due by Now(); false when none is.
    bool RunDueEvent();

    LoopClock& m_clock;
    // Waited on with the call queue's lock.
    std::condition_variable m_wake;
    std::function<bool()> m_hasWork;

    // Loop thread only.
    std::uint64_t m_seq = 0;
    std::map<Key, std::function<void()>> m_events;
    std::function<void()> m_tick;
    std::optional<Key> m_timer; // the pending tick while the timer is armed
    Millis m_timerPeriod = 0;
    std::map<Deadline*, Key> m_deadlines;
    std::vector<std::pair<Millis, Millis>> m_waits;
};

} // namespace pemblor
