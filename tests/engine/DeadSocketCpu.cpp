// CPU used by the receive thread while its socket fails every receive: the
// thread must wait between attempts instead of spinning. Prints the CPU time
// of the process over a few seconds of wall time, for a dead socket and, for
// comparison, an idle healthy one and a dead one retried without waiting.
#include "engine/EventLoop.h"
#include "engine/Session.h"
#include "tests/fakenet/FakeNetwork.h"

#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

namespace pemblor {
namespace {

class Listener final : public DiscoveryListener {
public:
    void DiscoveryEnded(int, const SilenceDiagnosis&) override {}
    void SendFailed(Request, int, std::string_view) override {}
    void ReceiveFailed(ReceiveFailure) override {}
};

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Measure(bool dead, bool backoff, std::chrono::seconds span)
{
    g_hRecvSocket = InvalidSocket;
    FakeNetwork net;
    auto layer = net.NewLayer("198.18.0.1");
    VirtualClock clock;
    EventLoop ui{clock};
    Listener listener;
    SessionConfig config;
    if (!backoff) {
        config.firstBackoff = std::chrono::milliseconds(0);
        config.maxBackoff = std::chrono::milliseconds(0);
    }
    Session session(*layer, ui, listener, std::move(config));
    session.Open();
    if (dead)
        layer->InjectFailure(FakeOp::Receive, EBADF, 0, -1);
    session.StartReceiveThread();
    const double before = CpuSeconds();
    std::this_thread::sleep_for(span);
    return CpuSeconds() - before;
}

} // namespace
} // namespace pemblor

int main()
{
    const auto span = std::chrono::seconds(5);
    const auto seconds = static_cast<long long>(span.count());
    const struct {
        const char* what;
        bool dead;
        bool backoff;
    } runs[] = {{"dead socket", true, true}, {"idle socket", false, true}, {"dead socket, retrying at once", true, false}};
    for (const auto& run : runs) {
        const double cpu = pemblor::Measure(run.dead, run.backoff, span);
        std::printf("%s: %.4f s CPU in %lld s (%.3f%%)\n", run.what, cpu, seconds,
                    100.0 * cpu / static_cast<double>(seconds));
    }
    return 0;
}
