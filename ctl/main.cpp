#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "ctl/EventLoop.h"
#include "ctl/PasswordReader.h"
#include "engine/PosixInterfaceList.h"
#include "engine/PosixSocketLayer.h"

#include <fcntl.h>
#include <unistd.h>

#include <iostream>

int main(int argc, char* argv[])
{
    pemblor::CtlOptions options;
    if (const auto status = pemblor::ParseCommandLine(argc, argv, options, std::cout, std::cerr))
        return *status;

    pemblor::CtlIo io{std::cout, std::cerr, std::cin, [](std::string& error) -> std::optional<std::string> {
                          // The controlling terminal, also when standard
                          // input is redirected.
                          const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
                          if (fd < 0) {
                              error = "no terminal to ask for the password on; use --password-stdin or "
                                      "--password-file";
                              return std::nullopt;
                          }
                          auto password = pemblor::PromptPassword(fd, "Password: ", error);
                          close(fd);
                          return password;
                      }};
    pemblor::PosixSocketLayer sockets;
    pemblor::PosixInterfaceList interfaces;
    pemblor::SteadyLoopClock clock;
    pemblor::EventLoop loop(clock);
    pemblor::SessionConfig config;
    config.interfaces = &interfaces;
    return pemblor::RunCommand(options, sockets, loop, io, std::move(config));
}
