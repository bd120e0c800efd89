#include "window/LogsView.h"

#include "core/LogStore.h"
#include "window/FileViewerModel.h"
#include "window/LogEntryList.h"
#include "window/SessionLogFiles.h"
#include "window/TextFileViewerBody.h"

#include <testsupport/EventLoop.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>

using namespace quillora;
using testsupport::waitUntil;
using testsupport::writeFile;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

LogSessionFileModel sessionFile(const QString& path, const QDateTime& createdAt)
{
    return {QFileInfo(path).fileName(), QUrl::fromLocalFile(path), createdAt, 10};
}

TEST(SessionLogFiles, TheRunningSessionIsKnownByItsPathNotByItsDate)
{
    const QDateTime now = QDateTime::currentDateTime();
    const LogSessionFileModel running = sessionFile(QStringLiteral("/logs/session-b.log"), now);
    // A file from a clock set ahead is the newest, yet it is a past session.
    const LogSessionFileModel ahead = sessionFile(QStringLiteral("/logs/session-z.log"), now.addDays(3));
    const LogSessionFileModel earlier = sessionFile(QStringLiteral("/logs/session-a.log"), now.addDays(-1));
    const QString path = QStringLiteral("/logs/session-b.log");
    EXPECT_EQ(pastSessionFiles({running, earlier}, path), QList<LogSessionFileModel>{earlier});
    EXPECT_EQ(pastSessionFiles({ahead, running, earlier}, path), (QList<LogSessionFileModel>{ahead, earlier}));
    EXPECT_EQ(pastSessionFiles({ahead, running}, QStringLiteral("/logs/./session-b.log")), QList<LogSessionFileModel>{ahead});
    // Without a file of its own, every file is a past one.
    EXPECT_EQ(pastSessionFiles({running, earlier}, {}), (QList<LogSessionFileModel>{running, earlier}));
}

TEST(SessionLogFiles, ExportNamesAndDatesHoldNoColon)
{
    const QDateTime created(QDate(2026, 12, 8), QTime(14, 3, 9));
    EXPECT_EQ(pastSessionExportName(created), QStringLiteral("quillora-2026-12-08 14-03-09.log"));
    EXPECT_EQ(sessionDateText(created), QStringLiteral("2026-12-08 14:03:09"));
    EXPECT_EQ(currentSessionExportName(), QStringLiteral("quillora-current-session.log"));
}

TEST(SessionLogFiles, APastSessionIsReadToItsLimitFromAWholeLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.log"));
    struct Case {
        const char* name;
        QByteArray content;
        qint64 limit;
        QString text;
        bool truncated;
    };
    const std::vector<Case> cases = {
        {"whole", "one\ntwo\n", 100, QStringLiteral("one\ntwo\n"), false},
        {"empty", "", 100, QString(), false},
        {"cut to its last lines", "first line\nsecond\nthird\n", 12, QStringLiteral("third\n"), true},
        {"cut inside a character", "a\n\xc3\xa9t\xc3\xa9\n", 5, QStringLiteral(""), true},
        {"one long line cut", "abcdefghij", 4, QStringLiteral("ghij"), true},
        {"invalid UTF-8", "ok \xff\xfe end\n", 100, QStringLiteral("ok \uFFFD\uFFFD end\n"), false},
    };
    for (const Case& c : cases) {
        writeFile(path, c.content);
        const SessionLogText read = readSessionLog(path, c.limit);
        ASSERT_TRUE(read.text) << c.name << ": " << read.error.toStdString();
        EXPECT_EQ(*read.text, c.text) << c.name;
        EXPECT_EQ(read.truncated, c.truncated) << c.name;
    }

    // What is not there, or not a regular file, is an error and no text.
    QDir(dir.path()).mkdir(QStringLiteral("folder.log"));
    for (const QString& name : {QStringLiteral("missing.log"), QStringLiteral("folder.log")}) {
        const SessionLogText read = readSessionLog(dir.filePath(name));
        EXPECT_FALSE(read.text) << name.toStdString();
        EXPECT_TRUE(read.error.contains(name)) << read.error.toStdString();
    }
}

