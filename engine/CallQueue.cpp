#include "engine/CallQueue.h"

#include <utility>

namespace pemblor {

CallQueue::CallQueue(std::function<void()> wake) : m_wake(std::move(wake)) {}

CallQueue::~CallQueue()
{
    Stop();
}

void CallQueue::WakeLocked()
{
    if (m_wakePending)
        return;
    m_wakePending = true;
    if (m_wake)
        m_wake();
}

bool CallQueue::Invoke(FunctionRef<void()> call)
{
    Invocation record{call};
    std::unique_lock lock(m_mutex);
    if (m_stopped)
        return false;
    (m_lastInvocation ? m_lastInvocation->next : m_invocations) = &record;
    m_lastInvocation = &record;
    WakeLocked();
    m_invokeDone.wait(lock, [&record] { return record.done; });
    return record.ran;
}

void CallQueue::Post(PostedCall& call)
{
    std::lock_guard lock(m_mutex);
    if (!m_stopped && m_posted.Push(call))
        WakeLocked();
}

void CallQueue::Cancel(PostedCall& call)
{
    m_posted.Remove(call);
}

void CallQueue::Stop()
{
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    // Callers of queued invocations must not wait for a thread that will not
    // serve them again.
    for (Invocation* waiting = m_invocations; waiting; waiting = waiting->next)
        waiting->done = true;
    m_invocations = m_lastInvocation = nullptr;
    while (m_posted.Pop()) {
    }
    m_invokeDone.notify_all();
}

bool CallQueue::Serve()
{
    Invocation* invocation = nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_wakePending = false;
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

} // namespace pemblor
