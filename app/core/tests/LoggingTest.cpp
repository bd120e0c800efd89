#include "core/AppLogger.h"
#include "core/LogStore.h"

#include "../src/LogFileOrder.h"

#include <testsupport/EventLoop.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <syslog.h>
#include <thread>

using namespace quillora;
using testsupport::writeFile;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList namesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(LogLevel, RawValuesAreExact)
{
    EXPECT_EQ(rawValue(LogLevel::debug), QStringLiteral("DEBUG"));
    EXPECT_EQ(rawValue(LogLevel::info), QStringLiteral("INFO"));
    EXPECT_EQ(rawValue(LogLevel::warning), QStringLiteral("WARN"));
    EXPECT_EQ(rawValue(LogLevel::error), QStringLiteral("ERROR"));
    EXPECT_EQ(logLevelFromRawValue(QStringLiteral("WARN")), LogLevel::warning);
    for (const char* bad : {"warn", "WARNING", "", "INFO "})
        EXPECT_FALSE(logLevelFromRawValue(QString::fromLatin1(bad))) << bad;
}

TEST(LogStore, LineFormatAndFileNameAreFixedGregorianWhateverTheLocale)
{
    const LogEntryModel entry{QUuid::createUuid(), QDateTime(QDate(2026, 12, 8), QTime(14, 3, 9, 512)), LogLevel::info,
                              QStringLiteral("AppViewModel"), QStringLiteral("two\nlines")};
    const QLocale previous;
    for (const char* locale : {"C", "ar_EG", "th_TH", "fa_IR", "de_DE"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        EXPECT_EQ(LogStore::formatLine(entry), QStringLiteral("[2026-12-08 14:03:09.512] [INFO] [AppViewModel] two\nlines"))
            << locale;
        EXPECT_EQ(LogStore::sessionFileName(entry.timestamp), QStringLiteral("session-2026-12-08_14-03-09.log")) << locale;
    }
    QLocale::setDefault(previous);
}

TEST(LogStore, WritesLinesAtOnceAndExportsTheSession)
{
    QTemporaryDir dir;
    const QString logs = dir.filePath(QStringLiteral("Quillora/Logs"));
    LogStore store(logs);
    EXPECT_EQ(store.exportText(), QString());
    ASSERT_FALSE(store.currentSessionFilePath().isEmpty());
    EXPECT_TRUE(QFileInfo(store.currentSessionFilePath()).fileName().startsWith(QStringLiteral("session-")));
    ASSERT_EQ(store.sessionFiles().size(), 1);
    EXPECT_EQ(store.sessionFiles().first().url.toLocalFile(), store.currentSessionFilePath());

    int changes = 0;
    QObject::connect(&store, &LogStore::entriesChanged, [&] { ++changes; });
    store.append(LogLevel::info, QStringLiteral("AppViewModel"), QStringLiteral("first"));
    store.append(LogLevel::error, QStringLiteral("ChatViewModel"), QStringLiteral("second"));
    EXPECT_EQ(changes, 2);
    ASSERT_EQ(store.entries().size(), 2);
    EXPECT_NE(store.entries()[0].id, store.entries()[1].id);

    const QString text = store.exportText();
    const QStringList lines = text.split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_FALSE(text.endsWith(u'\n'));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("] [INFO] [AppViewModel] first")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("] [ERROR] [ChatViewModel] second")));
    EXPECT_EQ(lines[0].indexOf(QStringLiteral("] [INFO]")), 24);
    EXPECT_EQ(readFile(store.currentSessionFilePath()), (text + u'\n').toUtf8());

    store.refreshSessionFiles();
    EXPECT_GT(store.sessionFiles().first().fileSize, 0);
}