// A logs folder with two earlier session files, the store over it, and the window.
class LogsViewTest : public ::testing::Test {
protected:
    LogsViewTest()
    {
        logs = dir.filePath(QStringLiteral("Logs"));
        writeFile(logs + QStringLiteral("/session-2026-01-01_10-00-00.log"), "[2026-01-01 10:00:00.000] [INFO] [A] first\n");
        writeFile(logs + QStringLiteral("/session-2026-01-02_10-00-00.log"), "bytes \xff\xfe as written\r\nend");
        store = std::make_unique<LogStore>(logs);
        view = std::make_unique<LogsView>(*store);
        view->show();
    }

    QStringList rowIDs() const
    {
        QStringList ids;
        for (int row = 0; row < view->sessionList()->count(); ++row)
            ids << view->sessionList()->item(row)->data(Qt::UserRole).toString();
        return ids;
    }

    QToolButton* exportButton(const QString& identifier) const
    {
        for (int row = 0; row < view->sessionList()->count(); ++row) {
            QListWidgetItem* item = view->sessionList()->item(row);
            if (item->data(Qt::UserRole).toString() == identifier)
                return view->sessionList()->itemWidget(item)->findChild<QToolButton*>(QStringLiteral("export"));
        }
        return nullptr;
    }

    // Presses "Export" on a row, then picks `destination` in the save dialog; returns the name
    // the dialog suggested, or nothing when no dialog came.
    std::optional<QString> exportTo(const QString& identifier, const QString& destination)
    {
        QSignalSpy finished(view.get(), &LogsView::exportFinished);
        QToolButton* button = exportButton(identifier);
        if (!button)
            return std::nullopt;
        button->click();
        QFileDialog* dialog = view->saveDialog();
        if (!dialog) {
            EXPECT_TRUE(finished.count() == 1 || finished.wait(5000));
            return std::nullopt;
        }
        const QString suggested = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        dialog->selectFile(destination);
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's Save button does
        EXPECT_TRUE(finished.count() == 1 || finished.wait(5000));
        return suggested;
    }

    void append(const QString& message, LogLevel level = LogLevel::info)
    {
        store->append(level, QStringLiteral("Test"), message);
    }

    void catchUp() const { view->entryModel()->catchUp(); }

    QLabel* labelWithText(const QString& text) const
    {
        for (QLabel* label : view->findChildren<QLabel*>())
            if (label->text() == text && label->isVisibleTo(view.get()))
                return label;
        return nullptr;
    }

    QTemporaryDir dir;
    QString logs;
    std::unique_ptr<LogStore> store;
    std::unique_ptr<LogsView> view;
};

TEST_F(LogsViewTest, ListsThePastSessionsBelowTheRunningOneEvenBeforeItLogs)
{
    ASSERT_FALSE(store->currentSessionFilePath().isEmpty());
    const QString own = QFileInfo(store->currentSessionFilePath()).fileName();
    EXPECT_EQ(store->sessionFiles().size(), 3);
    const QStringList ids = rowIDs();
    ASSERT_EQ(ids.size(), 3) << ids.join(u' ').toStdString();
    EXPECT_EQ(ids.first(), LogsView::currentSessionID());
    EXPECT_FALSE(ids.contains(own));
    EXPECT_TRUE(labelWithText(QStringLiteral("0 entries")));

    append(QStringLiteral("now it has logged"));
    catchUp();
    EXPECT_EQ(rowIDs(), ids);
    EXPECT_TRUE(labelWithText(QStringLiteral("1 entries")));

    // Shown again, the window lists the files that appeared meanwhile.
    view->hide();
    writeFile(logs + QStringLiteral("/session-2026-01-03_10-00-00.log"), "x\n");
    view->show();
    EXPECT_EQ(rowIDs().size(), 4);
    EXPECT_TRUE(rowIDs().contains(QStringLiteral("session-2026-01-03_10-00-00.log")));

    // Names, messages and every fixed text are plain text.
    for (const QLabel* label : view->findChildren<QLabel*>())
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
}

