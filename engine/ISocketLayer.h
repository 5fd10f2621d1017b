#pragma once
#include "engine/ISocket.h"

#include <cstdint>
#include <memory>
#include <string>

namespace pemblor {

// The sockets library: start-up, creating sockets, taking over handles and
// the calling thread's last error number.
class ISocketLayer {
public:
    virtual ~ISocketLayer() = default;

    // Once per process, before any socket exists.
    virtual bool StartupProcess() = 0;
    // Once on every thread that uses sockets.
    virtual bool StartupThread() = 0;
    // A new IPv4 datagram socket, or null (LastError() tells why).
    virtual std::unique_ptr<ISocket> Open() = 0;
    // Takes ownership of a handle that another socket object gave up.
    virtual std::unique_ptr<ISocket> Attach(SocketHandle handle) = 0;
    virtual int LastError() const = 0;
    // The program that holds UDP `port` on this computer, as "name (process
    // N)", where the system tells (to root, say); empty otherwise.
    virtual std::string PortHolder(std::uint16_t /*port*/) const { return {}; }
};

} // namespace pemblor