TEST(LogStore, BackgroundAppendReachesTheFileAtOnceAndEntriesThroughTheMainThread)
{
    QTemporaryDir dir;
    LogStore store(dir.path());
    std::thread([&] { store.append(LogLevel::debug, QStringLiteral("Worker"), QStringLiteral("from afar")); }).join();
    EXPECT_TRUE(readFile(store.currentSessionFilePath()).endsWith("[DEBUG] [Worker] from afar\n"));
    EXPECT_TRUE(store.entries().isEmpty());
    ASSERT_TRUE(testsupport::waitUntil([&] { return store.entries().size() == 1; }));
    EXPECT_EQ(store.entries().first().message, QStringLiteral("from afar"));
}

TEST(LogStore, LaunchesWithinOneSecondKeepEachOthersFiles)
{
    QTemporaryDir dir;
    LogStore first(dir.path());
    first.append(LogLevel::info, QStringLiteral("A"), QStringLiteral("kept"));
    LogStore second(dir.path());
    LogStore third(dir.path());
    EXPECT_NE(first.currentSessionFilePath(), second.currentSessionFilePath());
    EXPECT_NE(second.currentSessionFilePath(), third.currentSessionFilePath());
    EXPECT_TRUE(readFile(first.currentSessionFilePath()).endsWith("[INFO] [A] kept\n"));
    for (const LogStore* store : {&first, &second, &third})
        EXPECT_TRUE(store->currentSessionFilePath().endsWith(QStringLiteral(".log")));
    const QString firstStem = first.currentSessionFilePath().chopped(4);
    if (second.currentSessionFilePath().startsWith(firstStem)) { // same second
        EXPECT_EQ(second.currentSessionFilePath(), firstStem + QStringLiteral("_02.log"));
    }
    EXPECT_EQ(third.listSessionFiles().size(), 3);
}

class LogPruning : public ::testing::TestWithParam<int> {};

TEST_P(LogPruning, KeepsTheNewestFiveOnlyBeyondTenFiles)
{
    const int count = GetParam();
    QTemporaryDir dir;
    // Names in no particular order, so that only creation dates can explain what survives.
    // File times tick with the kernel's coarse clock: wait until each file's creation time
    // has moved past the previous one's, or a tie would fall back to name order.
    QStringList created;
    QDateTime previous;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("%1-session.log").arg((i * 37) % 101, 3, 10, QLatin1Char('0'));
        const QString path = dir.filePath(name);
        for (int attempt = 0;; ++attempt) {
            writeFile(path, "old\n");
            const QFileInfo info(path);
            const QDateTime stamp = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
            if (!previous.isValid() || stamp > previous || attempt == 100) {
                previous = stamp;
                break;
            }
            QFile::remove(path);
            QThread::msleep(2);
        }
        created.append(name);
    }
    // Never listed, never pruned: other extensions, hidden files, folders, links.
    writeFile(dir.filePath(QStringLiteral("notes.LOG")), "old\n");
    writeFile(dir.filePath(QStringLiteral(".hidden.log")), "old\n");
    QDir().mkpath(dir.filePath(QStringLiteral("folder.log")));
    ASSERT_TRUE(QFile::link(dir.filePath(created.first()), dir.filePath(QStringLiteral("link.log"))));

    LogStore store(dir.path());
    const QStringList names = namesIn(dir.path());
    for (const char* untouched : {"notes.LOG", ".hidden.log", "folder.log", "link.log"})
        EXPECT_TRUE(names.contains(QString::fromLatin1(untouched))) << untouched;
    const int expectedSurvivors = count > 10 ? 5 : count;
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(names.contains(created[i]), i >= count - expectedSurvivors) << created[i].toStdString();

    const QList<LogSessionFileModel> listed = store.sessionFiles();
    ASSERT_EQ(listed.size(), expectedSurvivors + 1);
    EXPECT_EQ(listed.first().url.toLocalFile(), store.currentSessionFilePath());
    EXPECT_EQ(listed.last().id, created[count - expectedSurvivors]);
}

INSTANTIATE_TEST_SUITE_P(Counts, LogPruning, ::testing::Values(10, 11, 14));

