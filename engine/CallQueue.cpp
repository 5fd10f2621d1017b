#include "engine/CallQueue.h"

namespace pemblor {

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
    if (m_stopped || call.m_queued)
        return;
    call.m_queued = true;
    call.m_next = nullptr;
    (m_lastPosted ? m_lastPosted->m_next : m_posted) = &call;
    m_lastPosted = &call;
    WakeLocked();
}

void CallQueue::Cancel(PostedCall& call)
{
    std::lock_guard lock(m_mutex);
    if (!call.m_queued)
        return;
    PostedCall* previous = nullptr;
    PostedCall* at = m_posted;
    for (; at && at != &call; at = at->m_next)
        previous = at;
    if (!at)
        return;
    (previous ? previous->m_next : m_posted) = call.m_next;
    if (m_lastPosted == &call)
        m_lastPosted = previous;
    call.m_queued = false;
    call.m_next = nullptr;
}

PostedCall* CallQueue::PopPosted()
{
    std::lock_guard lock(m_mutex);
    PostedCall* call = m_posted;
    if (!call)
        return nullptr;
    m_posted = call->m_next;
    if (!m_posted)
        m_lastPosted = nullptr;
    call->m_queued = false;
    call->m_next = nullptr;
    return call;
}

void CallQueue::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        // Callers of queued invocations must not wait for a thread that will
        // not serve them again.
        for (Invocation* waiting = m_invocations; waiting; waiting = waiting->next)
            waiting->done = true;
        m_invocations = m_lastInvocation = nullptr;
        m_invokeDone.notify_all();
    }
    while (PopPosted()) {
    }
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
    while (PostedCall* call = PopPosted()) {
        call->Run();
        served = true;
    }
    return served;
}

bool QueuedDispatcher::Invoke(FunctionRef<void()> call)
{
    if (OnUiThread()) {
        call();
        return true;
    }
    return m_calls.Invoke(call);
}

} // namespace pemblor
