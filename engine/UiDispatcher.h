#pragma once
#include "engine/FunctionRef.h"

#include <functional>

namespace pemblor {

// A call that the user-interface thread runs later. The object is its own
// queue link, so posting it allocates nothing; its owner keeps it alive
// until it has run or has been cancelled.
class PostedCall {
public:
    PostedCall() = default;
    PostedCall(const PostedCall&) = delete;
    PostedCall& operator=(const PostedCall&) = delete;

    virtual void Run() = 0;

protected:
    ~PostedCall() = default;

private:
    friend class CallQueue;
    PostedCall* m_next = nullptr;
    bool m_queued = false; // guarded by the queue that holds the call
};

// A deadline of one job: Expired runs on the user-interface thread once the
// delay it was scheduled with has passed, unless it was cancelled first.
// Any number of deadlines may be pending at once, each with its own time.
// The owner cancels a pending deadline before it goes away. A deadline is
// known by its address and holds no state of its own.
class Deadline {
public:
    virtual void Expired() = 0;

protected:
    ~Deadline() = default;
};

// How the engine reaches the user-interface thread: the one thread on
// which a front end runs its handlers and which owns the discovery's
// timer. Two implementations: the engine's EventLoop (pemblorctl, and every
// test on its virtual clock) and the window's dispatcher on Qt's own loop.
// The front end passes it to its session.
//
// Threads: Invoke and Post may be called from any thread; SetTickHandler,
// ArmTimer, DisarmTimer, Schedule, Cancel and WaitServing only on the
// user-interface thread.
class UiDispatcher {
public:
    virtual ~UiDispatcher() = default;

    // Runs `call` on the user-interface thread while the caller waits; from
    // that thread itself it runs at once. False, without running it, once the
    // front end has stopped the dispatcher (it is ending). Invoking allocates
    // nothing: the caller's record waits in the queue.
    virtual bool Invoke(FunctionRef<void()> call) = 0;
    // Queues `call` to run later on the user-interface thread, without
    // allocating; the calls posted until the thread serves them wake it
    // once. A call posted again before it has run runs once. Calls
    // still queued when the front end stops serving never run.
    virtual void Post(PostedCall& call) = 0;
    // Takes `call` off the queue if it is still there.
    virtual void Cancel(PostedCall& call) = 0;

    // What each tick of the discovery's timer calls (the front end passes
    // Session::OnTimer); null for nothing.
    virtual void SetTickHandler(std::function<void()> tick) = 0;
    // The conversation's single periodic timer. Arming replaces an armed
    // timer; it ticks on the user-interface thread until it is disarmed.
    virtual void ArmTimer(unsigned periodMs) = 0;
    virtual void DisarmTimer() = 0;

    // Per-job deadlines, beside the discovery's timer. Scheduling a
    // pending deadline again replaces its time; a deadline runs at most once
    // per scheduling, and Expired may schedule it again.
    virtual void Schedule(Deadline& deadline, unsigned delayMs) = 0;
    virtual void Cancel(Deadline& deadline) = 0;

    // Waits up to `ms`, running invoked and posted calls (and timer ticks)
    // meanwhile but no user input.
    virtual void WaitServing(unsigned ms) = 0;
};

} // namespace pemblor
