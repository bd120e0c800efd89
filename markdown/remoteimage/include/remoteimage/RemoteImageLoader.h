#pragma once

#include "remoteimage/RemoteImageCache.h"
#include "remoteimage/RemoteImageResult.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class QNetworkAccessManager;

namespace remoteimage {

// Bounds on what a server can make us hold; anything over them is undecodable.
struct RemoteImageLimits {
    static constexpr qint64 maxBodyBytes = 32LL * 1024 * 1024;
    static constexpr qint64 maxImageBytes = 128LL * 1024 * 1024; // decoded, at 32 bits per pixel
};

// Fetches and decodes images by URL.
class RemoteImageLoader {
public:
    using Completion = std::function<void(const RemoteImageResult&)>;

    virtual ~RemoteImageLoader() = default;

    // Loads the image at `url` and calls `completion` with the outcome: at once when the image is
    // cached, else later from the event loop of `context`'s thread. Nothing is called once
    // `context` is gone; the download itself goes on, so its result is still cached.
    virtual void image(const QUrl& url, QObject* context, Completion completion) = 0;
};

// The network access manager images are downloaded with: a disk cache of `diskCapacity` bytes in
// `cacheDirectory`, and a request given up after `timeout` without data.
QNetworkAccessManager* makeImageLoadingSession(qint64 diskCapacity, std::chrono::milliseconds timeout,
                                               const QString& cacheDirectory, QObject* parent = nullptr);

// Keeps at most one download per URL in flight and hands every requester of that URL the same
// result. Decodes off the calling thread; used from the thread it lives in.
class DefaultRemoteImageLoader final : public QObject, public RemoteImageLoader {
    Q_OBJECT
public:
    static constexpr qint64 sharedDiskCapacity = 100LL * 1024 * 1024;
    static constexpr std::chrono::seconds sharedTimeout{15};

    // Takes `session` as its child.
    DefaultRemoteImageLoader(std::shared_ptr<RemoteImageCache> cache, QNetworkAccessManager* session,
                             QObject* parent = nullptr);
    ~DefaultRemoteImageLoader() override;

    // The process-wide loader over the shared cache, with its disk cache in the user's cache
    // folder. Created on first use, on the main thread, and never released.
    static DefaultRemoteImageLoader& shared();

    void image(const QUrl& url, QObject* context, Completion completion) override;

private:
    struct Waiter {
        QPointer<QObject> context;
        Completion completion;
    };
    struct Task {
        QByteArray body;
        bool overBodyCap = false;
        std::vector<Waiter> waiters;
    };

    void start(const QUrl& url);
    // Appends what `reply` has to the body; past the cap, drops the body and aborts the reply.
    static void readBody(Task& task, QNetworkReply* reply);
    void onReplyFinished(const QUrl& url, QNetworkReply* reply);
    void finish(const QUrl& url, const RemoteImageResult& result);
    static void deliver(const Waiter& waiter, const RemoteImageResult& result);

    std::shared_ptr<RemoteImageCache> m_cache;
    QNetworkAccessManager* m_session;
    QHash<QUrl, std::shared_ptr<Task>> m_ongoingTasks;
};

} // namespace remoteimage
