#include "ctl/PasswordReader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

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

TEST(PasswordReader, PromptTurnsEchoOffAndRestoresTheTerminal)
{
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios before{};
    tcgetattr(slave, &before);
    ASSERT_TRUE(before.c_lflag & ECHO);

    std::string error;
    auto prompt = std::async(std::launch::async, [&] { return PromptPassword(slave, "Password: ", error); });
    // Type only once the prompt is shown, as a person would.
    std::string shown;
    char buffer[256];
    while (shown.find("Password: ") == std::string::npos) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        ASSERT_GT(got, 0);
        shown.append(buffer, static_cast<std::size_t>(got));
    }
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
