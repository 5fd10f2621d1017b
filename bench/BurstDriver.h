#pragma once
#include "bench/ReplyClock.h"

#include <QPointer>
#include <QTimer>

#include <chrono>
#include <string>
#include <vector>

class QAbstractItemView;
class QWidget;

namespace pemblor {
class CDeviceListDlg;
}

namespace pemblor::bench {

struct BurstSettings {
    int aps = 0;
    // Bound on the wait for a complete table, from the first reply.
    std::chrono::milliseconds cap{30000};
    // Bound on the wait for the first reply, from Discover.
    std::chrono::milliseconds firstReplyCap{10000};
    // The discovery cycle is over when the state has left Discovering and
    // neither a reply nor a row has come for this long.
    std::chrono::milliseconds settle{1000};
    // Rows listed this long after Discover are reported: what a cycle ended
    // by the window's own timer would have listed.
    std::chrono::milliseconds cycle{5000};
    // Disarm the window's discovery timer right after Discover, so that the
    // table can be measured to completion however long it takes.
    bool holdCycle = false;
};

struct BurstResult {
    using Clock = ReplyClock::Clock;
    std::string failure;               // empty when the run was measured
    std::vector<std::string> messages; // message boxes that came up
    int rows = 0;
    int distinctMacs = 0;
    int rowsAtCycleEnd = -1;
    Clock::time_point discoverAt{};
    Clock::time_point completeAt{};
    Clock::time_point lastGrowthAt{};
    Clock::time_point stoppedAt{};
    Clock::duration paintTime{};
    bool complete = false;
    bool timedOut = false;
    bool cycleEnded = false;
};

// Drives the device list window from inside its modal loop on the
// user-interface thread: presses Discover through the button, watches the
// table's row count every millisecond, and closes the window through its
// Close button once the table is complete or the wait is over.
class BurstDriver final {
public:
    BurstDriver(const BurstSettings& settings, const ReplyClock& clock, CDeviceListDlg& dialog);
    BurstDriver(const BurstDriver&) = delete;
    BurstDriver& operator=(const BurstDriver&) = delete;

    // Before the modal loop starts; the driver acts once the loop runs.
    void Start();
    const BurstResult& Result() const { return m_result; }

private:
    void Poll();
    bool FindWindow();
    void PressDiscover();
    void Watch();
    void CloseMessageBoxes();
    void Finish();

    BurstSettings m_settings;
    const ReplyClock& m_clock;
    CDeviceListDlg& m_dialog;
    QTimer m_timer;
    QPointer<QWidget> m_pWindow;
    QPointer<QAbstractItemView> m_pList;
    BurstResult m_result;
    ReplyClock::Clock::time_point m_startedAt{};
    ReplyClock::Clock::time_point m_quietSince{};
    int m_nLastRows = 0;
    int m_nCompleteRows = 0;
    long m_nLastReplies = 0;
    bool m_bFinished = false;
};

} // namespace pemblor::bench
