#pragma once

#include "core/LogSessionFileModel.h"

#include <QFileInfo>

namespace quillora {

// When the file system keeps no creation time, the modification time stands in for it.
inline QDateTime creationDate(const QFileInfo& info)
{
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = info.lastModified();
    return created.isValid() ? created : LogSessionFileModel::distantPast();
}

// Newest first; equal dates by name, descending, so that later session names count as newer
// and the order never depends on the folder listing.
inline bool isNewer(const LogSessionFileModel& a, const LogSessionFileModel& b)
{
    if (a.createdAt != b.createdAt)
        return a.createdAt > b.createdAt;
    return a.id > b.id;
}

} // namespace quillora
