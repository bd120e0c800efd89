#include "platform/SystemLog.h"

#include <mutex>
#include <syslog.h>

namespace platform {

namespace {

int priority(SystemLog::Type type)
{
    switch (type) {
    case SystemLog::Type::Debug:
        return LOG_DEBUG;
    case SystemLog::Type::Info:
        return LOG_INFO;
    case SystemLog::Type::Error:
        break;
    }
    return LOG_ERR;
}

void openOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { openlog("Quillora", LOG_PID | LOG_NDELAY, LOG_USER); });
}

} // namespace

bool SystemLog::isEnabled(Type type)
{
    const int mask = setlogmask(0); // 0 reads the mask without changing it
    return (mask & LOG_MASK(priority(type))) != 0;
}

void SystemLog::write(Type type, const QString& category, const QString& message)
{
    openOnce();
    const QByteArray text = QStringLiteral("[%1] %2").arg(category, message).toUtf8();
    syslog(priority(type), "%s", text.constData());
}

} // namespace platform
