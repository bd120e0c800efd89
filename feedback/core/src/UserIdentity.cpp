#include "feedback/UserIdentity.h"

#include "feedback/Records.h"
#include "platform/UserDefaults.h"

#include <mutex>

namespace plendra {

QUuid userUUID()
{
    static std::mutex lock;
    static const QString key = QStringLiteral("plendra-user-uuid");
    std::lock_guard guard(lock);
    const auto defaults = platform::UserDefaults::standard();
    if (const std::optional<QString> stored = defaults->string(key)) {
        if (const std::optional<QUuid> uuid = uuidFromText(*stored))
            return *uuid;
    }
    const QUuid created = QUuid::createUuid();
    defaults->setString(key, uuidText(created));
    return created;
}

} // namespace plendra
