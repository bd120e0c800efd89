#include "remoteimage/RemoteImageLoader.h"

#include "ImageDecoding.h"

#include <QAbstractNetworkCache>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

namespace remoteimage {

namespace {

// Only absolute HTTP(S) URLs with a host are fetched; anything else (file:, data:, relative,
// malformed) could never produce an HTTP response and must not touch the disk or the network.
bool isFetchable(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

RemoteImageError badServerResponse(const QString& message)
{
    return {RemoteImageError::Code::BadServerResponse, QNetworkReply::NoError, message};
}

RemoteImageError bodyTooLarge()
{
    return {RemoteImageError::Code::CannotDecodeContentData, QNetworkReply::NoError,
            QStringLiteral("The response body is too large.")};
}

} // namespace

QNetworkAccessManager* makeImageLoadingSession(qint64 diskCapacity, std::chrono::milliseconds timeout,
                                               const QString& cacheDirectory, QObject* parent)
{
    auto* session = new QNetworkAccessManager(parent);
    auto* diskCache = new QNetworkDiskCache(session);
    diskCache->setCacheDirectory(cacheDirectory);
    diskCache->setMaximumCacheSize(diskCapacity);
    session->setCache(diskCache);
    session->setTransferTimeout(int(timeout.count()));
    return session;
}

DefaultRemoteImageLoader::DefaultRemoteImageLoader(std::shared_ptr<RemoteImageCache> cache,
                                                   QNetworkAccessManager* session, QObject* parent)
    : QObject(parent)
    , m_cache(std::move(cache))
    , m_session(session)
{
    m_session->setParent(this);
}

DefaultRemoteImageLoader::~DefaultRemoteImageLoader()
{
    // Replies still running would report to a half-destroyed loader.
    const auto replies = m_session->findChildren<QNetworkReply*>();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
    }
}

DefaultRemoteImageLoader& DefaultRemoteImageLoader::shared()
{
    static DefaultRemoteImageLoader* const loader = [] {
        const QString directory = QStandardPaths::writableLocation(QStandardPaths::CacheLocation)
            + QStringLiteral("/remote-images");
        return new DefaultRemoteImageLoader(DefaultRemoteImageCache::shared(),
                                            makeImageLoadingSession(sharedDiskCapacity, sharedTimeout, directory));
    }();
    return *loader;
}

void DefaultRemoteImageLoader::image(const QUrl& url, QObject* context, Completion completion)
{
    const Waiter waiter{context ? context : this, std::move(completion)};
    if (!isFetchable(url)) {
        deliver(waiter, badServerResponse(QStringLiteral("Only http and https URLs are loaded.")));
        return;
    }
    if (const QImage cached = m_cache->image(url); !cached.isNull()) {
        // At once, so that a view built for a cached image shows it in its first layout.
        waiter.completion(cached);
        return;
    }
    if (const auto task = m_ongoingTasks.value(url)) {
        task->waiters.push_back(waiter);
        return;
    }
    auto task = std::make_shared<Task>();
    task->waiters.push_back(waiter);
    m_ongoingTasks.insert(url, task);
    start(url);
}

void DefaultRemoteImageLoader::start(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", "image/*");
    // A stored response is used whatever its age; the network only when nothing is stored.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
    QNetworkReply* reply = m_session->get(request);
    const std::shared_ptr<Task> task = m_ongoingTasks.value(url);

    connect(reply, &QNetworkReply::readyRead, this, [reply, task] { readBody(*task, reply); });
    connect(reply, &QNetworkReply::finished, this, [this, url, reply] { onReplyFinished(url, reply); });
}

void DefaultRemoteImageLoader::readBody(Task& task, QNetworkReply* reply)
{
    if (task.overBodyCap || !reply->isOpen())
        return;
    task.body += reply->read(RemoteImageLimits::maxBodyBytes + 1 - task.body.size());
    if (task.body.size() > RemoteImageLimits::maxBodyBytes) {
        task.overBodyCap = true;
        task.body.clear();
        reply->abort();
    }
}

void DefaultRemoteImageLoader::onReplyFinished(const QUrl& url, QNetworkReply* reply)
{
    reply->deleteLater();
    const std::shared_ptr<Task> task = m_ongoingTasks.value(url);
    readBody(*task, reply);
    if (task->overBodyCap) {
        finish(url, bodyTooLarge());
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        finish(url, badServerResponse(QStringLiteral("The server answered with status %1.").arg(status.toInt())));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        finish(url, RemoteImageError{RemoteImageError::Code::Network, reply->error(), reply->errorString()});
        return;
    }
    if (!status.isValid()) {
        finish(url, badServerResponse(QStringLiteral("The response is not an HTTP response.")));
        return;
    }

    // The entry stays in flight while decoding, so that requests meanwhile join this task.
    auto* watcher = new QFutureWatcher<RemoteImageResult>(this);
    connect(watcher, &QFutureWatcher<RemoteImageResult>::finished, this, [this, url, watcher] {
        watcher->deleteLater();
        finish(url, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(decodeImage, std::exchange(task->body, {})));
}

void DefaultRemoteImageLoader::finish(const QUrl& url, const RemoteImageResult& result)
{
    // Leaving the map and storing the image happen in one step: a later request finds either
    // the task or the cached image. A failure leaves nothing behind, so the next request retries.
    const std::shared_ptr<Task> task = m_ongoingTasks.take(url);
    if (result.isSuccess()) {
        m_cache->setImage(result.image(), url);
    } else if (QAbstractNetworkCache* diskCache = m_session->cache()) {
        // A stored error page or broken body would otherwise answer every retry.
        diskCache->remove(url);
    }
    for (const Waiter& waiter : task->waiters)
        deliver(waiter, result);
}

void DefaultRemoteImageLoader::deliver(const Waiter& waiter, const RemoteImageResult& result)
{
    if (!waiter.context)
        return;
    QMetaObject::invokeMethod(
        waiter.context.data(), [completion = waiter.completion, result] { completion(result); },
        Qt::QueuedConnection);
}

} // namespace remoteimage
