#pragma once
#include "engine/PostedCallQueue.h"
#include "engine/UiDispatcher.h"

#include <atomic>
#include <map>

namespace pemblor {

class IToolkit;
class IWindow;

// The conversation's way to the user-interface thread over the toolkit: calls
// through the toolkit's cross-thread calls, the timer as timer 1 of the
// owning window (whose OnTimer(1) the window passes on to
// Conversation::OnTimer), waits through WaitOnUiThread.
//
// Posted calls wait in an intrusive queue; the toolkit is woken by one post
// of a call holding only this object's address, and only when no wake is on
// its way already, so posting allocates nothing. Calls run, and timers arm,
// only while a window is set.
class ToolkitDispatcher final : public UiDispatcher {
public:
    explicit ToolkitDispatcher(IToolkit& toolkit);
    ~ToolkitDispatcher() override;
    ToolkitDispatcher(const ToolkitDispatcher&) = delete;
    ToolkitDispatcher& operator=(const ToolkitDispatcher&) = delete;

    // User-interface thread: the window that owns the timer; null once it
    // has gone (calls on their way then do nothing).
    void SetWindow(IWindow* window) { m_window = window; }

    bool Invoke(FunctionRef<void()> call) override;
    void Post(PostedCall& call) override;
    void Cancel(PostedCall& call) override;
    void ArmTimer(unsigned periodMs) override;
    void DisarmTimer() override;
    void WaitServing(unsigned ms) override;
    // Each deadline is a one-shot timer of its own on the window, with an
    // identifier from FirstDeadlineTimer up; the window passes its ticks to
    // OnDeadlineTimer.
    void Schedule(Deadline& deadline, unsigned delayMs) override;
    void Cancel(Deadline& deadline) override;

    static constexpr unsigned FirstDeadlineTimer = 1000;
    // User-interface thread: a tick of window timer `id`; true when it was a
    // deadline's (which then ran).
    bool OnDeadlineTimer(unsigned id);

private:
    static void Wake(ToolkitDispatcher* dispatcher);
    void Drain();

    IToolkit& m_toolkit;
    IWindow* m_window = nullptr; // user-interface thread only
    // The identifier the toolkit returned for the window's timer 1.
    unsigned m_nTimerId = 0;
    PostedCallQueue m_queue;
    std::map<unsigned, Deadline*> m_deadlines; // by window timer
    unsigned m_nextDeadlineTimer = FirstDeadlineTimer;
    std::atomic<bool> m_wakePending{false};
    // Link in the list of dispatchers alive (see Wake).
    ToolkitDispatcher* m_nextAlive = nullptr;
};

} // namespace pemblor
