#include "toolkit/qt/QtCallReceiver.h"

#include "toolkit/qt/QtCallEvent.h"

#include <QCoreApplication>

namespace pemblor {

void QtCallReceiver::Post(QObject* receiver, std::uint64_t call)
{
    QCoreApplication::postEvent(receiver, new QtCallEvent(call));
}

void QtCallReceiver::customEvent(QEvent* event)
{
    if (event->type() == QtCallEvent::EventType())
        m_serve(static_cast<QtCallEvent*>(event)->Call());
    else
        QObject::customEvent(event);
}

} // namespace pemblor
