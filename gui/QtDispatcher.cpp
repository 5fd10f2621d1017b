#include "gui/QtDispatcher.h"

#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdint>

namespace pemblor {

namespace {

int Milliseconds(unsigned ms)
{
    return ms > static_cast<unsigned>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

} // namespace

QtDispatcher::QtDispatcher()
    : QueuedDispatcher([this] { Wake(); })
    , m_receiver(std::make_unique<QObject>())
    , m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , m_timer(std::make_unique<QTimer>())
{
    if (m_wakeFd >= 0) {
        m_wakeNotifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
        QObject::connect(m_wakeNotifier.get(), &QSocketNotifier::activated, m_receiver.get(), [this] { Serve(); });
    }
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_receiver.get(), [this] {
        if (m_tick)
            m_tick();
    });
}

QtDispatcher::~QtDispatcher()
{
    Stop();
    m_wakeNotifier.reset();
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

void QtDispatcher::Wake()
{
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = write(m_wakeFd, &one, sizeof one);
    } else {
        QMetaObject::invokeMethod(m_receiver.get(), [this] { Serve(); }, Qt::QueuedConnection);
    }
}

// Invocations first, then the posted calls; a call queued while these run
// wakes the loop again.
void QtDispatcher::Serve()
{
    if (m_wakeFd >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);
    }
    m_calls.Serve();
}

void QtDispatcher::ArmTimer(unsigned periodMs)
{
    m_timer->start(Milliseconds(periodMs));
}

void QtDispatcher::DisarmTimer()
{
    m_timer->stop();
}

void QtDispatcher::Schedule(Deadline& deadline, unsigned delayMs)
{
    std::unique_ptr<QTimer>& timer = m_deadlines[&deadline];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, m_receiver.get(), [this, pointer = &deadline] {
            const auto it = m_deadlines.find(pointer);
            if (it == m_deadlines.end())
                return;
            // Expired may schedule the deadline again: its timer goes first.
            it->second.release()->deleteLater();
            m_deadlines.erase(it);
            pointer->Expired();
        });
    }
    timer->start(Milliseconds(delayMs));
}

void QtDispatcher::Cancel(Deadline& deadline)
{
    const auto it = m_deadlines.find(&deadline);
    if (it == m_deadlines.end())
        return;
    it->second->stop();
    m_deadlines.erase(it);
}

void QtDispatcher::WaitServing(unsigned ms)
{
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace pemblor
