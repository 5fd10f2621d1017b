#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace pemblor {

// The event loop's time: what it reads as now, and how it waits for work or
// for a deadline.
class LoopClock {
public:
    using Millis = std::int64_t;
    virtual ~LoopClock() = default;

    virtual Millis Now() const = 0;
    // Called with `lock` held; returns with it held once `hasWork()` is true,
    // or once Now() has reached `deadline`. `hasWork` is read under `lock`.
    virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                           const std::function<bool()>& hasWork) = 0;
};

// Real time from the steady clock.
class SteadyLoopClock final : public LoopClock {
public:
    Millis Now() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                   const std::function<bool()>& hasWork) override
    {
        const auto until = std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadline));
        wake.wait_until(lock, until, hasWork);
    }
};

} // namespace pemblor
