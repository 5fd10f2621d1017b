#pragma once
#include "ctl/LoopClock.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace pemblor {

// A small event loop for a front end without a toolkit. The thread that runs
// it (RunUntil) is the front end's thread; other threads reach it through
// Post and Invoke. It has one periodic timer.
class EventLoop final {
public:
    using Millis = LoopClock::Millis;

    // A unit of work posted without allocating: the poster owns the node and
    // must not post it again before it has run.
    struct Task {
        void (*run)(Task&) = nullptr;
        Task* next = nullptr;
        bool waited = false; // an Invoke: its caller waits for it
    };

    explicit EventLoop(LoopClock& clock);
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    LoopClock& Clock() { return m_clock; }
    // The loop's thread is the one that constructed it.
    bool OnLoopThread() const { return std::this_thread::get_id() == m_thread; }
    Millis Now() const { return m_clock.Now(); }

    // Any thread: `task` runs on the loop's thread in a later RunUntil.
    // Ignored once the loop has been stopped.
    void Post(Task& task);

    // Any thread: takes `task` out of the queue if it is still there (its
    // owner is going away).
    void Withdraw(Task& task);

    // Another thread: the loop's thread runs `call` while the caller waits.
    // False, without running it, once the loop has been stopped.
    template <typename F>
    bool Invoke(F&& call)
    {
        CallTask<std::remove_reference_t<F>> task(call);
        return InvokeTask(task);
    }

    // Loop thread: the timer calls `onTick` every `period` ms until disarmed;
    // arming it again replaces the period and starts counting anew.
    void ArmTimer(Millis period, std::function<void()> onTick);
    void DisarmTimer();

    // Loop thread: one-shot alarms beside the timer, any number at once.
    // `call` runs once the clock has reached `at`, unless removed first.
    using AlarmId = std::uint64_t;
    AlarmId AddAlarm(Millis at, std::function<void()> call);
    void RemoveAlarm(AlarmId id);

    // Loop thread: serves posted work, invocations and the timer until
    // `done()` holds (checked after every piece of work) or the clock reaches
    // `deadline`. Returns done().
    bool RunUntil(Millis deadline, const std::function<bool()>& done);
    // Loop thread: serves for `ms` of the clock's time.
    void Wait(Millis ms);

    // Any thread: from now on Invoke returns false and Post drops its task;
    // invocations already waiting are released without running.
    void Stop();

private:
    struct InvokeBase : Task {
        bool done = false;
        bool ran = false;
    };
    template <typename F>
    struct CallTask final : InvokeBase {
        explicit CallTask(F& f) : call(f)
        {
            run = &CallTask::Run;
            waited = true;
        }
        static void Run(Task& task) { static_cast<CallTask&>(task).call(); }
        F& call;
    };
    bool InvokeTask(InvokeBase& task);
    void Enqueue(Task& task);
    // Takes the queued tasks in the order they were posted.
    Task* TakeTasks();
    void RunTask(Task& task);

    LoopClock& m_clock;
    const std::thread::id m_thread = std::this_thread::get_id();
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_invokeDone;
    Task* m_head = nullptr; // guarded by m_mutex
    Task* m_tail = nullptr;
    bool m_stopped = false;
    std::function<bool()> m_hasWork;

    // Loop thread only.
    std::optional<Millis> m_nextTick;
    Millis m_period = 0;
    std::function<void()> m_onTick;
    std::map<std::pair<Millis, AlarmId>, std::function<void()>> m_alarms;
    AlarmId m_lastAlarm = 0;
};

} // namespace pemblor
