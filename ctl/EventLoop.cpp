#include "ctl/EventLoop.h"

#include <algorithm>

namespace pemblor {

EventLoop::EventLoop(LoopClock& clock)
    : m_clock(clock)
    , m_hasWork([this] { return m_head != nullptr; })
{
}

void EventLoop::Enqueue(Task& task)
{
    task.next = nullptr;
    if (m_tail)
        m_tail->next = &task;
    else
        m_head = &task;
    m_tail = &task;
    m_wake.notify_all();
}

void EventLoop::Post(Task& task)
{
    std::lock_guard lock(m_mutex);
    if (!m_stopped)
        Enqueue(task);
}

void EventLoop::Withdraw(Task& task)
{
    std::lock_guard lock(m_mutex);
    Task* previous = nullptr;
    for (Task* item = m_head; item; previous = item, item = item->next) {
        if (item != &task)
            continue;
        (previous ? previous->next : m_head) = item->next;
        if (m_tail == item)
            m_tail = previous;
        return;
    }
}

bool EventLoop::InvokeTask(InvokeBase& task)
{
    std::unique_lock lock(m_mutex);
    if (m_stopped)
        return false;
    Enqueue(task);
    m_invokeDone.wait(lock, [&] { return task.done; });
    return task.ran;
}

void EventLoop::RunTask(Task& task)
{
    task.run(task);
    if (task.waited) {
        auto& call = static_cast<InvokeBase&>(task);
        std::lock_guard lock(m_mutex);
        call.ran = call.done = true;
        m_invokeDone.notify_all();
    }
}

EventLoop::Task* EventLoop::TakeTasks()
{
    std::lock_guard lock(m_mutex);
    Task* head = m_head;
    m_head = m_tail = nullptr;
    return head;
}

void EventLoop::ArmTimer(Millis period, std::function<void()> onTick)
{
    m_period = std::max<Millis>(period, 1);
    m_onTick = std::move(onTick);
    m_nextTick = m_clock.Now() + m_period;
}

void EventLoop::DisarmTimer()
{
    m_nextTick.reset();
}

EventLoop::AlarmId EventLoop::AddAlarm(Millis at, std::function<void()> call)
{
    const AlarmId id = ++m_lastAlarm;
    m_alarms.emplace(std::make_pair(at, id), std::move(call));
    return id;
}

void EventLoop::RemoveAlarm(AlarmId id)
{
    std::erase_if(m_alarms, [id](const auto& alarm) { return alarm.first.second == id; });
}

bool EventLoop::RunUntil(Millis deadline, const std::function<bool()>& done)
{
    for (;;) {
        if (done())
            return true;
        Task* task = TakeTasks();
        while (task) {
            // A task may be posted again while it runs: read its link first.
            Task* next = task->next;
            RunTask(*task);
            task = next;
        }
        if (done())
            return true;
        const Millis now = m_clock.Now();
        if (m_nextTick && now >= *m_nextTick) {
            m_nextTick = *m_nextTick + m_period;
            auto tick = m_onTick; // the handler may re-arm or disarm
            tick();
            continue;
        }
        if (!m_alarms.empty() && now >= m_alarms.begin()->first.first) {
            std::function<void()> call = std::move(m_alarms.begin()->second);
            m_alarms.erase(m_alarms.begin());
            call();
            continue;
        }
        if (now >= deadline)
            return done();
        Millis until = m_nextTick ? std::min(deadline, *m_nextTick) : deadline;
        if (!m_alarms.empty())
            until = std::min(until, m_alarms.begin()->first.first);
        std::unique_lock lock(m_mutex);
        m_clock.WaitUntil(lock, m_wake, until, m_hasWork);
    }
}

void EventLoop::Wait(Millis ms)
{
    RunUntil(m_clock.Now() + ms, [] { return false; });
}

void EventLoop::Stop()
{
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    // Callers of queued invocations must not wait for a loop that will not
    // serve them again; posted tasks are dropped.
    for (Task* task = m_head; task; task = task->next)
        if (task->waited)
            static_cast<InvokeBase*>(task)->done = true;
    m_head = m_tail = nullptr;
    m_invokeDone.notify_all();
}

} // namespace pemblor
