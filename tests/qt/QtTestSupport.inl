#pragma once
#include <QApplication>
#include <QTimer>

#include <memory>

namespace pemblor {

template <typename T>
void WhenActive(std::function<void(T*)> act)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        QWidget* candidate = QApplication::activePopupWidget();
        if (!qobject_cast<T*>(candidate))
            candidate = QApplication::activeModalWidget();
        if (T* widget = qobject_cast<T*>(candidate)) {
            timer->stop();
            timer->deleteLater();
            act(widget);
        }
    });
    timer->start();
}

} // namespace pemblor
