#pragma once
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// A process this test starts, with its output in a file. It is ended by its
// own id when the object goes (SIGTERM, then waited for).
class ChildProcess final {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (searched on PATH) with stdout and stderr into
    // `outputPath`; false when it cannot be started.
    bool Start(const std::vector<std::string>& argv, const std::string& outputPath);
    // The exit status once the process has ended within `timeout`; a death
    // by signal reads as 128 + the signal number.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    // SIGTERM and wait.
    void Stop();
    pid_t Pid() const { return m_nPid; }

private:
    pid_t m_nPid = -1;
    std::optional<int> m_status;
};

} // namespace e2e