TEST_F(LogsViewTest, TheLiveListFollowsNewEntriesWithoutCopyingTheStoresList)
{
    EXPECT_EQ(view->shownDetail(), QStringLiteral("placeholder"));
    view->selectSession(LogsView::currentSessionID());
    EXPECT_EQ(view->shownDetail(), QStringLiteral("current"));
    EXPECT_FALSE(view->entryList()->isVisible()); // the placeholder while nothing is logged
    EXPECT_TRUE(labelWithText(QStringLiteral("Select a session")));

    append(QStringLiteral("on the main thread"));
    QThread* other = QThread::create([this] { append(QStringLiteral("from another thread"), LogLevel::warning); });
    other->start();
    other->wait();
    delete other;
    ASSERT_TRUE(waitUntil([&] { return view->entryModel()->rowCount() == 2; }));
    EXPECT_TRUE(view->entryList()->isVisible());
    EXPECT_TRUE(labelWithText(QStringLiteral("2 entries")));

    // A burst arrives as one insertion, and the list follows it to its last row.
    QSignalSpy inserted(view->entryModel(), &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 300; ++i)
        append(QStringLiteral("entry %1").arg(i));
    ASSERT_TRUE(waitUntil([&] { return view->entryModel()->rowCount() == 302; }));
    EXPECT_EQ(inserted.count(), 1);
    QScrollBar* scroll = view->entryList()->verticalScrollBar();
    QCoreApplication::processEvents();
    EXPECT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    const QModelIndex last = view->entryModel()->index(301, 0);
    EXPECT_EQ(view->entryList()->visualRect(last).bottom(), view->entryList()->viewport()->height() - 1);

    // Nothing outside the store holds its list: an append never copies it.
    EXPECT_TRUE(store->entries().isDetached());

    // Opened again, the detail starts at its first row.
    view->selectSession(std::nullopt);
    view->selectSession(LogsView::currentSessionID());
    EXPECT_EQ(scroll->value(), 0);
}

TEST_F(LogsViewTest, RowsWrapLongMessagesUpToTheirLineLimitAndCopyAsLines)
{
    append(QStringLiteral("short"));
    append(QStringLiteral("one\ntwo\nthree"), LogLevel::error);
    QStringList many;
    for (int i = 0; i < 10000; ++i)
        many << QStringLiteral("line %1").arg(i);
    append(many.join(u'\n'), LogLevel::debug);
    append(QString(3000, u'w'));
    view->selectSession(LogsView::currentSessionID());
    catchUp();
    LogEntryListView* list = view->entryList();
    const auto height = [&](int row) {
        const QModelIndex index = view->entryModel()->index(row, 0);
        list->scrollTo(index, QAbstractItemView::PositionAtTop);
        list->viewport()->repaint();
        return list->visualRect(index).height();
    };
    const int line = QFontMetrics(list->font()).height();
    EXPECT_EQ(height(0), line + 4);
    EXPECT_EQ(height(1), 3 * line + 4);
    EXPECT_EQ(height(2), LogEntryListView::maxMessageLines * line + 4);
    EXPECT_GT(height(3), 3 * line + 4); // one long word wraps anywhere

    // Ctrl+C copies the selected rows' lines in row order, whatever order they were picked in.
    list->setFocus();
    list->selectionModel()->select(view->entryModel()->index(1, 0), QItemSelectionModel::Select);
    list->selectionModel()->select(view->entryModel()->index(0, 0), QItemSelectionModel::Select);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              LogStore::formatLine(store->entries()[0]) + u'\n' + LogStore::formatLine(store->entries()[1]));
}

