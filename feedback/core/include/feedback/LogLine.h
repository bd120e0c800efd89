#pragma once

#include <QString>

namespace plendra {

// The feedback client's diagnostics go to standard output, one line each.
enum class LogLineLevel { success, info, warning, error, debug };

QString emoji(LogLineLevel level);

// Prints "<emoji> Line: <line> | <type> | <message>". `typeName` is cut at its first ".", so a
// qualified name such as "Api.Type" prints as "Api".
void logLine(LogLineLevel level, int line, QStringView typeName, QStringView message);

// Prints `text` and a line feed to standard output as one write.
void printLine(QStringView text);

} // namespace plendra
