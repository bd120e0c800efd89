#include "core/FileTreeExpansionStore.h"

namespace quillora {

FileTreeExpansionStore::FileTreeExpansionStore(QSet<QString> expandedPaths, QString defaultsKey,
                                               std::shared_ptr<platform::UserDefaults> defaults, QObject* parent)
    : QObject(parent)
    , m_expandedPaths(std::move(expandedPaths))
    , m_defaultsKey(std::move(defaultsKey))
    , m_defaults(std::move(defaults))
{
}

void FileTreeExpansionStore::setExpandedPaths(const QSet<QString>& paths)
{
    if (paths == m_expandedPaths)
        return;
    m_expandedPaths = paths;
    emit expandedPathsChanged();
}

void FileTreeExpansionStore::load()
{
    const QStringList stored = m_defaults->stringList(m_defaultsKey).value_or(QStringList());
    setExpandedPaths(QSet<QString>(stored.begin(), stored.end()));
}

void FileTreeExpansionStore::save() const
{
    QStringList paths(m_expandedPaths.begin(), m_expandedPaths.end());
    paths.sort(); // stable file content between saves of the same set
    m_defaults->setStringList(m_defaultsKey, paths);
}

} // namespace quillora
