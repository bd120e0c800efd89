#include "platform/SecurityScopedResources.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr qsizetype maxBookmarkSize = 64 * 1024;
const QString kindValue = QStringLiteral("quillora-bookmark");

struct Identity {
    QString device;
    QString inode;
};

std::optional<Identity> identityOf(const QString& path)
{
    struct stat info {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    // Strings: 64-bit numbers do not survive JSON's doubles.
    return Identity{QString::number(quint64(info.st_dev)), QString::number(quint64(info.st_ino))};
}

std::mutex sharedMutex;
std::shared_ptr<SecurityScopedResources> sharedResources;

} // namespace

SecurityScopedResources::~SecurityScopedResources() = default;

std::shared_ptr<SecurityScopedResources> SecurityScopedResources::shared()
{
    std::lock_guard lock(sharedMutex);
    if (!sharedResources)
        sharedResources = std::make_shared<SecurityScopedResources>();
    return sharedResources;
}

void SecurityScopedResources::setShared(std::shared_ptr<SecurityScopedResources> resources)
{
    std::lock_guard lock(sharedMutex);
    sharedResources = std::move(resources);
}

std::optional<QByteArray> SecurityScopedResources::createBookmark(const QString& path) const
{
    const auto identity = identityOf(path);
    if (!identity)
        return std::nullopt;
    const QJsonObject object{{QStringLiteral("kind"), kindValue},
                             {QStringLiteral("path"), path},
                             {QStringLiteral("device"), identity->device},
                             {QStringLiteral("inode"), identity->inode}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ResolvedBookmark> SecurityScopedResources::resolveBookmark(const QByteArray& data) const
{
    if (data.isEmpty() || data.size() > maxBookmarkSize)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QString path = object.value(QStringLiteral("path")).toString();
    if (object.value(QStringLiteral("kind")).toString() != kindValue || path.isEmpty())
        return std::nullopt;
    const auto identity = identityOf(path);
    if (!identity)
        return std::nullopt;
    const bool sameItem = identity->device == object.value(QStringLiteral("device")).toString()
        && identity->inode == object.value(QStringLiteral("inode")).toString();
    return ResolvedBookmark{path, !sameItem};
}

bool SecurityScopedResources::startAccessing(const QString& path)
{
    return !path.isEmpty() && ::access(QFile::encodeName(path).constData(), R_OK) == 0;
}

void SecurityScopedResources::stopAccessing(const QString&)
{
}

} // namespace platform
