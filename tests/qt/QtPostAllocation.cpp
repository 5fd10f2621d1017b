// Posting to the user-interface thread allocates nothing on the posting
// thread: the device list's receive thread posts once per batch of rows,
// which is once per reply when replies come one at a time. An executable of
// its own, since it replaces the global operator new.
#include "tests/support/AllocationCounter.h"
#include "gui/QtDispatcher.h"

#include <QApplication>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

struct Counted final : pemblor::PostedCall {
    std::atomic<int> ran{0};
    void Run() override { ran.fetch_add(1); }
};

TEST(QtPostAllocation, PostsFromAnotherThreadOneAtATimeAllocateNothing)
{
    pemblor::QtDispatcher dispatcher;
    Counted call;
    std::atomic<bool> warm{false};
    std::atomic<bool> counting{false};
    constexpr int posts = 100;
    long allocations = -1;
    std::thread poster([&] {
        dispatcher.Post(call);
        warm = true;
        while (!counting.load())
            std::this_thread::yield();
        for (int i = 1; i <= posts; ++i) {
            dispatcher.Post(call);
            while (call.ran.load() <= i)
                std::this_thread::yield();
        }
    });
    while (!warm.load() || call.ran.load() < 1)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    {
        pemblor::test::AllocationCount count;
        counting = true;
        while (call.ran.load() < posts + 1)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        poster.join();
        allocations = count.Stop();
    }
    EXPECT_EQ(allocations, 0) << "allocations on the posting thread for " << posts << " posts";
}

} // namespace

int main(int argc, char* argv[])
{
    // Test discovery runs it without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
