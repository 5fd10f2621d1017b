#include "bench/BurstDriver.h"

#include "gui/CDeviceListDlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>

namespace pemblor::bench {
namespace {

using Clock = ReplyClock::Clock;

constexpr int kMacColumn = 5;
constexpr std::chrono::milliseconds kWindowWait{10000};

QPushButton* FindButton(QWidget* window, const char* name)
{
    return window ? window->findChild<QPushButton*>(QString::fromLatin1(name)) : nullptr;
}

// Resident memory of this process, in KiB.
double ResidentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6));
    }
    return 0;
}

double MillisSince(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

constexpr int kIpColumn = 2;
constexpr auto kLiveRoundCap = std::chrono::seconds(20);

} // namespace

BurstDriver::BurstDriver(const BurstSettings& settings, const ReplyClock& clock, CDeviceListDlg& dialog)
    : m_settings(settings), m_clock(clock), m_dialog(dialog)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
}

void BurstDriver::Start()
{
    m_startedAt = Clock::now();
    m_timer.start();
}

void BurstDriver::Poll()
{
    if (m_bFinished)
        return;
    CloseMessageBoxes();
    if (m_nLivePhase != 0) {
        WatchLiveRound();
        return;
    }
    if (!m_pWindow) {
        if (FindWindow()) {
            PressDiscover();
        } else if (Clock::now() - m_startedAt > kWindowWait) {
            m_result.failure = "the device list window did not come up";
            m_bFinished = true;
            m_timer.stop();
        }
        return;
    }
    Watch();
}

bool BurstDriver::FindWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible())
            continue;
        QPushButton* discover = FindButton(widget, "IDC_BTN_DISCOVER");
        auto* list = widget->findChild<QAbstractItemView*>(QStringLiteral("IDC_LIST_DEVICES"));
        if (discover && list) {
            m_pWindow = widget;
            m_pList = list;
            return true;
        }
    }
    return false;
}

void BurstDriver::PressDiscover()
{
    QPushButton* discover = FindButton(m_pWindow, "IDC_BTN_DISCOVER");
    if (!discover->isEnabled()) {
        m_result.failure = "Discover is disabled (the network endpoint did not open?)";
        Finish();
        return;
    }
    m_result.rssBeforeKb = ResidentKb();
    m_result.discoverAt = Clock::now();
    m_result.lastGrowthAt = m_result.discoverAt;
    m_quietSince = m_result.discoverAt;
    discover->click();
    if (m_settings.holdCycle)
        m_dialog.GetSession().discovery().DisarmTimer();
}

void BurstDriver::Watch()
{
    if (!m_pList) {
        m_result.failure = "the device table went away";
        Finish();
        return;
    }
    const Clock::time_point now = Clock::now();
    const QAbstractItemModel& model = *m_pList->model();
    const int rows = model.rowCount();
    // A row is complete once its MAC text, the last cell written, is there;
    // rows are filled in order.
    while (m_nCompleteRows < rows && !model.data(model.index(m_nCompleteRows, kMacColumn)).toString().isEmpty())
        ++m_nCompleteRows;
    const long replies = m_clock.DiscoveryReplies() + m_clock.OtherReplies();
    if (rows != m_nLastRows)
        m_result.lastGrowthAt = now;
    if (rows != m_nLastRows || replies != m_nLastReplies || m_dialog.GetSession().discovery().State() == Discovering)
        m_quietSince = now;
    m_nLastRows = rows;
    m_nLastReplies = replies;
    if (m_result.rowsAtCycleEnd < 0 && now - m_result.discoverAt >= m_settings.cycle)
        m_result.rowsAtCycleEnd = m_nCompleteRows;

    if (m_nCompleteRows >= m_settings.aps) {
        m_result.complete = true;
        m_result.completeAt = now;
        // What the first paint of the full table costs: the view lays out
        // its rows lazily, at the next paint.
        const Clock::time_point paintFrom = Clock::now();
        m_pList->viewport()->repaint();
        m_result.paintTime = Clock::now() - paintFrom;
        m_result.rssFullKb = ResidentKb();
        if (m_settings.workspace) {
            MeasureSortAndFilter();
            StartLiveRound();
            return;
        }
        Finish();
        return;
    }
    if (now - m_quietSince >= m_settings.settle) {
        m_result.cycleEnded = true;
        Finish();
        return;
    }
    const Clock::time_point first = m_clock.First();
    const bool replied = first != Clock::time_point{};
    if (replied ? now - first >= m_settings.cap : now - m_result.discoverAt >= m_settings.firstReplyCap) {
        m_result.timedOut = true;
        Finish();
    }
}

