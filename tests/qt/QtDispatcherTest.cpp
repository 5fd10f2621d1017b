// The window's dispatcher on Qt's own loop: calls from other threads, the
// conversation's timer and the jobs' deadlines as QTimers, stopping.

#include "gui/QtDispatcher.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace pemblor {
namespace {

TEST(QtDispatcher, InvokeRunsOnTheUiThreadWhileTheCallerWaits)
{
    QtDispatcher dispatcher;
    std::atomic<bool> done{false};
    bool result = false;
    QThread* ranOn = nullptr;
    std::thread caller([&] {
        int value = 0;
        result = dispatcher.Invoke([&] {
            ranOn = QThread::currentThread();
            value = 17;
        });
        EXPECT_EQ(value, 17);
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }));
    caller.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, QThread::currentThread());
    bool atOnce = false;
    EXPECT_TRUE(dispatcher.Invoke([&] { atOnce = true; }));
    EXPECT_TRUE(atOnce) << "on the user-interface thread itself the call runs at once";
}

// A caller waiting for a call the user-interface thread has not started is
// released by Stop, and later callers return at once; the wake left queued
// runs nothing, and posted calls are dropped.
TEST(QtDispatcher, StopReleasesWaitingCallersWithoutRunningTheirCalls)
{
    QtDispatcher dispatcher;
    std::atomic<int> calls{0};
    std::atomic<int> result{-1};
    std::thread caller([&] { result = dispatcher.Invoke([&] { ++calls; }) ? 1 : 0; });
    while (result == -1) {
        dispatcher.Stop();
        std::this_thread::yield();
    }
    caller.join();
    EXPECT_EQ(result.load(), 0);

    std::thread late([&] { result = dispatcher.Invoke([&] { ++calls; }) ? 1 : 0; });
    late.join();
    EXPECT_EQ(result.load(), 0);
    struct Counted final : PostedCall {
        std::atomic<int>* calls;
        void Run() override { ++*calls; }
    } posted;
    posted.calls = &calls;
    dispatcher.Post(posted);
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.load(), 0);
}

// Posted calls run later on the user-interface thread, each once however
// often it was posted meanwhile, and not once cancelled.
TEST(QtDispatcher, PostedCallsRunLaterOnTheUiThreadOnce)
{
    QtDispatcher dispatcher;
    struct Recorded final : PostedCall {
        std::atomic<int> runs{0};
        std::atomic<QThread*> ranOn{nullptr};
        void Run() override
        {
            ranOn = QThread::currentThread();
            ++runs;
        }
    } once, cancelled;
    std::thread poster([&] {
        dispatcher.Post(once);
        dispatcher.Post(once);
        dispatcher.Post(cancelled);
        dispatcher.Cancel(cancelled);
    });
    poster.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return once.runs.load() > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(once.runs.load(), 1);
    EXPECT_EQ(once.ranOn.load(), QThread::currentThread());
    EXPECT_EQ(cancelled.runs.load(), 0);
}

// WaitServing serves other threads' calls and the conversation's timer.
TEST(QtDispatcher, WaitServingServesCallsAndTicks)
{
    QtDispatcher dispatcher;
    int ticks = 0;
    dispatcher.SetTickHandler([&] { ++ticks; });
    dispatcher.ArmTimer(1);
    std::atomic<bool> served{false};
    std::thread caller([&] { served = dispatcher.Invoke([] {}); });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((!served || ticks == 0) && std::chrono::steady_clock::now() < giveUp)
        dispatcher.WaitServing(20);
    caller.join();
    dispatcher.DisarmTimer();
    EXPECT_TRUE(served.load());
    EXPECT_GE(ticks, 1);
}

// The jobs' deadlines beside the conversation's timer: each at its own time,
// scheduling again replaces, a cancelled one never runs, and one may schedule
// itself again from Expired. Due times lie far apart, so the order holds on a
// busy machine too.
TEST(QtDispatcher, EachDeadlineRunsOnceAtItsOwnTimeBesideTheTimer)
{
    using Clock = std::chrono::steady_clock;
    QtDispatcher dispatcher;
    struct Marked final : Deadline {
        std::vector<int>* log = nullptr;
        int mark = 0;
        Clock::time_point due;
        bool early = false;
        std::function<void()> then;
        void Expired() override
        {
            // Qt counts whole milliseconds.
            early = early || Clock::now() + std::chrono::milliseconds(1) < due;
            log->push_back(mark);
            if (then)
                then();
        }
    };
    std::vector<int> log;
    std::vector<Marked> deadlines(4);
    for (int i = 0; i < 4; ++i) {
        deadlines[i].log = &log;
        deadlines[i].mark = i;
    }
    const auto schedule = [&](int i, unsigned ms) {
        deadlines[i].due = Clock::now() + std::chrono::milliseconds(ms);
        dispatcher.Schedule(deadlines[i], ms);
    };
    int ticks = 0;
    dispatcher.SetTickHandler([&] { ++ticks; });
    dispatcher.ArmTimer(100);
    schedule(0, 200);
    schedule(1, 40);
    schedule(2, 60);
    schedule(2, 300); // replaces its 60
    schedule(3, 50);
    dispatcher.Cancel(deadlines[3]);
    int again = 0;
    deadlines[1].then = [&] {
        if (++again < 3)
            schedule(1, 40);
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return log.size() >= 5 && ticks >= 2; }));
    dispatcher.DisarmTimer();
    EXPECT_EQ(log, (std::vector<int>{1, 1, 1, 0, 2}));
    for (const Marked& deadline : deadlines)
        EXPECT_FALSE(deadline.early) << "deadline " << deadline.mark << " ran before its time";
    const int ticksAtDisarm = ticks;
    dispatcher.WaitServing(250);
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(ticks, ticksAtDisarm);
}

} // namespace
} // namespace pemblor