TEST_F(LogsViewTest, TheCurrentSessionExportsTheStoresTextByteForByte)
{
    const QString empty = dir.filePath(QStringLiteral("empty.log"));
    EXPECT_EQ(exportTo(LogsView::currentSessionID(), empty), QStringLiteral("quillora-current-session.log"));
    EXPECT_TRUE(QFile::exists(empty));
    EXPECT_EQ(readBytes(empty), QByteArray());

    append(QStringLiteral("Grüße, 日本語 and an emoji 🎉"));
    append(QStringLiteral("two\nlines <b>not bold</b>"), LogLevel::error);
    QThread* other = QThread::create([this] { append(QStringLiteral("from afar"), LogLevel::debug); });
    other->start();
    other->wait();
    delete other;
    ASSERT_TRUE(waitUntil([&] { return store->entries().size() == 3; }));
    const QString destination = dir.filePath(QStringLiteral("export.log"));
    ASSERT_TRUE(exportTo(LogsView::currentSessionID(), destination));
    EXPECT_FALSE(view->errorAlert());
    const QByteArray written = readBytes(destination);
    EXPECT_EQ(written, store->exportText().toUtf8());
    EXPECT_FALSE(written.endsWith('\n'));
    EXPECT_EQ(written.count('\n'), 3);
}

TEST_F(LogsViewTest, APastSessionExportsUnderItsDateAsTheBytesOfItsFile)
{
    const QString id = QStringLiteral("session-2026-01-02_10-00-00.log");
    const QString source = logs + u'/' + id;
    LogSessionFileModel file;
    for (const LogSessionFileModel& candidate : store->sessionFiles())
        if (candidate.id == id)
            file = candidate;
    ASSERT_EQ(file.id, id);

    const QString destination = dir.filePath(QStringLiteral("past.log"));
    const auto suggested = exportTo(id, destination);
    ASSERT_TRUE(suggested);
    EXPECT_EQ(*suggested, pastSessionExportName(file.createdAt));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^quillora-\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.log$"))
                    .match(*suggested)
                    .hasMatch())
        << suggested->toStdString();
    EXPECT_FALSE(view->errorAlert());
    EXPECT_EQ(readBytes(destination), readBytes(source));
}

TEST_F(LogsViewTest, AnUnreadablePastSessionReportsTheErrorAndWritesNothing)
{
    const QString first = QStringLiteral("session-2026-01-01_10-00-00.log");
    const QString second = QStringLiteral("session-2026-01-02_10-00-00.log");
    const QString destination = dir.filePath(QStringLiteral("never.log"));

    // Gone since the listing, or a folder in its place: no save dialog, an error, no file.
    QFile::remove(logs + u'/' + first);
    QFile::remove(logs + u'/' + second);
    QDir(logs).mkdir(second);
    for (const QString& id : {first, second}) {
        EXPECT_FALSE(exportTo(id, destination)) << id.toStdString();
        ASSERT_TRUE(view->errorAlert()) << id.toStdString();
        EXPECT_EQ(view->errorAlert()->text(), QStringLiteral("Unable to Export"));
        EXPECT_TRUE(view->errorAlert()->informativeText().contains(id)) << view->errorAlert()->informativeText().toStdString();
        view->errorAlert()->close();
        EXPECT_FALSE(QFile::exists(destination));
    }
}

TEST_F(LogsViewTest, AFileThatGoesAwayWhileTheDialogIsOpenWritesNothing)
{
    const QString id = QStringLiteral("session-2026-01-01_10-00-00.log");
    const QString destination = dir.filePath(QStringLiteral("never.log"));
    writeFile(destination, "kept as it was");
    QSignalSpy finished(view.get(), &LogsView::exportFinished);
    exportButton(id)->click();
    ASSERT_TRUE(view->saveDialog());
    QFile::remove(logs + u'/' + id);
    view->saveDialog()->setOption(QFileDialog::DontConfirmOverwrite);
    view->saveDialog()->selectFile(destination);
    static_cast<QDialog*>(view->saveDialog())->accept();
    ASSERT_TRUE(finished.wait(5000));
    ASSERT_TRUE(view->errorAlert());
    EXPECT_TRUE(view->errorAlert()->informativeText().contains(id));
    EXPECT_EQ(readBytes(destination), QByteArray("kept as it was"));
}

