#pragma once
#include "engine/ConversationState.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace pemblor::bench {

// First and last reply the receive thread dispatched while a discovery was
// running, and how many it dispatched in and out of one. OnReply runs on the
// receive thread (the conversation's reply observer, before the dispatch);
// the readers run on any thread.
class ReplyClock final {
public:
    using Clock = std::chrono::steady_clock;

    // The state the next dispatch will read; set before the first Discover.
    void Watch(const std::atomic<int>& state) { m_pState = &state; }

    void OnReply() noexcept
    {
        const std::atomic<int>* state = m_pState.load();
        if (state && state->load() != Discovering) {
            m_nOther.fetch_add(1);
            return;
        }
        const std::int64_t now = Clock::now().time_since_epoch().count();
        std::int64_t unset = 0;
        m_nFirst.compare_exchange_strong(unset, now);
        m_nLast.store(now);
        m_nDiscovery.fetch_add(1);
    }

    // Zero time points: no discovery reply yet.
    Clock::time_point First() const { return At(m_nFirst.load()); }
    Clock::time_point Last() const { return At(m_nLast.load()); }
    long DiscoveryReplies() const { return m_nDiscovery.load(); }
    long OtherReplies() const { return m_nOther.load(); }

private:
    static Clock::time_point At(std::int64_t ticks) { return Clock::time_point(Clock::duration(ticks)); }

    std::atomic<const std::atomic<int>*> m_pState{nullptr};
    std::atomic<std::int64_t> m_nFirst{0};
    std::atomic<std::int64_t> m_nLast{0};
    std::atomic<long> m_nDiscovery{0};
    std::atomic<long> m_nOther{0};
};

} // namespace pemblor::bench
