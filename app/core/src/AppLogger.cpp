#include "core/AppLogger.h"

#include "core/LogStore.h"

#include <platform/SystemLog.h>

namespace quillora {

namespace {

void log(const QString& category, LogLevel level, platform::SystemLog::Type type, const QString& message)
{
    if (platform::SystemLog::isEnabled(type))
        platform::SystemLog::write(type, category, message);
    LogStore::shared().append(level, category, message);
}

} // namespace

AppLogger::AppLogger(QString category)
    : m_category(std::move(category))
{
}

void AppLogger::debug(const QString& message) const
{
    log(m_category, LogLevel::debug, platform::SystemLog::Type::Debug, message);
}

void AppLogger::info(const QString& message) const
{
    log(m_category, LogLevel::info, platform::SystemLog::Type::Info, message);
}

void AppLogger::warning(const QString& message) const
{
    log(m_category, LogLevel::warning, platform::SystemLog::Type::Error, message);
}

void AppLogger::error(const QString& message) const
{
    log(m_category, LogLevel::error, platform::SystemLog::Type::Error, message);
}

} // namespace quillora
