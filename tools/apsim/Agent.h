#pragma once
#include "AccessPoint.h"
#include "OutgoingReply.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

#include <signal.h>

namespace apsim {

// Serves all access points from one UDP socket bound to any address and the
// device port. Every reply leaves through that socket with its source address
// chosen per datagram (IP_PKTINFO), so one socket speaks for any number of
// addresses; IP_TRANSPARENT lets it use addresses that are not (or not yet)
// configured on the interface, such as a changed IP_ADDR after a reboot.
class Agent final {
public:
    struct Config {
        std::uint16_t port = 21212;
        std::chrono::milliseconds rebootTime{5000};
        bool verbose = false;
        // Appended to, one line per command an access point received:
        // "<MAC> <set|reboot> <accepted|refused|ignored>". Empty: no log.
        std::string commandLog;
        // Appended to, one line per datagram received: "<header MAC>
        // <query|command|stop|other> <destination address>
        // <unicast|broadcast>". Empty: no log.
        std::string datagramLog;
    };

    Agent(std::vector<AccessPoint> accessPoints, const Config& config);
    ~Agent();
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    bool Open(std::string& error);
    // Serves until `stop` is set. The caller blocks the stop signals;
    // `waitMask` is the mask under which Run waits, so that a signal can only
    // arrive while it waits.
    void Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);

private:
    using Clock = AccessPoint::Clock;

    struct Pending {
        Clock::time_point due;
        std::uint64_t sequence;
        OutgoingReply reply;
        std::uint32_t destination;
        int ifindex;
        bool operator>(const Pending& other) const
        {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };

    void ReceiveAll();
    // `to`: the header's destination address (host order).
    void OnDatagram(const std::uint8_t* data, std::size_t size, std::uint32_t from, std::uint16_t fromPort,
                    int ifindex, std::uint32_t to);
    void Dispatch(std::optional<OutgoingReply> reply, std::uint32_t asker, int ifindex, Clock::time_point now);
    void Send(const OutgoingReply& reply, std::uint32_t asker, int ifindex);
    void SendDue(Clock::time_point now);
    void LogCommand(const pemblor::MacBytes& mac, const CommandOutcome& outcome);
    void LogDatagram(const pemblor::ReplyDatagram& request, std::uint32_t to);

    std::vector<AccessPoint> m_accessPoints;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> m_byMac;
    Config m_config;
    int m_nSocket = -1;
    int m_nCommandLog = -1;
    int m_nDatagramLog = -1;
    std::uint64_t m_nSequence = 0;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<>> m_pending;
};

} // namespace apsim
