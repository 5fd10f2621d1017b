#include "ui/devicelist/ToolkitDispatcher.h"

#include "toolkit/IToolkit.h"
#include "toolkit/IWindow.h"

#include <mutex>

namespace pemblor {
namespace {

constexpr unsigned kTimerId = 1;

// The dispatchers alive. A wake posted to the toolkit may outlive its
// dispatcher (the toolkit cannot take it back), so it runs only when its
// address is still listed; a new dispatcher at the same address merely
// drains its own queue early.
std::mutex g_aliveLock;
ToolkitDispatcher* g_alive = nullptr;

} // namespace

ToolkitDispatcher::ToolkitDispatcher(IToolkit& toolkit) : m_toolkit(toolkit)
{
    std::lock_guard lock(g_aliveLock);
    m_nextAlive = g_alive;
    g_alive = this;
}

ToolkitDispatcher::~ToolkitDispatcher()
{
    std::lock_guard lock(g_aliveLock);
    for (ToolkitDispatcher** link = &g_alive; *link; link = &(*link)->m_nextAlive) {
        if (*link == this) {
            *link = m_nextAlive;
            break;
        }
    }
}

bool ToolkitDispatcher::Invoke(FunctionRef<void()> call)
{
    bool ran = false;
    auto guarded = [&] {
        if (m_window) {
            call();
            ran = true;
        }
    };
    return m_toolkit.InvokeOnUiThread(guarded) && ran;
}

void ToolkitDispatcher::Post(PostedCall& call)
{
    if (m_queue.Push(call) && !m_wakePending.exchange(true))
        m_toolkit.PostToUiThread([this] { Wake(this); });
}

void ToolkitDispatcher::Cancel(PostedCall& call)
{
    m_queue.Remove(call);
}

void ToolkitDispatcher::Wake(ToolkitDispatcher* dispatcher)
{
    {
        std::lock_guard lock(g_aliveLock);
        ToolkitDispatcher* alive = g_alive;
        while (alive && alive != dispatcher)
            alive = alive->m_nextAlive;
        if (!alive)
            return;
    }
    // Dispatchers are destroyed on this thread, so it stays alive from here.
    dispatcher->Drain();
}

void ToolkitDispatcher::Drain()
{
    m_wakePending = false;
    while (PostedCall* call = m_queue.Pop()) {
        if (m_window)
            call->Run();
    }
}

void ToolkitDispatcher::ArmTimer(unsigned periodMs)
{
    if (m_window)
        m_nTimerId = m_toolkit.SetTimer(*m_window, kTimerId, periodMs);
}

void ToolkitDispatcher::DisarmTimer()
{
    if (m_window)
        m_toolkit.KillTimer(*m_window, m_nTimerId);
}

void ToolkitDispatcher::Schedule(Deadline& deadline, unsigned delayMs)
{
    Cancel(deadline);
    if (!m_window)
        return;
    if (m_nextDeadlineTimer < FirstDeadlineTimer)
        m_nextDeadlineTimer = FirstDeadlineTimer;
    const unsigned id = m_nextDeadlineTimer++;
    m_deadlines[m_toolkit.SetTimer(*m_window, id, delayMs)] = &deadline;
}

void ToolkitDispatcher::Cancel(Deadline& deadline)
{
    for (auto it = m_deadlines.begin(); it != m_deadlines.end(); ++it) {
        if (it->second != &deadline)
            continue;
        if (m_window)
            m_toolkit.KillTimer(*m_window, it->first);
        m_deadlines.erase(it);
        return;
    }
}

bool ToolkitDispatcher::OnDeadlineTimer(unsigned id)
{
    const auto it = m_deadlines.find(id);
    if (it == m_deadlines.end())
        return id >= FirstDeadlineTimer;
    Deadline* deadline = it->second;
    if (m_window)
        m_toolkit.KillTimer(*m_window, id);
    m_deadlines.erase(it);
    deadline->Expired();
    return true;
}

void ToolkitDispatcher::WaitServing(unsigned ms)
{
    m_toolkit.WaitOnUiThread(ms);
}

} // namespace pemblor