TEST(LogStore, EqualDatesAreOrderedByNameAndUnknownDatesLast)
{
    const QDateTime same(QDate(2026, 12, 8), QTime(14, 3, 9));
    auto file = [](const char* name, QDateTime created) {
        return LogSessionFileModel{QString::fromLatin1(name), QUrl(), created, 0};
    };
    QList<LogSessionFileModel> files{file("session-2026-12-08_14-03-09.log", same),
                                     file("unknown.log", LogSessionFileModel::distantPast()),
                                     file("session-2026-12-08_14-03-09_02.log", same),
                                     file("session-2026-12-08_14-03-10.log", same.addSecs(1))};
    for (int round = 0; round < 2; ++round) {
        std::sort(files.begin(), files.end(), isNewer);
        QStringList order;
        for (const auto& f : files)
            order.append(f.id);
        EXPECT_EQ(order, (QStringList{QStringLiteral("session-2026-12-08_14-03-10.log"),
                                      QStringLiteral("session-2026-12-08_14-03-09_02.log"),
                                      QStringLiteral("session-2026-12-08_14-03-09.log"),
                                      QStringLiteral("unknown.log")}));
        std::reverse(files.begin(), files.end());
    }
}

TEST(LogStore, BlockedLogsFolderKeepsTheSessionInMemory)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("Quillora")), "old\n");
    LogStore store(dir.filePath(QStringLiteral("Quillora/Logs")));
    EXPECT_TRUE(store.currentSessionFilePath().isEmpty());
    store.append(LogLevel::warning, QStringLiteral("C"), QStringLiteral("still here"));
    EXPECT_TRUE(store.listSessionFiles().isEmpty());
    EXPECT_TRUE(store.exportText().endsWith(QStringLiteral("[WARN] [C] still here")));
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("Quillora"))), QByteArray("old\n"));
}

TEST(LogStore, FailedWriteDropsTheLineFromTheFileAndKeepsTheEntry)
{
    QTemporaryDir dir;
    LogStore store(dir.path());
    store.append(LogLevel::info, QStringLiteral("C"), QStringLiteral("before"));
    const qint64 sizeBefore = QFileInfo(store.currentSessionFilePath()).size();

    // A file-size limit makes writes fail the way a full disk does, part-way through a line.
    rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = rlim_t(sizeBefore + 100);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    store.append(LogLevel::info, QStringLiteral("C"), QString(500, u'x'));
    store.append(LogLevel::info, QStringLiteral("C"), QStringLiteral("after"));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(store.entries().size(), 3);
    const QList<QByteArray> lines = readFile(store.currentSessionFilePath()).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith("before"));
    EXPECT_TRUE(lines[1].endsWith("after"));
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST(AppLogger, EveryLevelReachesTheSharedSessionLog)
{
    LogStore& store = LogStore::shared();
    EXPECT_TRUE(store.logsDirectoryPath().startsWith(QDir::homePath()));
    EXPECT_TRUE(store.logsDirectoryPath().endsWith(QStringLiteral("/Quillora/Logs")));

    const int previousMask = setlogmask(LOG_UPTO(LOG_INFO)); // system log without debug
    AppLogger logger(QStringLiteral("LoggingTest"));
    logger.debug(QStringLiteral("quiet in syslog"));
    logger.warning(QStringLiteral("careful"));
    setlogmask(previousMask);

    const QList<LogEntryModel> entries = store.entries();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries[entries.size() - 2].level, LogLevel::debug);
    EXPECT_EQ(entries.last().level, LogLevel::warning);
    const QByteArray file = readFile(store.currentSessionFilePath());
    EXPECT_TRUE(file.contains("] [DEBUG] [LoggingTest] quiet in syslog\n"));
    EXPECT_TRUE(file.contains("] [WARN] [LoggingTest] careful\n"));
}

} // namespace