void BurstDriver::CloseMessageBoxes()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible()) {
            m_result.messages.push_back(box->text().toStdString());
            box->done(QMessageBox::Ok);
        }
    }
}

void BurstDriver::Finish()
{
    m_result.stoppedAt = Clock::now();
    m_bFinished = true;
    m_timer.stop();
    if (m_pList) {
        const QAbstractItemModel& model = *m_pList->model();
        m_result.rows = model.rowCount();
        QSet<QString> macs;
        macs.reserve(m_result.rows);
        for (int row = 0; row < m_result.rows; ++row) {
            const QString mac = model.data(model.index(row, kMacColumn)).toString();
            if (!mac.isEmpty())
                macs.insert(mac);
        }
        m_result.distinctMacs = static_cast<int>(macs.size());
    }
    if (QPushButton* close = FindButton(m_pWindow, "IDCANCEL"))
        close->click();
    else if (m_pWindow)
        m_pWindow->close();
}

void BurstDriver::MeasureSortAndFilter()
{
    auto* view = qobject_cast<QTreeView*>(m_pList.data());
    auto* filter = m_pWindow->findChild<QLineEdit*>(QStringLiteral("filter"));
    if (!view || !filter) {
        m_result.workspaceFailure = "no table view or filter field";
        return;
    }
    QHeaderView* header = view->header();
    const QPoint ipHeading(header->sectionViewportPosition(kIpColumn) + 4, header->height() / 2);
    const QPoint noHeading(header->sectionViewportPosition(0) + 4, header->height() / 2);
    // How long an input takes until the view is repainted.
    const auto timed = [view](std::vector<double>& into, const std::function<void()>& input) {
        const Clock::time_point from = Clock::now();
        input();
        view->viewport()->repaint();
        into.push_back(MillisSince(from));
    };
    for (int i = 0; i < m_settings.workspaceRepeats; ++i) {
        // By address, then back to the order of arrival.
        for (const QPoint& heading : {ipHeading, noHeading})
            timed(m_result.sortMs, [&] { QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, heading); });
    }
    filter->setFocus();
    const QString typed = QStringLiteral("lab-12");
    for (int i = 0; i < m_settings.workspaceRepeats; ++i) {
        for (const QChar c : typed)
            timed(m_result.filterMs, [&] { QTest::keyClick(filter, c.toLatin1()); });
        for (qsizetype k = 0; k < typed.size(); ++k)
            timed(m_result.filterMs, [&] { QTest::keyClick(filter, Qt::Key_Backspace); });
    }
}

void BurstDriver::StartLiveRound()
{
    // The Discover cycle runs on; the round follows once it has ended.
    m_nLivePhase = 1;
    m_liveSince = Clock::now();
    m_lastTick = m_liveSince;
    m_result.liveMaxBlockMs = 0;
}

void BurstDriver::WatchLiveRound()
{
    // The poll runs every millisecond on the user-interface thread: the
    // gap between two polls is how long that thread was kept from its
    // events.
    const Clock::time_point now = Clock::now();
    if (m_nLivePhase == 2) {
        m_result.liveMaxBlockMs =
            std::max(m_result.liveMaxBlockMs, std::chrono::duration<double, std::milli>(now - m_lastTick).count());
    }
    m_lastTick = now;
    const auto end = [this](const char* failure) {
        if (failure)
            m_result.workspaceFailure = failure;
        m_nLivePhase = 0;
        Finish();
    };
    const ConversationState state = m_dialog.GetSession().discovery().State();
    if (m_nLivePhase == 1 && state != Discovering) {
        auto* keep = m_pWindow->findChild<QCheckBox*>(QStringLiteral("IDC_CHK_KEEP_DISCOVERING"));
        if (!keep)
            return end("no Keep discovering check box");
        m_liveStartMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        // Ticked, the first round goes at once; unticked again, that round
        // runs to its end and no other follows, so its end can be seen.
        keep->click();
        keep->click();
        m_nLivePhase = 2;
        m_lastTick = Clock::now();
    } else if (m_nLivePhase == 2 && state != Discovering) {
        int heard = 0;
        const DeviceRegistry& devices = m_dialog.Devices();
        for (int i = 0; i < devices.Size(); ++i) {
            devices.Visit(i, [&](const DeviceRecord& record) {
                if (record.lastHeard >= m_liveStartMs)
                    ++heard;
            });
        }
        m_result.liveHeard = heard;
        return end(nullptr);
    }
    if (now - m_liveSince > kLiveRoundCap)
        end("the live round did not end");
}

} // namespace pemblor::bench
