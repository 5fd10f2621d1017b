#pragma once
#include "bench/TickSpan.h"
#include "engine/Conversation.h"

#include <atomic>
#include <chrono>

namespace pemblor::bench {

// First and last reply the receive thread dispatched while a discovery was
// running, and how many it dispatched in and out of one. OnReply runs on the
// receive thread (the conversation's reply observer, before the dispatch);
// the readers run on any thread.
class ReplyClock final {
public:
    using Clock = TickSpan::Clock;

    // The conversation whose state the next dispatch will read; set before
    // the first Discover.
    void Watch(const Conversation& conversation) { m_pConversation = &conversation; }

    void OnReply() noexcept
    {
        const Conversation* conversation = m_pConversation.load();
        if (conversation && conversation->State() != Discovering) {
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
    std::atomic<const Conversation*> m_pConversation{nullptr};
    TickSpan m_span;
    std::atomic<long> m_nDiscovery{0};
    std::atomic<long> m_nOther{0};
};

} // namespace pemblor::bench
