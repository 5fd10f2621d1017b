#pragma once
#include "engine/EventLoop.h"

#include <atomic>
#include <functional>

namespace pemblor {

// Virtual time for tests. It stands still while other threads have work on
// their way (the quiescence probe, normally FakeNetwork::Quiescent, says they
// are not quiet) and jumps to the loop's next deadline once they are quiet
// and nothing is queued for the loop. Even a wait for a deadline already
// reached first waits for quiet, so the loop settles before it returns.
class VirtualClock final : public LoopClock {
public:
    VirtualClock() = default;
    explicit VirtualClock(std::function<bool()> quiet) : m_quiet(std::move(quiet)) {}

    // Before the loop first waits.
    void SetQuiescenceProbe(std::function<bool()> quiet) { m_quiet = std::move(quiet); }

    Millis Now() const override { return m_now.load(); }
    void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Millis deadline,
                   const std::function<bool()>& hasWork) override;
    void Settle(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                const std::function<bool()>& hasWork) override;

    // True once other threads failed to become quiet within a long real-time
    // bound (time then moved on regardless): a test that never settles.
    bool Stalled() const { return m_stalled.load(); }

private:
    std::function<bool()> m_quiet;
    std::atomic<Millis> m_now{0};
    std::atomic<bool> m_stalled{false};
};

} // namespace pemblor
