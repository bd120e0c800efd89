#include "platform/RegularFileReader.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

OpenedRegularFile openRegularFile(const QString& path)
{
    using Status = RegularFileRead::Status;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {Status::failed, -1, errno};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return {Status::failed, -1, error};
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return {Status::notRegular, -1, 0};
    }
    return {Status::read, fd, 0, qint64(info.st_size)};
}

RegularFileRead readRegularFile(const QString& path, qint64 maxBytes, const std::function<bool()>& shouldStop)
{
    using Status = RegularFileRead::Status;
    const OpenedRegularFile opened = openRegularFile(path);
    if (opened.fd < 0)
        return {opened.status, {}, opened.error};
    const int fd = opened.fd;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (opened.size > maxBytes)
        return {Status::tooLarge, {}, 0};

    // The size may change while reading: read up to one byte past the limit to tell.
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min<qint64>(opened.size, maxBytes) + 1));
    const qint64 cap = maxBytes + 1;
    qint64 total = 0;
    for (;;) {
        if (shouldStop && shouldStop())
            return {Status::stopped, {}, 0};
        const qint64 want = std::min<qint64>(regularFileChunkSize, cap - total);
        if (want <= 0)
            break;
        bytes.resize(qsizetype(total + want));
        const ssize_t got = ::read(fd, bytes.data() + total, size_t(want));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {Status::failed, {}, errno};
        }
        if (got == 0)
            break;
        total += got;
    }
    if (total > maxBytes)
        return {Status::tooLarge, {}, 0};
    bytes.resize(qsizetype(total));
    return {Status::read, std::move(bytes), 0};
}

} // namespace platform
