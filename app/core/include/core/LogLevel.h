#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace quillora {

enum class LogLevel { debug, info, warning, error };

// "DEBUG", "INFO", "WARN" or "ERROR": the spelling in log lines and exports.
QString rawValue(LogLevel level);
// Exactly the four spellings above, case-sensitive.
std::optional<LogLevel> logLevelFromRawValue(const QString& raw);

struct LogEntryModel {
    QUuid id;
    QDateTime timestamp;
    LogLevel level = LogLevel::info;
    QString category;
    QString message;
};

} // namespace quillora

// Every member moves as its bytes: a growing session list is moved, not copied entry by entry.
Q_DECLARE_TYPEINFO(quillora::LogEntryModel, Q_RELOCATABLE_TYPE);
