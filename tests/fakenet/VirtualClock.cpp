#include "tests/fakenet/VirtualClock.h"

#include <chrono>
#include <cstdio>

namespace pemblor {

namespace {

// How long virtual time waits for other threads to become quiet before it
// reports a stall and moves on.
constexpr auto kSettleBound = std::chrono::seconds(20);

} // namespace

void VirtualClock::Settle(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                          const std::function<bool()>& hasWork)
{
    const auto giveUp = std::chrono::steady_clock::now() + kSettleBound;
    while (!hasWork()) {
        if (!m_quiet || m_quiet())
            return;
        if (std::chrono::steady_clock::now() > giveUp) {
            std::fprintf(stderr, "VirtualClock: other threads never became quiet\n");
            m_stalled = true;
            return;
        }
        wake.wait_for(lock, std::chrono::microseconds(200));
    }
}

void VirtualClock::WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                             const std::function<bool()>& hasWork)
{
    Settle(lock, wake, hasWork);
    if (!hasWork() && m_now.load() < deadline)
        m_now = deadline;
}

} // namespace pemblor
