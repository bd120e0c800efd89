#pragma once

#include "core/FileTreeSnapshot.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <type_traits>

namespace quillora {

struct FileTreeSnapshot::Data {
    struct Record {
        quint32 nameOffset = 0; // in `names`
        Index parent = listedFolder;
        Index firstChild = 0; // a folder's nodes are the records [firstChild, firstChild + childCount)
        Index childCount = 0;
        quint16 nameLength = 0;
        bool directory = false;
        quint8 unused = 0; // no padding: equal records are equal bytes
    };
    static_assert(std::has_unique_object_representations_v<Record>);

    // The listed folder's path as given, in UTF-8 and ending in "/": a node's path is this
    // followed by the names from the top level down to it, joined with "/".
    QByteArray listedBase;
    // What the ids of the top level begin with, "/" included; empty when ids are relative to it.
    QByteArray idPrefix;
    QList<Record> records;
    QByteArray names;
    Record top{0, listedFolder, 0, 0, 0, true, 0}; // the listed folder itself

    const Record& folder(Index index) const { return index == listedFolder ? top : records[index]; }
    QByteArrayView name(const Record& record) const { return {names.constData() + record.nameOffset, record.nameLength}; }
};

// Fills a snapshot as a depth-first walk finishes folders: the nodes of each folder go in as one
// block of records, in display order, after the blocks of the folders below them.
class FileTreeSnapshotBuilder {
public:
    using Record = FileTreeSnapshot::Data::Record;
    using Index = FileTreeSnapshot::Index;

    FileTreeSnapshotBuilder(QString listedBase, QString idPrefix);

    // Stores a name; the offset to keep in its record.
    quint32 addName(const char* name, quint16 length);
    Index recordCount() const { return Index(d->records.size()); }
    void append(const Record& record) { d->records.append(record); }
    // For putting blocks in order in place before `finish`.
    Record* records() { return d->records.data(); }
    const QByteArray& names() const { return d->names; }

    // The snapshot whose top level is the block [first, first + count); links every node to its
    // folder. The builder is spent.
    FileTreeSnapshot finish(Index first, Index count);

private:
    std::shared_ptr<FileTreeSnapshot::Data> d;
};

} // namespace quillora
