// The one event loop behind pemblorctl and the engine's tests: calls from
// other threads, the timer, deadlines, stopping, on the steady and the
// virtual clock.
#include "engine/EventLoop.h"
#include "tests/fakenet/VirtualClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace pemblor {
namespace {

struct Recorded final : PostedCall {
    std::vector<int>* log = nullptr;
    int value = 0;
    void Run() override { log->push_back(value); }
};

TEST(EventLoop, InvocationsAndPostsRunOnTheLoopThreadInOrder)
{
    SteadyClock clock;
    EventLoop loop(clock);
    std::vector<int> log;
    std::vector<Recorded> calls(3);
    std::atomic<bool> invoked{false};
    std::thread::id ranOn;
    std::thread other([&] {
        for (int i = 0; i < 3; ++i) {
            calls[i].log = &log;
            calls[i].value = i;
            loop.Post(calls[i]);
        }
        invoked = loop.Invoke([&] {
            ranOn = std::this_thread::get_id();
            log.push_back(99);
        });
    });
    EXPECT_TRUE(loop.RunUntil(loop.Now() + 10000, [&] { return log.size() == 4; }));
    other.join();
    EXPECT_TRUE(invoked);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    std::vector<int> posted(log.begin(), log.end());
    std::erase(posted, 99);
    EXPECT_EQ(posted, (std::vector<int>{0, 1, 2}));
}

// Posting a call already queued queues it once; a cancelled one never runs;
// Invoke on the loop's own thread runs at once.
TEST(EventLoop, APostedCallRunsOnceAndNotAfterCancel)
{
    VirtualClock clock;
    EventLoop loop(clock);
    std::vector<int> log;
    Recorded once, cancelled;
    once.log = cancelled.log = &log;
    once.value = 1;
    cancelled.value = 2;
    loop.Post(once);
    loop.Post(once);
    loop.Post(cancelled);
    loop.Cancel(cancelled);
    bool ranAtOnce = false;
    EXPECT_TRUE(loop.Invoke([&] { ranAtOnce = log.empty(); }));
    EXPECT_TRUE(ranAtOnce);
    loop.Advance(0);
    EXPECT_EQ(log, (std::vector<int>{1}));
}

TEST(EventLoop, TimerTicksEveryPeriodOnVirtualTimeUntilDisarmed)
{
    VirtualClock clock([] { return true; });
    EventLoop loop(clock);
    std::vector<EventLoop::Millis> ticks;
    loop.SetTickHandler([&] {
        ticks.push_back(loop.Now());
        if (ticks.size() == 3)
            loop.DisarmTimer();
    });
    loop.ArmTimer(5000);
    EXPECT_TRUE(loop.TimerArmed());
    EXPECT_EQ(loop.TimerPeriod(), 5000);
    loop.Advance(60000);
    EXPECT_EQ(ticks, (std::vector<EventLoop::Millis>{5000, 10000, 15000}));
    EXPECT_EQ(loop.Now(), 60000);
    EXPECT_FALSE(loop.TimerArmed());
    // Arming again counts anew from now, and replaces the period.
    loop.ArmTimer(1000);
    loop.Advance(1500);
    loop.ArmTimer(2000);
    loop.Advance(4000);
    EXPECT_EQ(ticks, (std::vector<EventLoop::Millis>{5000, 10000, 15000, 61000, 63500, 65500}));
}

TEST(EventLoop, StopReleasesAWaitingInvokerWithoutRunningItsCall)
{
    SteadyClock clock;
    EventLoop loop(clock);
    std::atomic<int> result{-1};
    bool ran = false;
    std::thread other([&] { result = loop.Invoke([&] { ran = true; }) ? 1 : 0; });
    // The loop never serves: the invoker waits until Stop lets it go.
    while (result == -1) {
        loop.Stop();
        std::this_thread::yield();
    }
    other.join();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(ran);
    std::thread late([&] { result = loop.Invoke([&] { ran = true; }) ? 1 : 0; });
    late.join();
    EXPECT_EQ(result, 0);
    // Calls posted before or after Stop never run.
    std::vector<int> log;
    Recorded posted;
    posted.log = &log;
    loop.Post(posted);
    loop.Advance(0);
    EXPECT_TRUE(log.empty());
}

// The jobs' deadlines: each at its own time, beside the timer; scheduling
// again replaces, a cancelled one never runs, and one may schedule itself
// again from Expired. At the same time, what was scheduled first runs first.
TEST(EventLoop, DeadlinesRunOnceEachAtTheirOwnTimes)
{
    VirtualClock clock([] { return true; });
    EventLoop loop(clock);
    std::vector<std::pair<int, EventLoop::Millis>> log;
    loop.SetTickHandler([&] { log.emplace_back(-1, loop.Now()); });
    struct Marked final : Deadline {
        std::vector<std::pair<int, EventLoop::Millis>>* log;
        EventLoop* loop;
        int mark;
        std::function<void()> then;
        void Expired() override
        {
            log->emplace_back(mark, loop->Now());
            if (then)
                then();
        }
    };
    std::vector<Marked> deadlines(4);
    for (int i = 0; i < 4; ++i) {
        deadlines[i].log = &log;
        deadlines[i].loop = &loop;
        deadlines[i].mark = i;
    }
    loop.ArmTimer(2500);
    loop.Schedule(deadlines[0], 3000);
    loop.Schedule(deadlines[1], 1000);
    loop.Schedule(deadlines[2], 2000);
    loop.Schedule(deadlines[2], 4000);
    loop.Schedule(deadlines[3], 1500);
    loop.Cancel(deadlines[3]);
    EXPECT_EQ(loop.PendingDeadlines(), 3u);
    int again = 0;
    deadlines[1].then = [&] {
        if (++again < 3)
            loop.Schedule(deadlines[1], 1000);
    };
    loop.Advance(5000);
    loop.DisarmTimer();
    EXPECT_EQ(log, (std::vector<std::pair<int, EventLoop::Millis>>{
                       {1, 1000}, {1, 2000}, {-1, 2500}, {0, 3000}, {1, 3000}, {2, 4000}, {-1, 5000}}));
    EXPECT_EQ(loop.PendingDeadlines(), 0u);
}

// Virtual time waits for the other threads: an event due later does not run
// until the work they have on its way has reached the loop, so a reply sent
// "at once" is always handled before a later deadline.
TEST(EventLoop, VirtualTimeStandsStillUntilOtherThreadsAreQuiet)
{
    std::atomic<bool> busy{true};
    std::atomic<int> probes{0};
    VirtualClock clock([&] {
        ++probes;
        return !busy.load();
    });
    EventLoop loop(clock);
    std::vector<std::pair<int, EventLoop::Millis>> log;
    Recorded reply;
    std::vector<int> replies;
    reply.log = &replies;
    reply.value = 7;
    loop.After(100, [&] { log.emplace_back(0, loop.Now()); });
    std::thread worker([&] {
        // The loop has found the thread busy a few times before its work comes.
        while (probes.load() < 3)
            std::this_thread::yield();
        loop.Post(reply);
        loop.Invoke([&] { log.emplace_back(1, loop.Now()); });
        busy = false;
    });
    loop.Advance(1000);
    worker.join();
    EXPECT_EQ(log, (std::vector<std::pair<int, EventLoop::Millis>>{{1, 0}, {0, 100}}))
        << "the other thread's call ran before time moved";
    EXPECT_EQ(replies, (std::vector<int>{7}));
    EXPECT_EQ(loop.Now(), 1000);
    EXPECT_FALSE(clock.Stalled());
}

// RunUntil returns as soon as its condition holds, without moving time on.
TEST(EventLoop, RunUntilStopsWhenDone)
{
    VirtualClock clock;
    EventLoop loop(clock);
    bool fired = false;
    loop.After(300, [&] { fired = true; });
    loop.After(900, [] {});
    EXPECT_TRUE(loop.RunUntil(10000, [&] { return fired; }));
    EXPECT_EQ(loop.Now(), 300);
    EXPECT_FALSE(loop.RunUntil(600, [] { return false; }));
    EXPECT_EQ(loop.Now(), 600);
}

} // namespace
} // namespace pemblor
