#include "UiDriver.h"

#include <QMetaObject>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace e2e {
namespace {

// Generous: the user-interface thread serves calls even while the program
// waits on it, so only a hang lets this pass.
constexpr std::chrono::seconds kServeDeadline{15};
constexpr std::chrono::milliseconds kPollPeriod{20};

} // namespace

void Expect(bool ok, const std::string& what)
{
    if (!ok)
        throw StepFailed(what);
}

UiDriver::UiDriver(QObject* context) : m_pContext(context) {}

void UiDriver::Run(const std::function<void()>& call)
{
    struct Served {
        std::mutex mutex;
        std::condition_variable done;
        bool bDone = false;
    };
    auto served = std::make_shared<Served>();
    QMetaObject::invokeMethod(
        m_pContext,
        [served, &call] {
            call();
            std::lock_guard lock(served->mutex);
            served->bDone = true;
            served->done.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(served->mutex);
    if (!served->done.wait_for(lock, kServeDeadline, [&] { return served->bDone; })) {
        // The queued call still refers to `call`; the process must not go on.
        std::fprintf(stderr, "FAIL: the user-interface thread did not respond within %lld s\n",
                     static_cast<long long>(kServeDeadline.count()));
        std::fflush(nullptr);
        std::_Exit(1);
    }
}

void UiDriver::Post(std::function<void()> action)
{
    QMetaObject::invokeMethod(m_pContext, std::move(action), Qt::QueuedConnection);
}

std::chrono::milliseconds UiDriver::WaitFor(std::string_view what, std::chrono::milliseconds timeout,
                                            const std::function<bool()>& condition)
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        bool holds = false;
        Run([&] { holds = condition(); });
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        if (holds)
            return waited;
        if (waited >= timeout)
            throw StepFailed("waited " + std::to_string(waited.count()) + " ms for: " + std::string(what));
        std::this_thread::sleep_for(kPollPeriod);
    }
}

} // namespace e2e
