#pragma once

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QUrl>

#include <list>
#include <memory>

namespace remoteimage {

// Decoded images by URL.
class RemoteImageCache {
public:
    virtual ~RemoteImageCache() = default;

    // The image stored for `url`, or a null image.
    virtual QImage image(const QUrl& url) = 0;
    // Stores `image` under `url`, replacing an earlier entry.
    virtual void setImage(const QImage& image, const QUrl& url) = 0;
};

// An in-memory cache bounded by an entry count and a byte budget; the least recently used
// entries go first. Safe to use from any thread.
class DefaultRemoteImageCache final : public RemoteImageCache {
public:
    static constexpr int sharedCountLimit = 100;
    static constexpr qint64 sharedByteBudget = 256LL * 1024 * 1024;

    DefaultRemoteImageCache(int countLimit, qint64 byteBudget);

    // The process-wide cache, created on first use and never released.
    static std::shared_ptr<DefaultRemoteImageCache> shared();

    QImage image(const QUrl& url) override;
    // An image larger than the whole budget is not stored (an older entry for `url` is dropped).
    void setImage(const QImage& image, const QUrl& url) override;

    int count() const;
    qint64 totalBytes() const;

private:
    struct Entry {
        QUrl url;
        QImage image;
    };

    void removeLocked(std::list<Entry>::iterator it);

    const int m_countLimit;
    const qint64 m_byteBudget;
    mutable QMutex m_mutex;
    std::list<Entry> m_entries; // most recently used first
    QHash<QUrl, std::list<Entry>::iterator> m_index;
    qint64 m_totalBytes = 0;
};

} // namespace remoteimage
