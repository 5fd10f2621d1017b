#pragma once
#include "bench/TickSpan.h"
#include "engine/Discovery.h"

#include <atomic>
#include <chrono>

namespace pemblor::bench {

// First and last reply the receive thread dispatched while a discovery was
// running, and how many it dispatched in and out of one. OnReply runs on the
// receive thread (the transport's reply observer, before the dispatch);
// the readers run on any thread.
class ReplyClock final {
public:
    using Clock = TickSpan::Clock;

    // The discovery whose state the next dispatch will read; set before the
    // first Discover.
    void Watch(const Discovery& discovery) { m_pDiscovery = &discovery; }

    void OnReply() noexcept
    {
        const Discovery* discovery = m_pDiscovery.load();
        if (discovery && discovery->State() != Discovering) {
            m_nOther.fetch_add(1);
            return;
        }
        m_span.Note(Clock::now().time_since_epoch().count());
        m_nDiscovery.fetch_add(1);
    }

    // Zero time points: no discovery reply yet.
    Clock::time_point First() const { return m_span.First(); }
    Clock::time_point Last() const { return m_span.Last(); }
    long DiscoveryReplies() const { return m_nDiscovery.load(); }
    long OtherReplies() const { return m_nOther.load(); }

private:
    std::atomic<const Discovery*> m_pDiscovery{nullptr};
    TickSpan m_span;
    std::atomic<long> m_nDiscovery{0};
    std::atomic<long> m_nOther{0};
};

} // namespace pemblor::bench
