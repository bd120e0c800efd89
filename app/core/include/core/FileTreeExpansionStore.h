#pragma once

#include <platform/UserDefaults.h>

#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

namespace quillora {

// The expanded folders of the file tree, persisted as a string list. Main thread only.
class FileTreeExpansionStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QSet<QString> expandedPaths READ expandedPaths WRITE setExpandedPaths NOTIFY expandedPathsChanged)

public:
    FileTreeExpansionStore(QSet<QString> expandedPaths, QString defaultsKey,
                           std::shared_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard(),
                           QObject* parent = nullptr);

    QSet<QString> expandedPaths() const { return m_expandedPaths; }
    void setExpandedPaths(const QSet<QString>& paths);
    QString defaultsKey() const { return m_defaultsKey; }

    // Replaces the set with the one stored under the key (absent, or not a string list: empty).
    void load();
    void save() const;

signals:
    void expandedPathsChanged();

private:
    QSet<QString> m_expandedPaths;
    QString m_defaultsKey;
    std::shared_ptr<platform::UserDefaults> m_defaults;
};

} // namespace quillora
