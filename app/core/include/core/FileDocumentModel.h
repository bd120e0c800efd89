#pragma once

#include <QString>
#include <QUrl>

namespace quillora {

// The file the window shows or last showed.
struct FileDocumentModel {
    QString id;         // the URL's path
    QUrl url;
    QString name;       // last path component
    QString folderName; // name of the containing folder

    static FileDocumentModel fromURL(const QUrl& url);

    friend bool operator==(const FileDocumentModel&, const FileDocumentModel&) = default;
};

size_t qHash(const FileDocumentModel& document, size_t seed = 0);

// Whether the selected file is still on disk.
enum class FileAvailability { available, missing };

} // namespace quillora
