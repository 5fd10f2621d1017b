#include "engine/EventLoop.h"

#include <algorithm>
#include <chrono>

namespace pemblor {

SteadyClock::Millis SteadyClock::Now() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SteadyClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                            const std::function<bool()>& hasWork)
{
    const auto until = std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadline));
    wake.wait_until(lock, until, hasWork);
}

EventLoop::EventLoop(LoopClock& clock)
    : QueuedDispatcher([this] { m_wake.notify_all(); })
    , m_clock(clock)
    , m_hasWork([this] { return m_calls.HasWorkLocked(); })
{
}

EventLoop::Key EventLoop::Enqueue(Millis at, std::function<void()> action)
{
    const Key key{at, ++m_seq};
    m_events.emplace(key, std::move(action));
    return key;
}

void EventLoop::ArmTimer(unsigned periodMs)
{
    DisarmTimer();
    m_timerPeriod = periodMs;
    ScheduleTick(Now() + periodMs);
}

void EventLoop::DisarmTimer()
{
    if (m_timer)
        m_events.erase(*m_timer);
    m_timer.reset();
}

// The next tick counts from the time this one was due, so a late tick does
// not shift the ones after it.
void EventLoop::ScheduleTick(Millis at)
{
    m_timer = Enqueue(at, [this, at] {
        ScheduleTick(at + std::max<Millis>(m_timerPeriod, 1));
        if (m_tick)
            m_tick();
    });
}

void EventLoop::Schedule(Deadline& deadline, unsigned delayMs)
{
    Cancel(deadline);
    m_deadlines[&deadline] = Enqueue(Now() + delayMs, [this, pointer = &deadline] {
        m_deadlines.erase(pointer);
        pointer->Expired();
    });
}

void EventLoop::Cancel(Deadline& deadline)
{
    const auto it = m_deadlines.find(&deadline);
    if (it == m_deadlines.end())
        return;
    m_events.erase(it->second);
    m_deadlines.erase(it);
}

bool EventLoop::RunDueEvent()
{
    const auto it = m_events.begin();
    if (it == m_events.end() || it->first.first > Now())
        return false;
    std::function<void()> action = std::move(it->second);
    m_events.erase(it);
    action();
    return true;
}

bool EventLoop::RunUntil(Millis deadline, const std::function<bool()>& done)
{
    for (;;) {
        if (done())
            return true;
        if (m_calls.Serve())
            continue;
        {
            std::unique_lock lock(m_calls.Mutex());
            m_clock.Settle(lock, m_wake, m_hasWork);
            if (m_calls.HasWorkLocked())
                continue;
        }
        if (RunDueEvent())
            continue;
        const Millis until = m_events.empty() ? deadline : std::min(deadline, m_events.begin()->first.first);
        {
            std::unique_lock lock(m_calls.Mutex());
            m_clock.WaitUntil(lock, m_wake, until, m_hasWork);
            if (m_calls.HasWorkLocked())
                continue;
        }
        const Millis now = Now();
        if (now >= deadline && (m_events.empty() || m_events.begin()->first.first > now))
            return done();
    }
}

void EventLoop::WaitServing(unsigned ms)
{
    m_waits.emplace_back(Now(), static_cast<Millis>(ms));
    Advance(ms);
}

} // namespace pemblor
