#pragma once

// The project trees of the scanner's benchmarks, made on disk.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

constexpr int filesPerFolder = 10;
constexpr int foldersPerArea = 100; // the area and 99 modules in it

// FILES files, ten per folder, in areas of a hundred folders: "area-N/Module M/File_K.md".
inline bool generate(const QString& root, int files)
{
    const int areas = std::max(1, files / filesPerFolder / foldersPerArea);
    std::atomic<bool> failed = false;
    std::atomic<int> nextArea = 0;
    const auto work = [&] {
        for (int area = nextArea++; area < areas && !failed; area = nextArea++) {
            const QString areaPath = root + QStringLiteral("/area-%1").arg(area);
            for (int folder = 0; folder < foldersPerArea; ++folder) {
                const QString path = folder == 0 ? areaPath : areaPath + QStringLiteral("/Module %1").arg(folder - 1);
                if (!QDir().mkpath(path)) {
                    failed = true;
                    return;
                }
                for (int f = 0; f < filesPerFolder; ++f) {
                    const QByteArray file = QFile::encodeName(path + QStringLiteral("/File_%1.%2").arg(f).arg(f % 2 ? "md" : "swift"));
                    const int fd = ::open(file.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                    if (fd < 0) {
                        failed = true;
                        return;
                    }
                    ::close(fd);
                }
            }
        }
    };
    // File creation is bound by the kernel, not by this process; a few threads share it out.
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back(work);
    for (auto& thread : threads)
        thread.join();
    return !failed;
}

// The tree of FILES files under DIR, made unless an earlier run finished it there.
inline QString treeOf(const QString& dir, int files)
{
    const QString root = dir + QStringLiteral("/tree-%1").arg(files);
    const QString done = dir + QStringLiteral("/tree-%1.done").arg(files);
    if (QFileInfo::exists(done))
        return root;
    std::printf("generating %d files in %s ...\n", files, qPrintable(root));
    std::fflush(stdout);
    QDir(root).removeRecursively();
    if (!generate(root, files))
        return {};
    QFile marker(done);
    return marker.open(QIODevice::WriteOnly) ? root : QString();
}

} // namespace bench
