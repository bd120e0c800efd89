#include "remoteimage/RemoteImageCache.h"

#include <QMutexLocker>

namespace remoteimage {

DefaultRemoteImageCache::DefaultRemoteImageCache(int countLimit, qint64 byteBudget)
    : m_countLimit(countLimit)
    , m_byteBudget(byteBudget)
{
}

std::shared_ptr<DefaultRemoteImageCache> DefaultRemoteImageCache::shared()
{
    static const auto cache = std::make_shared<DefaultRemoteImageCache>(sharedCountLimit, sharedByteBudget);
    return cache;
}

QImage DefaultRemoteImageCache::image(const QUrl& url)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_index.constFind(url);
    if (found == m_index.constEnd())
        return {};
    m_entries.splice(m_entries.begin(), m_entries, *found);
    return m_entries.front().image;
}

void DefaultRemoteImageCache::setImage(const QImage& image, const QUrl& url)
{
    QMutexLocker lock(&m_mutex);
    if (const auto found = m_index.constFind(url); found != m_index.constEnd())
        removeLocked(*found);
    const qint64 bytes = image.sizeInBytes();
    if (image.isNull() || bytes > m_byteBudget || m_countLimit <= 0)
        return;
    m_entries.push_front({url, image});
    m_index.insert(url, m_entries.begin());
    m_totalBytes += bytes;
    while (m_totalBytes > m_byteBudget || int(m_entries.size()) > m_countLimit)
        removeLocked(std::prev(m_entries.end()));
}

int DefaultRemoteImageCache::count() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

qint64 DefaultRemoteImageCache::totalBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_totalBytes;
}

void DefaultRemoteImageCache::removeLocked(std::list<Entry>::iterator it)
{
    m_totalBytes -= it->image.sizeInBytes();
    m_index.remove(it->url);
    m_entries.erase(it);
}

} // namespace remoteimage
