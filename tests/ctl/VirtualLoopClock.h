#pragma once
#include "ctl/LoopClock.h"

#include <atomic>
#include <functional>

namespace pemblor {

// Virtual time for the event loop: it stands still while other threads have
// work (the probe says they are not quiet) and jumps to the loop's next
// deadline once they are quiet and nothing is queued for the loop.
class VirtualLoopClock final : public LoopClock {
public:
    explicit VirtualLoopClock(std::function<bool()> quiet) : m_quiet(std::move(quiet)) {}

    Millis Now() const override { return m_now.load(); }
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                   const std::function<bool()>& hasWork) override
    {
        while (!hasWork() && m_now.load() < deadline) {
            if (m_quiet()) {
                m_now = deadline;
                return;
            }
            wake.wait_for(lock, std::chrono::microseconds(200));
        }
    }

private:
    std::function<bool()> m_quiet;
    std::atomic<Millis> m_now{0};
};

} // namespace pemblor
