#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace platform {

// Reads a whole regular file without ever blocking on what is not one: the file is opened
// without waiting (a FIFO opens at once), the opened descriptor is checked, and the bytes are
// read in chunks, at most `maxBytes`. Anything that is not a regular file after following
// links (a FIFO, a socket, a device such as a link to /dev/zero), and a file larger than the
// limit, is refused before its content is read, so a sparse file of many gigabytes costs
// nothing. `shouldStop` is asked between chunks; once it says yes the read ends as stopped.
struct RegularFileRead {
    enum class Status { read, notRegular, tooLarge, failed, stopped };
    Status status = Status::failed;
    QByteArray bytes; // the content when `read`
    int error = 0;    // errno when `failed`
};

inline constexpr qint64 regularFileChunkSize = 1 << 20;

RegularFileRead readRegularFile(const QString& path, qint64 maxBytes,
                                const std::function<bool()>& shouldStop = {});

// The first step of the read above, for callers that read a part of the file or stream it: the
// descriptor of the opened regular file (theirs to close) and its size, or why there is none
// (`notRegular` or `failed`, with `fd` -1).
struct OpenedRegularFile {
    RegularFileRead::Status status = RegularFileRead::Status::failed;
    int fd = -1;
    int error = 0;
    qint64 size = 0;
};

OpenedRegularFile openRegularFile(const QString& path);

} // namespace platform
