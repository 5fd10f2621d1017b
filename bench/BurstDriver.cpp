#include "bench/BurstDriver.h"

#include "resources/ResourceIds.h"
#include "toolkit/qt/QtWindow.h"
#include "ui/devicelist/CDeviceListDlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>

namespace pemblor::bench {
namespace {

using Clock = ReplyClock::Clock;

constexpr int kMacColumn = 5;
constexpr std::chrono::milliseconds kWindowWait{10000};

QPushButton* FindButton(QWidget* window, int id)
{
    return window ? window->findChild<QPushButton*>(QtWindow::ControlName(id)) : nullptr;
}

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
        QPushButton* discover = FindButton(widget, IDC_BTN_DISCOVER);
        auto* list = widget->findChild<QAbstractItemView*>(QtWindow::ControlName(IDC_LIST_DEVICES));
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
    QPushButton* discover = FindButton(m_pWindow, IDC_BTN_DISCOVER);
    if (!discover->isEnabled()) {
        m_result.failure = "Discover is disabled (the network endpoint did not open?)";
        Finish();
        return;
    }
    m_result.discoverAt = Clock::now();
    m_result.lastGrowthAt = m_result.discoverAt;
    m_quietSince = m_result.discoverAt;
    discover->click();
    if (m_settings.holdCycle)
        m_dialog.GetConversation().DisarmTimer();
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
    if (rows != m_nLastRows || replies != m_nLastReplies || m_dialog.GetConversation().State() == Discovering)
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
    if (QPushButton* close = FindButton(m_pWindow, IDCANCEL))
        close->click();
    else if (m_pWindow)
        m_pWindow->close();
}

} // namespace pemblor::bench
