#pragma once
#include "bench/ReplyClock.h"

#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstdint>
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
    // Once the table is complete: sort by heading clicks, filter by
    // keystrokes, and one live round (Keep discovering), each measured.
    bool workspace = false;
    int workspaceRepeats = 7;
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

    // --workspace: the medians and worst cases of what the user does with the
    // full table, and what a live round does to it.
    std::vector<double> sortMs;   // a heading click until the view is repainted
    std::vector<double> filterMs; // a keystroke in the filter until repainted
    int liveHeard = -1;           // devices whose reply the live round recorded
    double liveMaxBlockMs = -1;   // longest gap of the user-interface thread
    double rssBeforeKb = 0;       // before Discover
    double rssFullKb = 0;         // with the table complete
    std::string workspaceFailure;
};

// Drives the device list window from inside its modal loop on the
// user-interface thread: presses Discover through the button, watches the
// table's row count every millisecond, and closes the window through its
// Close button once the table is complete or the wait is over.
class BurstDriver final {
public:
    // Not copyable: it owns a timer whose slot points at it.
    BurstDriver(const BurstSettings& settings, const ReplyClock& clock, CDeviceListDlg& dialog);

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
    void MeasureSortAndFilter();
    void StartLiveRound();
    void WatchLiveRound();

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
    // The live round: 0 none, 1 waiting for it to start, 2 running.
    int m_nLivePhase = 0;
    ReplyClock::Clock::time_point m_liveSince{};
    ReplyClock::Clock::time_point m_lastTick{};
    std::int64_t m_liveStartMs = 0;
};

} // namespace pemblor::bench
