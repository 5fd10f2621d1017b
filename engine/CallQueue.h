#pragma once
#include "engine/FunctionRef.h"
#include "engine/PostedCallQueue.h"
#include "engine/UiDispatcher.h"

#include <condition_variable>
#include <functional>
#include <mutex>

namespace pemblor {

// The calls that other threads hand to a dispatcher's thread: invocations,
// whose callers wait for them (each record on its caller's stack), and
// posted calls, which nobody waits for. Neither allocates. Both dispatchers
// (the engine's event loop and the window's on Qt's loop) keep one and serve
// it from their own loop.
//
// Threads: Invoke, Post, Cancel and Stop from any thread (Invoke never from
// the serving thread: the dispatcher runs such a call itself); Serve on the
// serving thread only.
class CallQueue final {
public:
    // `wake` tells the serving thread that work is queued; it runs with the
    // queue's lock held, once for all the work queued until the next Serve,
    // and must not call back into the queue.
    explicit CallQueue(std::function<void()> wake);
    ~CallQueue();
    CallQueue(const CallQueue&) = delete;
    CallQueue& operator=(const CallQueue&) = delete;

    // Queues `call` and waits until the serving thread has run it: true; or
    // until the queue stops first: false, not run.
    bool Invoke(FunctionRef<void()> call);
    // Queues `call` unless it is queued already or the queue has stopped.
    void Post(PostedCall& call);
    void Cancel(PostedCall& call);
    // From now on nothing is queued; waiting callers return false at once
    // and the posted calls still queued never run. Idempotent.
    void Stop();

    // Runs the invocations queued now, oldest first, then the posted calls;
    // true when any ran.
    bool Serve();

    // For a loop that waits on the queue's own lock for work to arrive.
    std::mutex& Mutex() { return m_mutex; }
    // With Mutex() held.
    bool HasWorkLocked() const { return m_invocations != nullptr || !m_posted.Empty(); }

private:
    struct Invocation {
        FunctionRef<void()> call;
        Invocation* next = nullptr;
        bool done = false;
        bool ran = false;
    };
    void WakeLocked();

    std::function<void()> m_wake;
    std::mutex m_mutex;
    std::condition_variable m_invokeDone;
    Invocation* m_invocations = nullptr; // guarded by m_mutex; oldest first
    Invocation* m_lastInvocation = nullptr;
    bool m_wakePending = false; // guarded by m_mutex
    bool m_stopped = false;     // guarded by m_mutex
    PostedCallQueue m_posted;
};

} // namespace pemblor
