#include "ctl/PasswordReader.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string_view>

#include <termios.h>
#include <unistd.h>

namespace pemblor {

namespace {

// The terminal to restore when a signal arrives during the prompt. Only the
// prompting thread writes them, before the handlers are installed.
volatile sig_atomic_t g_restoreFd = -1;
termios g_savedTerminal;

void RestoreAndReraise(int signal)
{
    if (g_restoreFd >= 0)
        tcsetattr(g_restoreFd, TCSANOW, &g_savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

void StripLineEnd(std::string& line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
}

} // namespace

std::string ReadPasswordLine(std::istream& in)
{
    std::string line;
    std::getline(in, line);
    StripLineEnd(line);
    return line;
}

std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return ReadPasswordLine(file);
}

std::optional<std::string> PromptPassword(int fd, const std::string& prompt, std::string& error)
{
    termios saved{};
    if (!isatty(fd) || tcgetattr(fd, &saved) != 0) {
        error = "no terminal to ask for the password on; use --password-stdin or --password-file";
        return std::nullopt;
    }
    g_savedTerminal = saved;
    g_restoreFd = fd;
    struct sigaction action{};
    action.sa_handler = RestoreAndReraise;
    sigemptyset(&action.sa_mask);
    struct sigaction previous[std::size(kSignals)];
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &previous[i]);

    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(fd, TCSAFLUSH, &quiet);
    [[maybe_unused]] const auto written = write(fd, prompt.data(), prompt.size());

    std::string line;
    char c = 0;
    for (;;) {
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            break;
        line += c;
    }
    StripLineEnd(line);

    tcsetattr(fd, TCSANOW, &saved);
    g_restoreFd = -1;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &previous[i], nullptr);
    return line;
}

} // namespace pemblor
