#include "engine/PosixSocketLayer.h"

#include "engine/PosixSocket.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

namespace pemblor {

namespace {
thread_local int t_nLastError = 0;
} // namespace

void PosixSocketLayer::RecordError(int error)
{
    t_nLastError = error;
}

std::unique_ptr<ISocket> PosixSocketLayer::Open()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        RecordError(errno);
        return nullptr;
    }
    return Wrap(fd);
}

std::unique_ptr<ISocket> PosixSocketLayer::Attach(SocketHandle handle)
{
    if (handle < 0 || handle > SocketHandle{INT32_MAX}) {
        RecordError(EBADF);
        return nullptr;
    }
    const int fd = static_cast<int>(handle);
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
        RecordError(errno);
        return nullptr;
    }
    return Wrap(fd);
}

std::unique_ptr<ISocket> PosixSocketLayer::Wrap(int fd)
{
    // Cannot fail on an IPv4 datagram socket; if it ever did, datagrams would
    // arrive with interface index 0 (not known), which callers handle.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    return std::make_unique<PosixSocket>(fd, m_sendPath);
}

int PosixSocketLayer::LastError() const
{
    return t_nLastError;
}

} // namespace pemblor
