#pragma once
#include "bench/TickSpan.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace pemblor::bench {

// When replies reached the tool host's interface, whatever the receive
// thread makes of them: a packet socket on the interface counts the incoming
// UDP datagrams to the device port whose type is a reply's (not 0, 2 or 4),
// with the kernel's arrival time stamps. Receives only. Root only.
class WireClock final {
public:
    using Clock = TickSpan::Clock;

    WireClock() = default;
    ~WireClock();
    WireClock(const WireClock&) = delete;
    WireClock& operator=(const WireClock&) = delete;

    // False (with a reason) when the interface cannot be watched.
    bool Start(const std::string& interface, std::uint16_t port, std::string& reason);
    // Reads what has arrived so far, then stops.
    void Stop();

    // Zero time points: no reply seen.
    Clock::time_point First() const { return m_span.First(); }
    Clock::time_point Last() const { return m_span.Last(); }
    long Replies() const { return m_nReplies.load(); }
    // Frames the packet socket itself dropped (its buffer was full).
    long Drops() const { return m_nDrops.load(); }

private:
    void Run();
    void Take(const unsigned char* frame, long length, std::int64_t arrival);

    int m_fd = -1;
    std::uint16_t m_nPort = 0;
    // Realtime stamps of the kernel minus this give steady-clock ticks.
    std::int64_t m_nRealtimeOffset = 0;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    TickSpan m_span;
    std::atomic<long> m_nReplies{0};
    std::atomic<long> m_nDrops{0};
};

} // namespace pemblor::bench
