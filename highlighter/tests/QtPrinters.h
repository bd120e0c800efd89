#pragma once

// Readable GoogleTest messages for Qt strings.

#include <QString>
#include <QStringView>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(QStringView text, std::ostream* os)
{
    *os << '"' << text.toString().toStdString() << '"';
}
