#include "core/FileDocumentModel.h"
#include "core/FileTreeNodeModel.h"

#include <QHashFunctions>

namespace quillora {

size_t qHash(const FileTreeNodeModel& node, size_t seed)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, node.id);
    seed = combine(seed, node.url);
    seed = combine(seed, node.name);
    seed = combine(seed, int(node.type));
    seed = combine(seed, node.children.size());
    for (const FileTreeNodeModel& child : node.children)
        seed = combine(seed, qHash(child, 0));
    if (node.fileExtension) {
        seed = combine(seed, 1);
        seed = combine(seed, *node.fileExtension);
    } else {
        seed = combine(seed, 0);
    }
    return seed;
}

QString lowerCasedPathExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    // A leading dot marks a hidden name, not an extension; a trailing dot has nothing after it.
    if (dot <= 0 || dot == name.size() - 1)
        return QStringLiteral("");
    return name.mid(dot + 1).toLower();
}

namespace {

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString lastComponent(const QString& path)
{
    if (path == QStringLiteral("/"))
        return path;
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

FileDocumentModel FileDocumentModel::fromURL(const QUrl& url)
{
    const QString path = withoutTrailingSlash(url.toLocalFile());
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString parent = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    return FileDocumentModel{path, url, lastComponent(path), lastComponent(parent)};
}

size_t qHash(const FileDocumentModel& document, size_t seed)
{
    return qHashMulti(seed, document.id, document.url, document.name, document.folderName);
}

} // namespace quillora
