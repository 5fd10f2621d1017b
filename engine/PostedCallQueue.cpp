#include "engine/PostedCallQueue.h"

namespace pemblor {

bool PostedCallQueue::Push(PostedCall& call)
{
    std::lock_guard lock(m_mutex);
    if (call.m_queued)
        return false;
    call.m_queued = true;
    call.m_next = nullptr;
    if (m_tail)
        m_tail->m_next = &call;
    else
        m_head = &call;
    m_tail = &call;
    return true;
}

void PostedCallQueue::Remove(PostedCall& call)
{
    std::lock_guard lock(m_mutex);
    if (!call.m_queued)
        return;
    PostedCall* previous = nullptr;
    for (PostedCall* at = m_head; at; previous = at, at = at->m_next) {
        if (at != &call)
            continue;
        (previous ? previous->m_next : m_head) = at->m_next;
        if (m_tail == at)
            m_tail = previous;
        break;
    }
    call.m_queued = false;
    call.m_next = nullptr;
}

PostedCall* PostedCallQueue::Pop()
{
    std::lock_guard lock(m_mutex);
    PostedCall* call = m_head;
    if (!call)
        return nullptr;
    m_head = call->m_next;
    if (!m_head)
        m_tail = nullptr;
    call->m_queued = false;
    call->m_next = nullptr;
    return call;
}

bool PostedCallQueue::Empty() const
{
    std::lock_guard lock(m_mutex);
    return m_head == nullptr;
}

} // namespace pemblor
