#pragma once
#include "engine/NetworkEndpoint.h"
#include "engine/PosixSocketLayer.h"
#include "protocol/Datagram.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pemblor::lab {

// The tool's side of the lab link: the network endpoint opened on the
// platform sockets as the device list window opens it, and its receive
// socket taken over from g_hRecvSocket as the receive thread takes it. The
// socket interface waits without a time limit, so receiving polls the handle
// with a deadline first.
class LabLink final {
public:
    using Clock = std::chrono::steady_clock;

    struct Reply {
        std::vector<std::uint8_t> bytes;
        std::string sender;
        unsigned interfaceIndex = 0; // arrival interface
        Clock::time_point at;
    };

    explicit LabLink(PosixSocket::SendPath sendPath = PosixSocket::SendPath::PacketInfo);
    LabLink(const LabLink&) = delete;
    LabLink& operator=(const LabLink&) = delete;

    // Opens the endpoint; every message it reports is appended to `messages`.
    bool Open(std::vector<std::string>& messages);
    // Asks the kernel for a receive buffer of `bytes`, beyond the system's
    // cap (needs CAP_NET_ADMIN, which the lab's root has).
    bool ForceReceiveBuffer(int bytes);
    // Broadcasts to the device port through the endpoint's send socket.
    bool Broadcast(const Datagram& datagram);
    // The same out of one interface.
    bool BroadcastOutOf(unsigned interfaceIndex, const Datagram& datagram);
    // The next reply before `deadline`. Requests (types 0 and 2, among them
    // the tool's own broadcasts) are skipped and counted.
    std::optional<Reply> Receive(Clock::time_point deadline);

    int ownRequestsHeard() const { return m_nOwnRequests; }
    // The tool's own requests heard, by arrival interface.
    const std::map<unsigned, int>& ownRequestsByInterface() const { return m_ownRequestsOn; }

private:
    PosixSocketLayer m_layer;
    CNetworkEndpoint m_endpoint;
    std::unique_ptr<ISocket> m_recv;
    SocketHandle m_hRecv = InvalidSocket;
    int m_nOwnRequests = 0;
    std::map<unsigned, int> m_ownRequestsOn;
};

} // namespace pemblor::lab
