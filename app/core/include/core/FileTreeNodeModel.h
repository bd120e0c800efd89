#pragma once

#include "core/FileTreeSnapshot.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <compare>
#include <initializer_list>
#include <iterator>
#include <optional>

namespace quillora {

// The nodes of one level of a tree, in display order: an immutable value that shares its
// storage when copied. The nodes of a scan stay in its FileTreeSnapshot and become
// FileTreeNodeModel values only as they are read; nodes made by hand are held as they are.
// Reading hands out values, never references into the list: keep a node, not its address. Code
// that walks a large tree again and again (a view's rows) reads the snapshot by index instead.
class FileTreeNodeList {
public:
    // Makes each node as it is dereferenced.
    class const_iterator {
    public:
        using iterator_concept = std::random_access_iterator_tag;
        using iterator_category = std::input_iterator_tag;
        using value_type = FileTreeNodeModel;
        using difference_type = qsizetype;
        using reference = FileTreeNodeModel;
        using pointer = void;

        const_iterator() = default;
        FileTreeNodeModel operator*() const;
        FileTreeNodeModel operator[](difference_type n) const;
        const_iterator& operator++() { ++index_; return *this; }
        const_iterator operator++(int) { auto copy = *this; ++index_; return copy; }
        const_iterator& operator--() { --index_; return *this; }
        const_iterator operator--(int) { auto copy = *this; --index_; return copy; }
        const_iterator& operator+=(difference_type n) { index_ += n; return *this; }
        const_iterator& operator-=(difference_type n) { index_ -= n; return *this; }
        friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
        friend const_iterator operator+(difference_type n, const_iterator it) { return it += n; }
        friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) { return a.index_ - b.index_; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.index_ == b.index_; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.index_ <=> b.index_; }

    private:
        friend class FileTreeNodeList;
        const_iterator(const FileTreeNodeList* list, qsizetype index) : list_(list), index_(index) {}
        const FileTreeNodeList* list_ = nullptr;
        qsizetype index_ = 0;
    };
    using iterator = const_iterator;
    using value_type = FileTreeNodeModel;
    using size_type = qsizetype;

    FileTreeNodeList() = default;
    FileTreeNodeList(QList<FileTreeNodeModel> nodes);
    FileTreeNodeList(std::initializer_list<FileTreeNodeModel> nodes);
    // The nodes of `folder` in the snapshot (`listedFolder` for its top level).
    FileTreeNodeList(FileTreeSnapshot snapshot, FileTreeSnapshot::Index folder);

    qsizetype size() const;
    qsizetype count() const { return size(); }
    bool isEmpty() const { return size() == 0; }
    bool empty() const { return isEmpty(); }
    FileTreeNodeModel at(qsizetype i) const;
    FileTreeNodeModel operator[](qsizetype i) const;
    FileTreeNodeModel first() const;
    FileTreeNodeModel last() const;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }
    const_iterator cbegin() const { return begin(); }
    const_iterator cend() const { return end(); }

    // The snapshot that holds these nodes and the folder they belong to in it; a null snapshot
    // when the nodes were made one by one.
    const FileTreeSnapshot& snapshot() const { return snapshot_; }
    FileTreeSnapshot::Index snapshotFolder() const { return folder_; }

    // The first node, depth first, whose URL has this local path.
    std::optional<FileTreeNodeModel> find(QStringView localPath) const;
    // This list without the nodes whose URL has this local path, at any depth, and what lies
    // below them; nullopt when there is no such node.
    std::optional<FileTreeNodeList> removingAll(QStringView localPath) const;

    friend bool operator==(const FileTreeNodeList& a, const FileTreeNodeList& b);

private:
    FileTreeSnapshot snapshot_;
    FileTreeSnapshot::Index folder_ = FileTreeSnapshot::listedFolder;
    QList<FileTreeNodeModel> nodes_; // when the snapshot is null
};

// One node of a scanned project tree. The root node stands for the project folder and has its
// absolute path as `id`; every other node has its path relative to the project folder.
struct FileTreeNodeModel {
    QString id;
    QUrl url;              // as the listing produced it: neither cleaned nor resolved
    QString name;          // last path component of `url`
    FileTreeNodeType type = FileTreeNodeType::file;
    FileTreeNodeList children; // display order; empty for files
    std::optional<QString> fileExtension; // files only: lower-cased, empty when the name has none

    friend bool operator==(const FileTreeNodeModel&, const FileTreeNodeModel&) = default;
};

size_t qHash(const FileTreeNodeModel& node, size_t seed = 0);

// The extension of a file name, lower-cased; empty for "Makefile", ".env" or "name.".
QString lowerCasedPathExtension(const QString& name);

} // namespace quillora
