#include "engine/fake/FakeDispatcher.h"

#include <chrono>
#include <cstdio>

namespace pemblor {

struct FakeDispatcher::Call {
    FunctionRef<void()> function;
    bool done = false;
    bool ran = false;
};

FakeDispatcher::FakeDispatcher() : m_uiThread(std::this_thread::get_id())
{
    m_calls.reserve(256);
}

FakeDispatcher::~FakeDispatcher()
{
    Shutdown();
}

bool FakeDispatcher::Invoke(FunctionRef<void()> call)
{
    if (IsUiThread()) {
        call();
        return true;
    }
    Call record{call};
    std::unique_lock lock(m_callMutex);
    if (m_shutdown)
        return false;
    m_calls.push_back(&record);
    m_callCv.notify_all();
    m_callCv.wait(lock, [&] { return record.done; });
    return record.ran;
}

void FakeDispatcher::Post(PostedCall& call)
{
    {
        std::lock_guard lock(m_callMutex);
        if (m_shutdown)
            return;
    }
    m_posted.Push(call);
    std::lock_guard lock(m_callMutex);
    m_callCv.notify_all();
}

void FakeDispatcher::Cancel(PostedCall& call)
{
    m_posted.Remove(call);
}

bool FakeDispatcher::ServeCalls()
{
    std::vector<Call*> calls;
    {
        std::lock_guard lock(m_callMutex);
        calls.swap(m_calls);
        m_calls.reserve(256);
    }
    for (Call* call : calls) {
        call->function();
        std::lock_guard lock(m_callMutex);
        call->ran = true;
        call->done = true;
        m_callCv.notify_all();
    }
    bool posted = false;
    while (PostedCall* call = m_posted.Pop()) {
        call->Run();
        posted = true;
    }
    return !calls.empty() || posted;
}

void FakeDispatcher::Settle()
{
    if (!IsUiThread())
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        const bool served = ServeCalls();
        const bool quiet = !m_probe || m_probe();
        if (!served && quiet) {
            std::lock_guard lock(m_callMutex);
            if (m_calls.empty() && m_posted.Empty())
                return;
            continue;
        }
        if (!served) {
            std::unique_lock lock(m_callMutex);
            m_callCv.wait_for(lock, std::chrono::microseconds(200),
                              [&] { return !m_calls.empty() || !m_posted.Empty(); });
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "FakeDispatcher: other threads never became quiet\n");
            return;
        }
    }
}

void FakeDispatcher::Shutdown()
{
    std::lock_guard lock(m_callMutex);
    m_shutdown = true;
    for (Call* call : m_calls)
        call->done = true;
    m_calls.clear();
    while (m_posted.Pop()) {
    }
    m_callCv.notify_all();
}

void FakeDispatcher::After(Millis delay, std::function<void()> action)
{
    m_events.emplace(std::make_pair(m_now + delay, ++m_seq), std::move(action));
}

void FakeDispatcher::ArmTimer(unsigned periodMs)
{
    m_timerArmed = true;
    m_timerPeriod = periodMs;
    ScheduleTick(++m_timerGeneration, m_now + periodMs);
}

void FakeDispatcher::DisarmTimer()
{
    m_timerArmed = false;
}

void FakeDispatcher::Schedule(Deadline& deadline, unsigned delayMs)
{
    const std::uint64_t scheduling = ++m_seq;
    m_deadlines[&deadline] = scheduling;
    After(delayMs, [this, pointer = &deadline, scheduling] {
        const auto it = m_deadlines.find(pointer);
        if (it == m_deadlines.end() || it->second != scheduling)
            return;
        m_deadlines.erase(it);
        pointer->Expired();
    });
}

void FakeDispatcher::Cancel(Deadline& deadline)
{
    m_deadlines.erase(&deadline);
}

void FakeDispatcher::ScheduleTick(std::uint64_t generation, Millis at)
{
    m_events.emplace(std::make_pair(at, ++m_seq), [this, generation] {
        if (!m_timerArmed || generation != m_timerGeneration)
            return;
        ScheduleTick(generation, m_now + m_timerPeriod);
        if (m_tick)
            m_tick();
    });
}

bool FakeDispatcher::RunNext(Millis limit)
{
    Settle();
    auto it = m_events.begin();
    if (it == m_events.end() || it->first.first > limit)
        return false;
    std::function<void()> run = std::move(it->second);
    if (it->first.first > m_now)
        m_now = it->first.first;
    m_events.erase(it);
    run();
    return true;
}

void FakeDispatcher::Advance(Millis ms)
{
    const Millis until = m_now + ms;
    while (RunNext(until)) {
    }
    Settle();
    if (m_now < until)
        m_now = until;
}

void FakeDispatcher::WaitServing(unsigned ms)
{
    m_waits.push_back(ms);
    Advance(ms);
}

} // namespace pemblor
