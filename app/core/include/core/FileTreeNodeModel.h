#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace quillora {

enum class FileTreeNodeType { file, directory };

// One node of a scanned project tree. The root node stands for the project folder and has its
// absolute path as `id`; every other node has its path relative to the project folder.
struct FileTreeNodeModel {
    QString id;
    QUrl url;              // as the listing produced it: neither cleaned nor resolved
    QString name;          // last path component of `url`
    FileTreeNodeType type = FileTreeNodeType::file;
    QList<FileTreeNodeModel> children; // display order; empty for files
    std::optional<QString> fileExtension; // files only: lower-cased, empty when the name has none

    friend bool operator==(const FileTreeNodeModel&, const FileTreeNodeModel&) = default;
};

size_t qHash(const FileTreeNodeModel& node, size_t seed = 0);

// The extension of a file name, lower-cased; empty for "Makefile", ".env" or "name.".
QString lowerCasedPathExtension(const QString& name);

} // namespace quillora
