#pragma once
#include "engine/ISocketLayer.h"

namespace pemblor {

// The platform's sockets: IPv4 UDP over the POSIX interface. There is nothing
// to start per process or per thread. LastError() is errno of the calling
// thread's last failed socket call.
class PosixSocketLayer final : public ISocketLayer {
public:
    bool StartupProcess() override;
    bool StartupThread() override;
    std::unique_ptr<ISocket> Open() override;
    // Fails with EBADF when `handle` is not an open descriptor.
    std::unique_ptr<ISocket> Attach(SocketHandle handle) override;
    int LastError() const override;

    // Used by the sockets: records errno of a failed call for this thread.
    static void RecordError(int error);
};

} // namespace pemblor
