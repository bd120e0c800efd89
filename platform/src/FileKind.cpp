#include "platform/FileKind.h"

#include <QByteArrayView>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

namespace platform {

FileKind fileKind(const QString& path)
{
    if (path.isEmpty())
        return FileKind::Missing;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return FileKind::Missing;
    if (S_ISREG(info.st_mode))
        return FileKind::RegularFile;
    if (S_ISDIR(info.st_mode))
        return FileKind::Directory;
    return FileKind::Other;
}

bool isExistingDirectory(const QString& path)
{
    return fileKind(path) == FileKind::Directory;
}

bool isExistingRegularFile(const QString& path)
{
    return fileKind(path) == FileKind::RegularFile;
}

namespace {

// statfs types of the file systems that show kernel state rather than files.
constexpr std::uint32_t pseudoFileSystemTypes[] = {
    0x9fa0,     // proc
    0x62656572, // sysfs
    0x1cd1,     // devpts
    0x27e0eb,   // cgroup
    0x63677270, // cgroup2
    0x64626720, // debugfs
    0x74726163, // tracefs
    0x73636673, // securityfs
    0x6165676c, // pstore
    0xcafe4a11, // bpf
    0x62656570, // configfs
    0x65735543, // fusectl
    0x19800202, // mqueue
    0x958458f6, // hugetlbfs
    0x0187,     // autofs
    0x42494e4d, // binfmt_misc
    0xde5e81e4, // efivarfs
    0xf97cff8c, // selinuxfs
    0x43415d53, // smackfs
    0x6e736673, // nsfs
    0x67596969, // rpc_pipefs
    0x6e667364, // nfsd
    0x7655821,  // resctrl
    0x6c6f6f70, // binderfs
    0x9fa2,     // usbdevfs
};
constexpr std::uint32_t tmpfsType = 0x01021994;

// The file system type that the mount table names for the device, e.g. "devtmpfs".
QByteArray mountedType(dev_t device)
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return {};
    const QByteArray wanted = QByteArray::number(major(device)) + ':' + QByteArray::number(minor(device));
    // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the third field is the
    // device, the first after "-" the type.
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3 || fields[2] != wanted)
            continue;
        const auto separator = std::find(fields.begin(), fields.end(), QByteArrayView("-"));
        if (separator != fields.end() && separator + 1 != fields.end())
            return *(separator + 1);
    }
    return {};
}

} // namespace

bool isOnPseudoFileSystem(int directoryFd)
{
    struct statfs info {};
    if (::fstatfs(directoryFd, &info) != 0)
        return false;
    // The kernel hands out 32-bit magic numbers; a 32-bit long would sign-extend them.
    const auto type = static_cast<std::uint32_t>(info.f_type);
    if (std::ranges::find(pseudoFileSystemTypes, type) != std::end(pseudoFileSystemTypes))
        return true;
    // devtmpfs reports the type of tmpfs, which holds real files; only the mount table tells them apart.
    struct stat identity {};
    return type == tmpfsType && ::fstat(directoryFd, &identity) == 0 && mountedType(identity.st_dev) == "devtmpfs";
}

} // namespace platform
