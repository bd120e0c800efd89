#include "feedback/LogLine.h"

#include <cstdio>
#include <mutex>

namespace plendra {

QString emoji(LogLineLevel level)
{
    switch (level) {
    case LogLineLevel::success:
        return QStringLiteral("✅");
    case LogLineLevel::info:
        return QStringLiteral("🗒");
    case LogLineLevel::warning:
        return QStringLiteral("⚠️");
    case LogLineLevel::error:
        return QStringLiteral("❌");
    case LogLineLevel::debug:
        return QStringLiteral("🐛");
    }
    return {};
}

void logLine(LogLineLevel level, int line, QStringView typeName, QStringView message)
{
    const qsizetype dot = typeName.indexOf(u'.');
    const QStringView type = dot < 0 ? typeName : typeName.first(dot);
    QString text = emoji(level) + QStringLiteral(" Line: ") + QString::number(line) + QStringLiteral(" | ");
    text.append(type).append(QStringLiteral(" | ")).append(message);
    printLine(text);
}

void printLine(QStringView text)
{
    static std::mutex lock;
    const QByteArray bytes = text.toUtf8() + '\n';
    std::lock_guard guard(lock);
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace plendra