TEST_F(LogsViewTest, AFailedWriteIsReportedAndLeavesThePlaceAsItWas)
{
    // A folder where the file would go cannot be replaced by it.
    const QString occupied = dir.filePath(QStringLiteral("occupied.log"));
    QDir().mkpath(occupied + QStringLiteral("/inside"));
    append(QStringLiteral("something"));
    QSignalSpy finished(view.get(), &LogsView::exportFinished);
    exportButton(LogsView::currentSessionID())->click();
    ASSERT_TRUE(view->saveDialog());
    view->saveDialog()->fileSelected(occupied);
    ASSERT_TRUE(finished.wait(5000));
    ASSERT_TRUE(view->errorAlert());
    EXPECT_TRUE(view->errorAlert()->informativeText().contains(QStringLiteral("occupied.log")))
        << view->errorAlert()->informativeText().toStdString();
    EXPECT_TRUE(QFileInfo(occupied + QStringLiteral("/inside")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("occupied.log*")}, QDir::AllEntries | QDir::Hidden).size(), 1);
}

TEST_F(LogsViewTest, APastSessionShowsItsTextOrWhyItCannot)
{
    const QString id = QStringLiteral("session-2026-01-02_10-00-00.log");
    QSignalSpy shown(view.get(), &LogsView::sessionContentShown);
    view->selectSession(id);
    EXPECT_EQ(view->shownDetail(), QStringLiteral("past"));
    ASSERT_TRUE(shown.wait(5000));
    TextFileViewerBody* body = view->pastSessionText();
    ASSERT_TRUE(waitUntil([&] { return !body->isFilling(); }));
    EXPECT_TRUE(body->textView()->toPlainText().startsWith(QStringLiteral("bytes \uFFFD\uFFFD as written")))
        << body->textView()->toPlainText().toStdString();
    EXPECT_TRUE(view->pastSessionTitle()->text().startsWith(QStringLiteral("20")));
    EXPECT_FALSE(labelWithText(QStringLiteral("Showing the last 8 MiB")));

    // Only the end of a large file is read, from a whole line on.
    QByteArray large;
    for (int i = 0; large.size() < sessionLogDisplayLimit + 1000; ++i)
        large += "line " + QByteArray::number(i) + " of a large session\n";
    const QString largeID = QStringLiteral("session-2026-01-01_10-00-00.log");
    writeFile(logs + u'/' + largeID, large);
    view->selectSession(largeID);
    // Generous bounds: on a loaded machine 8 MiB take many slices of the event loop to fill.
    ASSERT_TRUE(shown.wait(30000));
    ASSERT_TRUE(waitUntil([&] { return !body->isFilling(); }, 60000));
    const QString text = body->textView()->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("line "))) << text.left(40).toStdString();
    EXPECT_LE(text.size(), sessionLogDisplayLimit);
    EXPECT_TRUE(text.endsWith(QStringLiteral(" of a large session\n")));
    EXPECT_TRUE(labelWithText(QStringLiteral("Showing the last 8 MiB")));

    // A file that went away says so in the detail.
    QFile::remove(logs + u'/' + id);
    view->selectSession(id);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_TRUE(body->isShowingError());
    EXPECT_TRUE(body->errorMessage().contains(id)) << body->errorMessage().toStdString();

    // A selection that is no longer listed falls back to the placeholder.
    view->hide();
    view->show();
    EXPECT_EQ(view->shownDetail(), QStringLiteral("placeholder"));
    EXPECT_FALSE(view->selectedSessionID());
}

} // namespace
