#pragma once

namespace pemblor {

// The requests whose send can fail.
enum class Request { Discovery, DetailQuery, SettingsChange, Reboot, Stop };

// Why the receive thread is not listening.
enum class ReceiveFailure {
    Launch,        // the thread could not be created
    SocketStartup, // the thread could not start the sockets library
};

} // namespace pemblor
