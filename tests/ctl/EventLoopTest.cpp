#include "ctl/EventLoop.h"
#include "ctl/LoopDispatcher.h"
#include "tests/ctl/VirtualLoopClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace pemblor {
namespace {

struct Recorded : EventLoop::Task {
    std::vector<int>* log = nullptr;
    int value = 0;
    static void Record(EventLoop::Task& task)
    {
        auto& self = static_cast<Recorded&>(task);
        self.log->push_back(self.value);
    }
};

TEST(EventLoop, InvocationsAndPostsRunOnTheLoopThreadInOrder)
{
    SteadyLoopClock clock;
    EventLoop loop(clock);
    std::vector<int> log;
    std::vector<Recorded> tasks(3);
    std::atomic<bool> invoked{false};
    std::thread::id ranOn;
    std::thread other([&] {
        for (int i = 0; i < 3; ++i) {
            tasks[i].run = &Recorded::Record;
            tasks[i].log = &log;
            tasks[i].value = i;
            loop.Post(tasks[i]);
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
    EXPECT_EQ(log, (std::vector<int>{0, 1, 2, 99}));
}

TEST(EventLoop, TimerTicksEveryPeriodOnVirtualTimeUntilDisarmed)
{
    VirtualLoopClock clock([] { return true; });
    EventLoop loop(clock);
    std::vector<EventLoop::Millis> ticks;
    loop.ArmTimer(5000, [&] {
        ticks.push_back(loop.Now());
        if (ticks.size() == 3)
            loop.DisarmTimer();
    });
    loop.Wait(60000);
    EXPECT_EQ(ticks, (std::vector<EventLoop::Millis>{5000, 10000, 15000}));
    EXPECT_EQ(loop.Now(), 60000);
}

TEST(EventLoop, StopReleasesAWaitingInvokerWithoutRunningItsCall)
{
    SteadyLoopClock clock;
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
    EXPECT_FALSE(loop.Invoke([&] { ran = true; }));
}

// The jobs' deadlines on the command line's loop: each at its own time,
// beside the timer; scheduling again replaces, a cancelled one never runs,
// and one may schedule itself again from Expired.
TEST(LoopDispatcher, DeadlinesRunOnceEachAtTheirOwnTimes)
{
    VirtualLoopClock clock([] { return true; });
    EventLoop loop(clock);
    std::vector<EventLoop::Millis> ticks;
    LoopDispatcher dispatcher(loop, [&] { ticks.push_back(loop.Now()); });
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
    std::vector<std::pair<int, EventLoop::Millis>> log;
    std::vector<Marked> deadlines(4);
    for (int i = 0; i < 4; ++i) {
        deadlines[i].log = &log;
        deadlines[i].loop = &loop;
        deadlines[i].mark = i;
    }
    dispatcher.ArmTimer(2500);
    dispatcher.Schedule(deadlines[0], 3000);
    dispatcher.Schedule(deadlines[1], 1000);
    dispatcher.Schedule(deadlines[2], 2000);
    dispatcher.Schedule(deadlines[2], 4000);
    dispatcher.Schedule(deadlines[3], 1500);
    dispatcher.Cancel(deadlines[3]);
    int again = 0;
    deadlines[1].then = [&] {
        if (++again < 3)
            dispatcher.Schedule(deadlines[1], 1000);
    };
    loop.Wait(5000);
    dispatcher.DisarmTimer();
    EXPECT_EQ(log, (std::vector<std::pair<int, EventLoop::Millis>>{{1, 1000}, {1, 2000}, {0, 3000}, {1, 3000},
                                                                  {2, 4000}}));
    EXPECT_EQ(ticks, (std::vector<EventLoop::Millis>{2500, 5000}));
    // A deadline still pending when its dispatcher goes never runs.
    {
        LoopDispatcher brief(loop, [] {});
        brief.Schedule(deadlines[3], 100);
    }
    loop.Wait(1000);
    EXPECT_EQ(log.size(), 5u);
}

} // namespace
} // namespace pemblor
