#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "engine/EventLoop.h"
#include "ctl/PasswordReader.h"
#include "engine/PosixInterfaceList.h"
#include "engine/PosixSocketLayer.h"
#include "engine/ProcReversePathFilter.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>

namespace {

// Ctrl-C or a TERM during `apply`: the job stops cleanly and reports every
// device already sent a change.
std::atomic<bool> g_interrupted{false};

void Interrupted(int)
{
    g_interrupted = true;
}

} // namespace

int main(int argc, char* argv[])
{
    pemblor::CtlOptions options;
    if (const auto status = pemblor::ParseCommandLine(argc, argv, options, std::cout, std::cerr))
        return *status;

    pemblor::CtlIo io{std::cout, std::cerr, std::cin, [](std::string& error) {
                          // The controlling terminal, also when standard
                          // input is redirected; without one the prompt
                          // says there is no terminal.
                          const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
                          auto password = pemblor::PromptPassword(fd, "Password: ", error);
                          if (fd >= 0)
                              close(fd);
                          return password;
                      }};
    if (options.command == pemblor::CtlCommand::Apply) {
        io.interrupted = &g_interrupted;
        struct sigaction action {};
        action.sa_handler = Interrupted;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
    pemblor::PosixSocketLayer sockets;
    pemblor::PosixInterfaceList interfaces;
    pemblor::SteadyClock clock;
    pemblor::EventLoop loop(clock);
    pemblor::SessionConfig config;
    config.interfaces = &interfaces;
    config.programName = "pemblorctl";
    pemblor::ProcReversePathFilter reversePath;
    config.reversePath = &reversePath;
    config.receiveBufferBytes = pemblor::DeviceSession::ReceiveBufferBytes;
    return pemblor::RunCommand(options, sockets, loop, io, std::move(config));
}
