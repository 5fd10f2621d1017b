#include "engine/PosixSocketLayer.h"

#include "engine/PosixSocket.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>
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

namespace {

// The inodes of the IPv4 UDP sockets bound to `port`.
std::set<std::string> SocketInodes(std::uint16_t port)
{
    std::set<std::string> inodes;
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        const std::size_t colon = local.find(':');
        if (colon != std::string::npos && std::strtoul(local.c_str() + colon + 1, nullptr, 16) == port && inode != "0")
            inodes.insert(inode);
    }
    return inodes;
}

} // namespace

std::string PosixSocketLayer::PortHolder(std::uint16_t port) const
{
    const std::set<std::string> inodes = SocketInodes(port);
    if (inodes.empty())
        return {};
    namespace fs = std::filesystem;
    // Processes come and go meanwhile: every step takes its failure quietly.
    std::error_code error;
    for (fs::directory_iterator process("/proc", error), end; !error && process != end; process.increment(error)) {
        const std::string pid = process->path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(::getpid()))
            continue;
        std::error_code unreadable;
        for (fs::directory_iterator fd(process->path() / "fd", unreadable); !unreadable && fd != end;
             fd.increment(unreadable)) {
            std::error_code gone;
            const std::string target = fs::read_symlink(fd->path(), gone);
            if (target.starts_with("socket:[") && inodes.contains(target.substr(8, target.size() - 9))) {
                std::string name;
                std::getline(std::ifstream(process->path() / "comm"), name);
                return name + " (process " + pid + ")";
            }
        }
    }
    return {};
}

int PosixSocketLayer::LastError() const
{
    return t_nLastError;
}

} // namespace pemblor
