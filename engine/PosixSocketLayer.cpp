#include "engine/PosixSocketLayer.h"

#include "engine/PosixSocket.h"

#include <cerrno>
#include <sys/socket.h>

namespace pemblor {

namespace {
thread_local int t_nLastError = 0;
} // namespace

void PosixSocketLayer::RecordError(int error)
{
    t_nLastError = error;
}

bool PosixSocketLayer::StartupProcess()
{
    return true;
}

bool PosixSocketLayer::StartupThread()
{
    return true;
}

std::unique_ptr<ISocket> PosixSocketLayer::Open()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        RecordError(errno);
        return nullptr;
    }
    return std::make_unique<PosixSocket>(fd);
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
    return std::make_unique<PosixSocket>(fd);
}

int PosixSocketLayer::LastError() const
{
    return t_nLastError;
}

} // namespace pemblor
