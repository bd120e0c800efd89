// Generates 100,000 files in 10,000 folders and times a scan of them beside `find` with the
// same filters (links followed, hidden names pruned, folders and regular files only).
// Usage: bench_scanner [runs]. The tree lives in a temporary folder removed at the end.

#include "core/FileTreeScannerService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int topFolders = 100;
constexpr int subFoldersEach = 99; // 100 + 100 × 99 = 10,000 folders
constexpr int filesPerFolder = 10; // 10,000 × 10 = 100,000 files

bool generate(const QString& root)
{
    int files = 0;
    int folders = 0;
    for (int top = 0; top < topFolders; ++top) {
        const QString topPath = root + QStringLiteral("/area-%1").arg(top);
        QStringList paths{topPath};
        for (int sub = 0; sub < subFoldersEach; ++sub)
            paths.append(topPath + QStringLiteral("/Module %1").arg(sub));
        for (const QString& folder : paths) {
            if (!QDir().mkpath(folder))
                return false;
            ++folders;
            for (int f = 0; f < filesPerFolder; ++f) {
                const QByteArray file = QFile::encodeName(folder + QStringLiteral("/File_%1.%2").arg(f).arg(f % 2 ? "md" : "swift"));
                const int fd = ::open(file.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                if (fd < 0)
                    return false;
                ::close(fd);
                ++files;
            }
        }
    }
    std::printf("tree: %d folders, %d files in %s\n", folders, files, qPrintable(root));
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    if (!dir.isValid() || !generate(root)) {
        std::fprintf(stderr, "could not generate the tree\n");
        return 1;
    }

    quillora::FileTreeScannerService scanner;
    const QStringList findArguments{QStringLiteral("-L"), root, QStringLiteral("-mindepth"), QStringLiteral("1"),
                                    QStringLiteral("-name"), QStringLiteral(".*"), QStringLiteral("-prune"),
                                    QStringLiteral("-o"), QStringLiteral("("), QStringLiteral("-type"), QStringLiteral("d"),
                                    QStringLiteral("-o"), QStringLiteral("-type"), QStringLiteral("f"), QStringLiteral(")"),
                                    QStringLiteral("-print")};
    std::vector<double> scanTimes;
    std::vector<double> findTimes;
    qsizetype findLines = 0;
    // One untimed round of each warms the caches alike.
    for (int run = -1; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const auto result = scanner.scan(QUrl::fromLocalFile(root), false);
        const double scanMs = timer.nsecsElapsed() / 1e6;
        if (result.nodes.size() != topFolders) {
            std::fprintf(stderr, "unexpected scan result\n");
            return 1;
        }

        QProcess find;
        timer.start();
        find.start(QStringLiteral("find"), findArguments);
        find.waitForFinished(-1);
        const QByteArray output = find.readAllStandardOutput();
        const double findMs = timer.nsecsElapsed() / 1e6;
        findLines = output.count('\n');
        if (run >= 0) {
            scanTimes.push_back(scanMs);
            findTimes.push_back(findMs);
        }
    }
    const double scan = median(scanTimes);
    const double find = median(findTimes);
    std::printf("entries listed by find: %lld\n", static_cast<long long>(findLines));
    std::printf("scanner: %.1f ms (median of %d)\nfind:    %.1f ms (median of %d)\nratio:   %.2f x find (target <= 2)\n",
                scan, runs, find, runs, scan / find);
    return 0;
}
