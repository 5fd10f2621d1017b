#include "LabLink.h"

#include "protocol/DatagramType.h"
#include "protocol/ReplyDatagram.h"
#include "common/FormatError.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace pemblor::lab {

LabLink::LabLink(PosixSocket::SendPath sendPath) : m_layer(sendPath), m_endpoint(m_layer, DevicePort) {}

bool LabLink::Open(std::vector<std::string>& messages)
{
    if (!m_layer.StartupProcess())
        return false;
    const EndpointResult opened = m_endpoint.Open(g_hRecvSocket);
    if (!opened.Ok()) {
        messages.push_back(EndpointFailureText(opened));
        return false;
    }
    m_hRecv = g_hRecvSocket.load();
    m_recv = m_layer.Attach(m_hRecv);
    return m_recv != nullptr;
}

bool LabLink::ForceReceiveBuffer(int bytes)
{
    return setsockopt(static_cast<int>(m_hRecv), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0;
}

bool LabLink::Broadcast(const Datagram& datagram)
{
    return m_endpoint.SendTo(datagram.data(), datagram.size, DevicePort, BroadcastAddress) >= 0;
}

bool LabLink::BroadcastOutOf(unsigned interfaceIndex, const Datagram& datagram)
{
    return m_endpoint.m_skSend &&
           m_endpoint.m_skSend->SendOutOf(interfaceIndex, datagram.data(), datagram.size, DevicePort,
                                          BroadcastAddress) == static_cast<int>(datagram.size);
}

std::optional<LabLink::Reply> LabLink::Receive(Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd descriptor{static_cast<int>(m_hRecv), POLLIN, 0};
        const int ready = poll(&descriptor, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;

        Reply reply;
        reply.bytes.assign(ReceiveBufferSize, 0);
        PeerAddress from;
        std::uint16_t port = 0;
        const int received = m_recv->ReceiveFrom(reply.bytes.data(), reply.bytes.size(), from, port);
        if (received <= 0)
            continue;
        reply.bytes.resize(static_cast<std::size_t>(received));
        reply.sender = from.text;
        reply.interfaceIndex = from.interfaceIndex;
        reply.at = Clock::now();
        const std::uint32_t type = ReplyDatagram(reply.bytes.data(), reply.bytes.size(), "").type();
        if (type == TypeQuery || type == TypeCommand) {
            ++m_nOwnRequests;
            ++m_ownRequestsOn[from.interfaceIndex];
            continue;
        }
        return reply;
    }
}

} // namespace pemblor::lab
