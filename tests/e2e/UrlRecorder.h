#pragma once
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <mutex>

namespace e2e {

// Stands in for the desktop's URL handler: registered for a scheme, it keeps
// every URL the program asks the desktop to open. Open runs on the
// user-interface thread; Urls may be read from any thread.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QStringList Urls() const;

public slots:
    void Open(const QUrl& url);

private:
    mutable std::mutex m_mutex;
    QStringList m_urls; // guarded by m_mutex
};

} // namespace e2e
