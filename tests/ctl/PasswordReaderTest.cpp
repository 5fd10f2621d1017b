#include "ctl/PasswordReader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>

namespace pemblor {
namespace {

TEST(PasswordReader, TakesTheFirstLineWithoutItsLineEnd)
{
    const std::pair<std::string, std::string> cases[] = {
        {"secret\n", "secret"}, {"secret\r\nnext\n", "secret"}, {"secret", "secret"},
        {"", ""},               {"\n", ""},                     {" spaced out \n", " spaced out "},
    };
    for (const auto& [input, password] : cases) {
        std::istringstream in(input);
        EXPECT_EQ(ReadPasswordLine(in), password) << input;
    }
}

TEST(PasswordReader, FileThatCannotBeReadIsAnError)
{
    std::string error;
    EXPECT_FALSE(ReadPasswordFile("/nonexistent/pemblor-password", error));
    EXPECT_NE(error.find("/nonexistent/pemblor-password"), std::string::npos);

    char path[] = "/tmp/pemblorctl-pw-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << "from file\r\nignored\n";
    EXPECT_EQ(ReadPasswordFile(path, error), "from file");
    std::remove(path);
}

// Reads what the terminal `master` shows into `shown` until the prompt is
// there: type only once it is, as a person would.
bool ReadUntilPrompt(int master, std::string& shown)
{
    char buffer[256];
    while (shown.find("Password: ") == std::string::npos) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        shown.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

TEST(PasswordReader, PromptTurnsEchoOffAndRestoresTheTerminal)
{
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios before{};
    tcgetattr(slave, &before);
    ASSERT_TRUE(before.c_lflag & ECHO);

    std::string error;
    auto prompt = std::async(std::launch::async, [&] { return PromptPassword(slave, "Password: ", error); });
    std::string shown;
    char buffer[256];
    ASSERT_TRUE(ReadUntilPrompt(master, shown)) << shown;
    const std::string typed = "s3cret\n";
    ASSERT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    EXPECT_EQ(prompt.get(), "s3cret");

    // What the terminal showed after the prompt: the line end, not the secret.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(got));
    EXPECT_EQ(shown.find("s3cret"), std::string::npos) << shown;

    termios after{};
    tcgetattr(slave, &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    close(master);
    close(slave);
}

// Echo of the terminal behind `fd`, read until it is `on` or 5 s have passed.
bool EchoBecomes(int fd, bool on)
{
    for (int i = 0; i < 500; ++i) {
        termios now{};
        tcgetattr(fd, &now);
        if (((now.c_lflag & ECHO) != 0) == on)
            return true;
        poll(nullptr, 0, 10);
    }
    return false;
}

// Ctrl+Z at the prompt gives the shell its terminal as it was; fg takes the
// prompt up again with echo off, and a signal that ends nothing (a window
// resize) changes nothing: the rest of the password is not shown either.
TEST(PasswordReader, EchoStaysOffAfterAStopAndContinue)
{
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer holds a signal back until the interrupted call
    // returns, so the prompt's handler cannot run while it reads.
    GTEST_SKIP() << "signal handlers are deferred under ThreadSanitizer";
#endif
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    int result[2];
    ASSERT_EQ(pipe(result), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A group of its own in this session, so that a stop is not
        // discarded as it would be in an orphaned group.
        setpgid(0, 0);
        std::string error;
        const std::string line = PromptPassword(slave, "Password: ", error).value_or("<none>");
        [[maybe_unused]] const auto written = write(result[1], line.data(), line.size());
        _exit(0);
    }
    close(result[1]);
    std::string shown;
    char buffer[256];
    ASSERT_TRUE(ReadUntilPrompt(master, shown)) << shown;
    ASSERT_TRUE(EchoBecomes(slave, false));
    const std::string first = "s3c";
    ASSERT_EQ(write(master, first.data(), first.size()), static_cast<ssize_t>(first.size()));

    kill(child, SIGTSTP);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    EXPECT_TRUE(EchoBecomes(slave, true)) << "the stopped prompt left echo off for the shell";

    kill(child, SIGCONT);
    EXPECT_TRUE(EchoBecomes(slave, false)) << "echo stayed on after fg";
    kill(child, SIGWINCH);
    const std::string rest = "ret\n";
    ASSERT_EQ(write(master, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));

    std::string password;
    for (ssize_t got; (got = read(result[0], buffer, sizeof buffer)) > 0;)
        password.append(buffer, static_cast<std::size_t>(got));
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(password, "s3cret");
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(got));
    EXPECT_EQ(shown.find("ret"), std::string::npos) << shown;
    EXPECT_TRUE(EchoBecomes(slave, true));
    close(result[0]);
    close(master);
    close(slave);
}

TEST(PasswordReader, NoTerminalIsAnError)
{
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    std::string error;
    EXPECT_FALSE(PromptPassword(pipeFds[0], "Password: ", error));
    EXPECT_NE(error.find("--password-stdin"), std::string::npos);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

} // namespace
} // namespace pemblor
