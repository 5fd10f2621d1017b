#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

namespace pemblor::bench {

// The first and the last of the steady-clock instants noted (as ticks). One
// thread notes; any thread reads. Zero time points: nothing noted yet.
class TickSpan final {
public:
    using Clock = std::chrono::steady_clock;

    void Note(std::int64_t ticks) noexcept
    {
        std::int64_t unset = 0;
        m_nFirst.compare_exchange_strong(unset, ticks);
        if (ticks > m_nLast.load())
            m_nLast.store(ticks);
    }

    Clock::time_point First() const { return At(m_nFirst.load()); }
    Clock::time_point Last() const { return At(m_nLast.load()); }

private:
    static Clock::time_point At(std::int64_t ticks) { return Clock::time_point(Clock::duration(ticks)); }

    std::atomic<std::int64_t> m_nFirst{0};
    std::atomic<std::int64_t> m_nLast{0};
};

} // namespace pemblor::bench
