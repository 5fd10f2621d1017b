#include "ctl/LoopDispatcher.h"

namespace pemblor {

LoopDispatcher::LoopDispatcher(EventLoop& loop, std::function<void()> onTick)
    : m_loop(loop)
    , m_onTick(std::move(onTick))
{
    m_wake.owner = this;
    m_wake.run = &LoopDispatcher::Drain;
}

LoopDispatcher::~LoopDispatcher()
{
    for (const auto& [deadline, alarm] : m_deadlines)
        m_loop.RemoveAlarm(alarm);
    m_loop.Withdraw(m_wake);
}

bool LoopDispatcher::Invoke(FunctionRef<void()> call)
{
    if (m_loop.OnLoopThread()) {
        call();
        return true;
    }
    return m_loop.Invoke(call);
}

void LoopDispatcher::Post(PostedCall& call)
{
    if (m_queue.Push(call) && !m_wakePending.exchange(true))
        m_loop.Post(m_wake);
}

void LoopDispatcher::Cancel(PostedCall& call)
{
    m_queue.Remove(call);
}

void LoopDispatcher::Drain(EventLoop::Task& task)
{
    LoopDispatcher& self = *static_cast<WakeTask&>(task).owner;
    // Cleared first: a call posted while the queue drains wakes the loop again.
    self.m_wakePending = false;
    while (PostedCall* call = self.m_queue.Pop())
        call->Run();
}

void LoopDispatcher::ArmTimer(unsigned periodMs)
{
    m_loop.ArmTimer(periodMs, m_onTick);
}

void LoopDispatcher::DisarmTimer()
{
    m_loop.DisarmTimer();
}

void LoopDispatcher::WaitServing(unsigned ms)
{
    m_loop.Wait(ms);
}

} // namespace pemblor

namespace pemblor {

void LoopDispatcher::Schedule(Deadline& deadline, unsigned delayMs)
{
    Cancel(deadline);
    m_deadlines[&deadline] = m_loop.AddAlarm(m_loop.Now() + delayMs, [this, pointer = &deadline] {
        m_deadlines.erase(pointer);
        pointer->Expired();
    });
}

void LoopDispatcher::Cancel(Deadline& deadline)
{
    const auto it = m_deadlines.find(&deadline);
    if (it == m_deadlines.end())
        return;
    m_loop.RemoveAlarm(it->second);
    m_deadlines.erase(it);
}

} // namespace pemblor
