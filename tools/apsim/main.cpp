#include "Agent.h"
#include "LabAddress.h"
#include "Options.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t g_bStop = 0;

void OnStopSignal(int)
{
    g_bStop = 1;
}

} // namespace

int main(int argc, char** argv)
{
    apsim::Options options;
    std::string error;
    if (!options.Parse(argc, argv, error)) {
        std::fprintf(stderr, "apsim: %s (see apsim --help)\n", error.c_str());
        return 2;
    }
    if (options.wantsHelp) {
        std::fputs(apsim::Options::Usage(), stdout);
        return 0;
    }
    std::vector<apsim::AccessPoint> accessPoints;
    if (!options.BuildAccessPoints(accessPoints, error)) {
        std::fprintf(stderr, "apsim: %s\n", error.c_str());
        return 2;
    }
    if (options.printAddresses) {
        for (const apsim::AccessPoint& accessPoint : accessPoints)
            std::printf("%s\n", apsim::FormatAddress(accessPoint.runningAddress()).c_str());
        return 0;
    }
    if (!apsim::CheckLabNamespace(error)) {
        std::fprintf(stderr, "apsim: refusing to run outside a lab namespace: %s\n", error.c_str());
        return 3;
    }
    if (options.parentPid != 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != options.parentPid)
            return 0;
    }

    // The stop signals stay blocked except while the agent waits, so none
    // can slip in between its check of the flag and its wait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const std::size_t count = accessPoints.size();
    apsim::Agent agent(std::move(accessPoints), options.agent);
    if (!agent.Open(error)) {
        std::fprintf(stderr, "apsim: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "apsim: %zu access points on port %u\n", count, options.agent.port);
    if (options.agent.verbose)
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
    agent.Run(g_bStop, waitMask);
    return 0;
}
