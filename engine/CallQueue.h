#pragma once
#include "engine/FunctionRef.h"
#include "engine/UiDispatcher.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace pemblor {

// The calls that other threads hand to a dispatcher's thread: invocations,
// whose callers wait for them (each record on its caller's stack), and
// posted calls, which nobody waits for (each call its own queue link). Neither
// allocates. Both dispatchers (the engine's event loop and the window's on
// Qt's loop) keep one and serve it from their own loop.
//
// Threads: Invoke, Post, Cancel and Stop from any thread (Invoke never from
// the serving thread: the dispatcher runs such a call itself); Serve on the
// serving thread only.
class CallQueue final {
public:
    // `wake` tells the serving thread that work is queued; it runs with the
    // queue's lock held, once for all the work queued until the next Serve,
    // and must not call back into the queue.
    explicit CallQueue(std::function<void()> wake) : m_wake(std::move(wake)) {}
    ~CallQueue() { Stop(); }
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
    bool HasWorkLocked() const { return m_invocations != nullptr || m_posted != nullptr; }

private:
    struct Invocation {
        FunctionRef<void()> call;
        Invocation* next = nullptr;
        bool done = false;
        bool ran = false;
    };
    void WakeLocked();
    // The oldest posted call, off the queue (so that it can post itself
    // again when it runs); null when none is queued.
    PostedCall* PopPosted();

    std::function<void()> m_wake;
    std::mutex m_mutex;
    std::condition_variable m_invokeDone;
    // Guarded by m_mutex; each queue oldest first.
    Invocation* m_invocations = nullptr;
    Invocation* m_lastInvocation = nullptr;
    PostedCall* m_posted = nullptr;
    PostedCall* m_lastPosted = nullptr;
    bool m_wakePending = false;
    bool m_stopped = false;
};

// A dispatcher whose calls from other threads wait in a CallQueue that its
// own loop serves. The thread that constructs it is its user-interface
// thread; an invocation from that thread runs at once.
class QueuedDispatcher : public UiDispatcher {
public:
    bool Invoke(FunctionRef<void()> call) override;
    void Post(PostedCall& call) override { m_calls.Post(call); }
    void Cancel(PostedCall& call) override { m_calls.Cancel(call); }
    using UiDispatcher::Cancel;
    // Any thread: from now on Invoke returns false and Post drops its call;
    // invocations already waiting are released without running, posted
    // calls still queued never run. A call being carried out is finished.
    // Idempotent.
    void Stop() { m_calls.Stop(); }
    bool OnUiThread() const { return std::this_thread::get_id() == m_thread; }

protected:
    // `wake` as CallQueue's.
    explicit QueuedDispatcher(std::function<void()> wake) : m_calls(std::move(wake)) {}

    CallQueue m_calls;

private:
    const std::thread::id m_thread = std::this_thread::get_id();
};

} // namespace pemblor
