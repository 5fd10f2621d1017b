// The windows' dispatcher gives each job deadlines of its own beside the
// conversation's timer: window timers from ToolkitDispatcher's first deadline
// id up, which the owning window passes on.
#include "resources/ResourceIds.h"
#include "toolkit/IDialogHandler.h"
#include "toolkit/fake/FakeToolkit.h"
#include "ui/devicelist/ToolkitDispatcher.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace pemblor {
namespace {

using Log = std::vector<std::pair<int, FakeToolkit::Millis>>;

// A window that owns a dispatcher, as the device list window does.
class Owner final : public IDialogHandler {
public:
    explicit Owner(FakeToolkit& toolkit) : dispatcher(toolkit) {}
    bool OnInitDialog(IWindow& window) override
    {
        dispatcher.SetWindow(&window);
        return true;
    }
    void OnCommand(int) override {}
    void OnCancel() override {}
    void OnTimer(unsigned id) override
    {
        if (!dispatcher.OnDeadlineTimer(id))
            timerTicks.push_back(id);
    }
    ToolkitDispatcher dispatcher;
    std::vector<unsigned> timerTicks;
};

struct Marked final : Deadline {
    Log* log = nullptr;
    FakeToolkit* clock = nullptr;
    int mark = 0;
    std::function<void()> then;
    void Expired() override
    {
        log->emplace_back(mark, clock->Now());
        if (then)
            then();
    }
};

TEST(ToolkitDeadlines, EachDeadlineRunsOnceAtItsOwnTimeBesideTheConversationsTimer)
{
    FakeToolkit toolkit;
    Owner owner(toolkit);
    FakeWindow& window = toolkit.Open(owner, IDD_DEVICELIST);
    Log log;
    std::vector<Marked> deadlines(4);
    for (int i = 0; i < 4; ++i) {
        deadlines[i].log = &log;
        deadlines[i].clock = &toolkit;
        deadlines[i].mark = i;
    }
    const FakeToolkit::Millis start = toolkit.Now();
    owner.dispatcher.ArmTimer(2500);
    owner.dispatcher.Schedule(deadlines[0], 3000);
    owner.dispatcher.Schedule(deadlines[1], 1000);
    owner.dispatcher.Schedule(deadlines[2], 2000);
    owner.dispatcher.Schedule(deadlines[2], 4000); // replaces its 2000
    owner.dispatcher.Schedule(deadlines[3], 1500);
    owner.dispatcher.Cancel(deadlines[3]);
    int again = 0;
    deadlines[1].then = [&] {
        if (++again < 3)
            owner.dispatcher.Schedule(deadlines[1], 1000);
    };
    toolkit.Advance(5000);
    owner.dispatcher.DisarmTimer();
    EXPECT_EQ(log, (Log{{1, start + 1000}, {1, start + 2000}, {0, start + 3000}, {1, start + 3000},
                        {2, start + 4000}}));
    EXPECT_EQ(owner.timerTicks, (std::vector<unsigned>{1, 1}));
    toolkit.Advance(5000);
    EXPECT_EQ(log.size(), 5u);
    owner.dispatcher.SetWindow(nullptr);
    toolkit.EndDialog(window, 0);
}

} // namespace
} // namespace pemblor
