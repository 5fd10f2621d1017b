#include "engine/EventLoop.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace pemblor {

namespace {

// How long virtual time waits for other threads to become quiet before it
// reports a stall and moves on.
constexpr auto kSettleBound = std::chrono::seconds(20);

} // namespace

// ---- Clocks ----

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

void VirtualClock::Settle(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                          const std::function<bool()>& hasWork)
{
    const auto giveUp = std::chrono::steady_clock::now() + kSettleBound;
    while (!hasWork()) {
        if (!m_quiet || m_quiet())
            return;
        if (std::chrono::steady_clock::now() > giveUp) {
            std::fprintf(stderr, "VirtualClock: other threads never became quiet\n");
            m_stalled = true;
            return;
        }
        wake.wait_for(lock, std::chrono::microseconds(200));
    }
}

void VirtualClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                             const std::function<bool()>& hasWork)
{
    Settle(lock, wake, hasWork);
    if (!hasWork() && m_now.load() < deadline)
        m_now = deadline;
}

// ---- EventLoop ----

EventLoop::EventLoop(LoopClock& clock)
    : m_clock(clock)
    , m_hasWork([this] { return HasWorkLocked(); })
{
}

EventLoop::~EventLoop()
{
    Stop();
}

bool EventLoop::Invoke(FunctionRef<void()> call)
{
    if (OnLoopThread()) {
        call();
        return true;
    }
    Invocation record{call};
    std::unique_lock lock(m_mutex);
    if (m_stopped)
        return false;
    (m_lastInvocation ? m_lastInvocation->next : m_invocations) = &record;
    m_lastInvocation = &record;
    m_wake.notify_all();
    m_invokeDone.wait(lock, [&record] { return record.done; });
    return record.ran;
}

void EventLoop::Post(PostedCall& call)
{
    std::lock_guard lock(m_mutex);
    if (m_stopped)
        return;
    if (m_posted.Push(call))
        m_wake.notify_all();
}

void EventLoop::Cancel(PostedCall& call)
{
    m_posted.Remove(call);
}

void EventLoop::Stop()
{
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    // Callers of queued invocations must not wait for a loop that will not
    // serve them again.
    for (Invocation* waiting = m_invocations; waiting; waiting = waiting->next)
        waiting->done = true;
    m_invocations = m_lastInvocation = nullptr;
    while (m_posted.Pop()) {
    }
    m_invokeDone.notify_all();
}

bool EventLoop::ServeCalls()
{
    Invocation* invocation = nullptr;
    {
        std::lock_guard lock(m_mutex);
        invocation = m_invocations;
        m_invocations = m_lastInvocation = nullptr;
    }
    bool served = invocation != nullptr;
    while (invocation) {
        // The caller may return, and its record go, once it is marked done.
        Invocation* next = invocation->next;
        invocation->call();
        std::lock_guard lock(m_mutex);
        invocation->ran = invocation->done = true;
        m_invokeDone.notify_all();
        invocation = next;
    }
    while (PostedCall* call = m_posted.Pop()) {
        call->Run();
        served = true;
    }
    return served;
}

EventLoop::Key EventLoop::Enqueue(Millis at, std::function<void()> action)
{
    const Key key{at, ++m_seq};
    m_events.emplace(key, std::move(action));
    return key;
}

void EventLoop::After(Millis delay, std::function<void()> action)
{
    Enqueue(Now() + delay, std::move(action));
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
        if (ServeCalls())
            continue;
        {
            std::unique_lock lock(m_mutex);
            m_clock.Settle(lock, m_wake, m_hasWork);
            if (HasWorkLocked())
                continue;
        }
        if (RunDueEvent())
            continue;
        const Millis until = m_events.empty() ? deadline : std::min(deadline, m_events.begin()->first.first);
        {
            std::unique_lock lock(m_mutex);
            m_clock.WaitUntil(lock, m_wake, until, m_hasWork);
            if (HasWorkLocked())
                continue;
        }
        const Millis now = Now();
        if (now >= deadline && (m_events.empty() || m_events.begin()->first.first > now))
            return done();
    }
}

void EventLoop::Advance(Millis ms)
{
    RunUntil(Now() + ms, [] { return false; });
}

void EventLoop::WaitServing(unsigned ms)
{
    m_waits.emplace_back(Now(), static_cast<Millis>(ms));
    Advance(ms);
}

std::optional<EventLoop::Millis> EventLoop::NextEventTime() const
{
    if (m_events.empty())
        return std::nullopt;
    return m_events.begin()->first.first;
}

} // namespace pemblor
