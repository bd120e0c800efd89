// quillora-scan [--hidden] FOLDER
// Scans FOLDER with the application's scanner and prints each node's identifier on its own
// line, in the tree's order (a folder, then what it holds; folders before files), then a last
// line "folders=N files=N denied=yes|no".

#include "core/FileTreeScannerService.h"

#include <platform/FileKind.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

using namespace quillora;

namespace {

constexpr char usage[] = "usage: quillora-scan [--hidden] FOLDER";

int fail(const QString& message)
{
    std::fprintf(stderr, "quillora-scan: %s\n", qPrintable(message));
    return 2;
}

class Printer {
public:
    explicit Printer(const FileTreeSnapshot& snapshot) : snapshot_(snapshot) {}
    ~Printer() { flush(); }

    // The nodes of `folder` and everything below them, depth first. The id of a scanned node is
    // its folder's id, "/" and its name; `id` holds the folder's.
    void print(FileTreeSnapshot::Index folder)
    {
        const auto first = snapshot_.firstChild(folder);
        for (auto node = first; node < first + snapshot_.childCount(folder); ++node) {
            const qsizetype folderIdLength = id_.size();
            if (!id_.isEmpty())
                id_.append('/');
            id_.append(snapshot_.utf8Name(node));
            out_.append(id_).append('\n');
            if (out_.size() > 1 << 20)
                flush();
            if (snapshot_.isDirectory(node)) {
                ++folders;
                print(node);
            } else {
                ++files;
            }
            id_.truncate(folderIdLength);
        }
    }

    void flush()
    {
        std::fwrite(out_.constData(), 1, size_t(out_.size()), stdout);
        out_.clear();
    }

    qsizetype folders = 0;
    qsizetype files = 0;

private:
    const FileTreeSnapshot& snapshot_;
    QByteArray id_;
    QByteArray out_;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool showsHidden = false;
    QStringList folders;
    const QStringList arguments = app.arguments().mid(1);
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            std::printf("%s\nScans FOLDER as the file tree does and prints each node's identifier on its own line,\n"
                        "folders before files, then \"folders=N files=N denied=yes|no\".\n"
                        "  --hidden  include names that begin with a dot\n",
                        usage);
            return 0;
        }
        if (argument == QLatin1String("--hidden"))
            showsHidden = true;
        else if (argument.startsWith(u'-'))
            return fail(QStringLiteral("unknown option %1 (%2)").arg(argument, QLatin1String(usage)));
        else
            folders << argument;
    }
    if (folders.size() != 1)
        return fail(QLatin1String(usage));
    if (!platform::isExistingDirectory(folders.first()))
        return fail(QStringLiteral("not a folder: %1").arg(folders.first()));

    const auto result = FileTreeScannerService().scan(QUrl::fromLocalFile(QFileInfo(folders.first()).absoluteFilePath()),
                                                      showsHidden);
    Printer printer(result.nodes.snapshot());
    printer.print(FileTreeSnapshot::listedFolder);
    printer.flush();
    std::printf("folders=%lld files=%lld denied=%s\n", static_cast<long long>(printer.folders),
                static_cast<long long>(printer.files), result.allReadable ? "no" : "yes");
    if (result.reachedEntryLimit) {
        std::fprintf(stderr, "quillora-scan: stopped at the bound of %lld entries\n",
                     static_cast<long long>(FileTreeScannerService::defaultMaxEntries));
    }
    return 0;
}
