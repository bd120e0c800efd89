#pragma once

#include <QString>

namespace quillora {

// Logs a component's messages to the system log and to the shared session log. Every message
// reaches the session log, whether or not the system log takes its level. Any thread.
class AppLogger {
public:
    explicit AppLogger(QString category);

    QString category() const { return m_category; }

    void debug(const QString& message) const;
    void info(const QString& message) const;
    // Goes to the system log at the error level.
    void warning(const QString& message) const;
    void error(const QString& message) const;

private:
    QString m_category;
};

} // namespace quillora
