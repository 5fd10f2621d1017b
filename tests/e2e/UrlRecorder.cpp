#include "UrlRecorder.h"

namespace e2e {

QStringList UrlRecorder::Urls() const
{
    std::lock_guard lock(m_mutex);
    return m_urls;
}

void UrlRecorder::Open(const QUrl& url)
{
    std::lock_guard lock(m_mutex);
    m_urls << url.toString();
}

} // namespace e2e
