#include "Agent.h"

#include "LabAddress.h"

#include "protocol/DatagramType.h"
#include "protocol/MacText.h"
#include "protocol/ReplyDatagram.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace apsim {
namespace {

// Large enough to tell an oversized datagram from a 2048-byte one.
constexpr std::size_t ReceiveCapacity = 4096;
constexpr int SocketBufferBytes = 16 * 1024 * 1024;

std::uint64_t MacKey(const pemblor::MacBytes& mac)
{
    std::uint64_t key = 0;
    for (const std::uint8_t byte : mac)
        key = (key << 8) | byte;
    return key;
}

std::string ReadField(const std::uint8_t* data, std::size_t size, std::size_t offset)
{
    if (size < offset + pemblor::CredentialFieldSize)
        return {};
    const char* field = reinterpret_cast<const char*>(data + offset);
    return std::string(field, strnlen(field, pemblor::CredentialFieldSize));
}

std::string Describe(const std::uint8_t* data, std::size_t size)
{
    const pemblor::ReplyDatagram view(data, size, "");
    return std::to_string(size) + " bytes type " + std::to_string(view.type()) + " mac " +
           std::string(pemblor::FormatMacText(view.macAddress()).view());
}

void SetBufferSize(int socket, int forceOption, int option)
{
    const int bytes = SocketBufferBytes;
    if (setsockopt(socket, SOL_SOCKET, forceOption, &bytes, sizeof bytes) != 0)
        setsockopt(socket, SOL_SOCKET, option, &bytes, sizeof bytes);
}

using PktInfoControl = char[CMSG_SPACE(sizeof(in_pktinfo))];

// A one-part message to or from `peer` with room for one IP_PKTINFO; it
// points into the caller's objects.
msghdr PktInfoMessage(sockaddr_in& peer, iovec& part, PktInfoControl& control)
{
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    return message;
}

// One write per line on an O_APPEND descriptor: a reader never sees half a
// line, and simulators on several links may share one file.
void AppendLine(int fd, const std::string& line, const char* what)
{
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        std::fprintf(stderr, "apsim: %s: %s\n", what, std::strerror(errno));
}

// Opens the log at `path` for appending into `fd`; an empty path opens none.
bool OpenLog(const std::string& path, const char* what, int& fd, std::string& error)
{
    if (path.empty())
        return true;
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        error = std::string(what) + " " + path + ": " + std::strerror(errno);
    return fd >= 0;
}

} // namespace

Agent::Agent(std::vector<AccessPoint> accessPoints, const Config& config)
    : m_accessPoints(std::move(accessPoints)), m_config(config)
{
    for (std::size_t i = 0; i < m_accessPoints.size(); ++i)
        m_byMac[MacKey(m_accessPoints[i].mac())].push_back(i);
}

Agent::~Agent()
{
    for (const int fd : {m_nSocket, m_nCommandLog, m_nDatagramLog}) {
        if (fd >= 0)
            close(fd);
    }
}

