#pragma once
#include "engine/ISocketLayer.h"
#include "engine/PosixSocket.h"

namespace pemblor {

// The platform's sockets: IPv4 UDP over the POSIX interface. There is nothing
// to start per process or per thread. LastError() is errno of the calling
// thread's last failed socket call.
class PosixSocketLayer final : public ISocketLayer {
public:
    // `sendPath` is handed to every socket the layer opens; tests of the
    // fallback ask for the per-interface sockets.
    explicit PosixSocketLayer(PosixSocket::SendPath sendPath = PosixSocket::SendPath::PacketInfo)
        : m_sendPath(sendPath)
    {
    }

    bool StartupProcess() override { return true; }
    bool StartupThread() override { return true; }
    std::unique_ptr<ISocket> Open() override;
    // Fails with EBADF when `handle` is not an open descriptor.
    std::unique_ptr<ISocket> Attach(SocketHandle handle) override;
    int LastError() const override;
    // Reads /proc: the sockets bound to the port, then the process that has
    // one of them open.
    std::string PortHolder(std::uint16_t port) const override;

    // Used by the sockets: records errno of a failed call for this thread.
    static void RecordError(int error);

private:
    // The layer's socket on `fd`, asked for the arrival interface of each
    // datagram.
    std::unique_ptr<ISocket> Wrap(int fd);

    PosixSocket::SendPath m_sendPath;
};

} // namespace pemblor
