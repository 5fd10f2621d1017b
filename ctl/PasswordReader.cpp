#include "ctl/PasswordReader.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>

#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace pemblor {

namespace {

// The terminal to restore when a signal arrives during the prompt, and the
// quiet one to take up again when the program continues after a stop. Only
// the prompting thread writes them, before the handlers are installed.
volatile sig_atomic_t g_restoreFd = -1;
termios g_savedTerminal;
termios g_quietTerminal;
struct sigaction g_restoreAction;

// Ends the program (or stops it, for SIGTSTP) with the terminal as it was.
// The signal is blocked while the handler runs, so the raised one takes its
// default action once the handler has returned.
void RestoreAndReraise(int signal)
{
    if (g_restoreFd >= 0)
        tcsetattr(g_restoreFd, TCSANOW, &g_savedTerminal);
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

// Back after a stop (fg or bg): echo off again, and the next stop restores
// the terminal again.
void QuietAgain(int /*signal*/)
{
    if (g_restoreFd < 0)
        return;
    const int saved = errno;
    tcsetattr(g_restoreFd, TCSANOW, &g_quietTerminal);
    sigaction(SIGTSTP, &g_restoreAction, nullptr);
    errno = saved;
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
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    g_savedTerminal = saved;
    g_quietTerminal = quiet;
    g_restoreFd = fd;
    struct sigaction action{};
    action.sa_handler = RestoreAndReraise;
    sigemptyset(&action.sa_mask);
    g_restoreAction = action;
    struct sigaction previous[std::size(kSignals)];
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &previous[i]);
    struct sigaction resume{};
    resume.sa_handler = QuietAgain;
    sigemptyset(&resume.sa_mask);
    resume.sa_flags = SA_RESTART;
    struct sigaction previousResume{};
    sigaction(SIGCONT, &resume, &previousResume);

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

    // A signal that arrives meanwhile waits until the terminal and the
    // handlers are as they were, and then takes its course.
    sigset_t hold, before;
    sigemptyset(&hold);
    for (const int signal : kSignals)
        sigaddset(&hold, signal);
    sigaddset(&hold, SIGCONT);
    pthread_sigmask(SIG_BLOCK, &hold, &before);
    g_restoreFd = -1;
    tcsetattr(fd, TCSANOW, &saved);
    sigaction(SIGCONT, &previousResume, nullptr);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &previous[i], nullptr);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return line;
}

} // namespace pemblor