bool Agent::Open(std::string& error)
{
    if (!OpenLog(m_config.commandLog, "command log", m_nCommandLog, error) ||
        !OpenLog(m_config.datagramLog, "datagram log", m_nDatagramLog, error))
        return false;
    m_nSocket = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_nSocket < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    setsockopt(m_nSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(m_nSocket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    if (setsockopt(m_nSocket, IPPROTO_IP, IP_TRANSPARENT, &on, sizeof on) != 0)
        std::fprintf(stderr, "apsim: IP_TRANSPARENT unavailable (%s): replies only from configured addresses\n",
                     std::strerror(errno));
    SetBufferSize(m_nSocket, SO_RCVBUFFORCE, SO_RCVBUF);
    SetBufferSize(m_nSocket, SO_SNDBUFFORCE, SO_SNDBUF);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(m_config.port);
    if (bind(m_nSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        error = "bind to port " + std::to_string(m_config.port) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void Agent::Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask)
{
    while (!stop) {
        const Clock::time_point now = Clock::now();
        SendDue(now);
        timespec timeout{};
        const timespec* wait = nullptr;
        if (!m_pending.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(m_pending.top().due - now);
            const long long ns = std::max<long long>(left.count(), 0);
            timeout.tv_sec = static_cast<time_t>(ns / 1000000000);
            timeout.tv_nsec = static_cast<long>(ns % 1000000000);
            wait = &timeout;
        }
        pollfd descriptor{m_nSocket, POLLIN, 0};
        const int ready = ppoll(&descriptor, 1, wait, &waitMask);
        if (ready > 0)
            ReceiveAll();
    }
}

void Agent::ReceiveAll()
{
    std::uint8_t buffer[ReceiveCapacity];
    PktInfoControl control;
    for (;;) {
        sockaddr_in from{};
        iovec io{buffer, sizeof buffer};
        msghdr message = PktInfoMessage(from, io, control);
        const ssize_t received = recvmsg(m_nSocket, &message, MSG_DONTWAIT);
        if (received < 0)
            return;
        int ifindex = 0;
        std::uint32_t to = INADDR_BROADCAST;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                const auto* info = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(c));
                ifindex = info->ipi_ifindex;
                to = ntohl(info->ipi_addr.s_addr);
            }
        if (message.msg_flags & MSG_TRUNC)
            continue;
        OnDatagram(buffer, static_cast<std::size_t>(received), ntohl(from.sin_addr.s_addr), ntohs(from.sin_port),
                   ifindex, to);
    }
}

void Agent::OnDatagram(const std::uint8_t* data, std::size_t size, std::uint32_t from, std::uint16_t fromPort,
                       int ifindex, std::uint32_t to)
{
    if (m_config.verbose)
        std::printf("recv %s from %s:%u\n", Describe(data, size).c_str(), FormatAddress(from).c_str(), fromPort);
    // 0.0.0.0 is a tool host without any address; only a broadcast answer
    // reaches it (Send drops the others).
    if (!IsLabAddress(from) && from != 0)
        return;

    const pemblor::ReplyDatagram request(data, size, "");
    LogDatagram(request, to);
    // The tool broadcasts only to 255.255.255.255: any other destination is
    // one host's address, and only the access points at that address hear
    // it, unless they hear broadcasts only.
    const bool unicast = to != INADDR_BROADCAST;
    const auto hears = [unicast, to](const AccessPoint& accessPoint) {
        return !unicast || (accessPoint.HearsUnicast() && accessPoint.runningAddress() == to);
    };
    const pemblor::MacBytes mac = request.macAddress();
    const Clock::time_point now = Clock::now();
    if (request.type() == pemblor::TypeQuery && mac == pemblor::MacBytes{}) {
        for (AccessPoint& accessPoint : m_accessPoints)
            if (hears(accessPoint))
                Dispatch(accessPoint.OnQuery(request, true, now), from, ifindex, now);
        return;
    }
    const auto found = m_byMac.find(MacKey(mac));
    if (found == m_byMac.end())
        return;
    if (request.type() == pemblor::TypeQuery) {
        for (const std::size_t i : found->second)
            if (hears(m_accessPoints[i]))
                Dispatch(m_accessPoints[i].OnQuery(request, false, now), from, ifindex, now);
    } else if (request.type() == pemblor::TypeCommand) {
        const std::string user = ReadField(data, size, pemblor::PacketHeader::OffsetUserName);
        const std::string pass = ReadField(data, size, pemblor::PacketHeader::OffsetPassword);
        for (const std::size_t i : found->second) {
            if (!hears(m_accessPoints[i]))
                continue;
            CommandOutcome outcome = m_accessPoints[i].OnCommand(request, user, pass, now, m_config.rebootTime);
            LogCommand(m_accessPoints[i].mac(), outcome);
            Dispatch(std::move(outcome.reply), from, ifindex, now);
        }
    }
}

void Agent::LogCommand(const pemblor::MacBytes& mac, const CommandOutcome& outcome)
{
    if (m_nCommandLog < 0)
        return;
    using Verdict = CommandOutcome::Verdict;
    std::string line(pemblor::FormatMacText(mac).view());
    line += outcome.kind == CommandOutcome::Kind::Reboot ? " reboot " : " set ";
    line += outcome.verdict == Verdict::Accepted ? "accepted"
            : outcome.verdict == Verdict::Refused ? "refused"
                                                   : "ignored";
    AppendLine(m_nCommandLog, line + '\n', "command log");
}

void Agent::LogDatagram(const pemblor::ReplyDatagram& request, std::uint32_t to)
{
    if (m_nDatagramLog < 0)
        return;
    const std::uint32_t type = request.type();
    std::string line(pemblor::FormatMacText(request.macAddress()).view());
    line += type == pemblor::TypeQuery     ? " query "
            : type == pemblor::TypeCommand ? " command "
            : type == pemblor::TypeStop    ? " stop "
                                           : " other ";
    line += FormatAddress(to);
    line += to == INADDR_BROADCAST ? " broadcast\n" : " unicast\n";
    AppendLine(m_nDatagramLog, line, "datagram log");
}

void Agent::Dispatch(std::optional<OutgoingReply> reply, std::uint32_t asker, int ifindex, Clock::time_point now)
{
    if (!reply)
        return;
    for (int copy = 0; copy <= reply->repeats; ++copy) {
        if (reply->delayMs == 0) {
            Send(*reply, asker, ifindex);
            continue;
        }
        const auto due = now + std::chrono::milliseconds(reply->delayMs);
        m_pending.push(Pending{due, m_nSequence++, *reply, asker, ifindex});
    }
    for (int n = 0; n < reply->madeUpMacs; ++n)
        Send(MadeUpCopy(*reply, n), asker, ifindex);
    if (reply->copyAfterMs > 0) {
        const auto due = now + std::chrono::milliseconds(reply->delayMs + reply->copyAfterMs);
        m_pending.push(Pending{due, m_nSequence++, *reply, asker, ifindex});
    }
}

void Agent::SendDue(Clock::time_point now)
{
    while (!m_pending.empty() && m_pending.top().due <= now) {
        Send(m_pending.top().reply, m_pending.top().destination, m_pending.top().ifindex);
        m_pending.pop();
    }
}

void Agent::Send(const OutgoingReply& reply, std::uint32_t asker, int ifindex)
{
    const std::uint32_t destination = reply.broadcast ? INADDR_BROADCAST : asker;
    if (destination == 0)
        return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(destination);
    to.sin_port = htons(m_config.port);

    // The interface index lets a broadcast leave from a source address that
    // is not configured on the interface.
    PktInfoControl control = {};
    iovec io{const_cast<std::uint8_t*>(reply.bytes.data()), reply.bytes.size()};
    msghdr message = PktInfoMessage(to, io, control);
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = ifindex;
    info.ipi_spec_dst.s_addr = htonl(reply.source);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);

    const ssize_t sent = sendmsg(m_nSocket, &message, 0);
    if (sent < 0)
        std::fprintf(stderr, "apsim: send from %s to %s failed: %s\n", FormatAddress(reply.source).c_str(),
                     FormatAddress(destination).c_str(), std::strerror(errno));
    else if (m_config.verbose)
        std::printf("send %s from %s to %s:%u\n", Describe(reply.bytes.data(), reply.bytes.size()).c_str(),
                    FormatAddress(reply.source).c_str(), FormatAddress(destination).c_str(), m_config.port);
}

} // namespace apsim
