#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

namespace quillora {

// One session log file of the logs folder.
struct LogSessionFileModel {
    QString id; // the file's name
    QUrl url;
    QDateTime createdAt; // `distantPast()` when unknown
    qint64 fileSize = 0; // 0 when unknown

    static QDateTime distantPast();

    friend bool operator==(const LogSessionFileModel&, const LogSessionFileModel&) = default;
};

} // namespace quillora
