#include "window/FileViewerModel.h"

#include <testsupport/EventLoop.h>
#include <testsupport/QtPrinting.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillora;
using Phase = FileViewerLoadState::Phase;
using testsupport::waitUntil;
using testsupport::writeFile;

namespace {

FileDocumentModel document(const QString& path)
{
    return FileDocumentModel::fromURL(QUrl::fromLocalFile(path));
}

// Every state the model went through.
struct StateLog {
    explicit StateLog(FileViewerModel& model)
    {
        QObject::connect(&model, &FileViewerModel::loadStateChanged, &model, [this, &model] { states.push_back(model.loadState()); });
    }
    std::vector<FileViewerLoadState> states;
    std::vector<QString> loadedTexts() const
    {
        std::vector<QString> texts;
        for (const auto& state : states)
            if (state.phase == Phase::loaded)
                texts.push_back(state.content->text);
        return texts;
    }
};

// The standard reader, slowed down: each read takes `delayMs`, in steps that look at the stop
// flag like the chunked reader does. It counts reads and how many ran at once.
struct SlowReader {
    int delayMs = 150;
    std::atomic<int> reads{0};
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<int> stopped{0};

    FileViewerServices services()
    {
        FileViewerServices services;
        services.readFile = [this](const QString& path, const std::function<bool()>& shouldStop) {
            ++reads;
            const int now = ++running;
            mostAtOnce = std::max(mostAtOnce.load(), now);
            for (int waited = 0; waited < delayMs; waited += 10) {
                if (shouldStop()) {
                    ++stopped;
                    --running;
                    return platform::RegularFileRead{platform::RegularFileRead::Status::stopped, {}, 0};
                }
                QThread::msleep(10);
            }
            --running;
            return platform::readRegularFile(path, FileViewerModel::maxFileBytes, shouldStop);
        };
        return services;
    }
};

class FileViewerModelTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    // Shows the file `name`, written with `bytes`, and waits until the model has read it whole.
    void showWhole(FileViewerModel& model, const char* name, const QByteArray& bytes)
    {
        writeFile(path(name), bytes);
        model.setActive(true);
        model.setFile(document(path(name)));
        ASSERT_TRUE(waitUntil([&] { return model.loadState().phase == Phase::loaded && !model.isReading(); }));
    }
    QTemporaryDir dir;
};

TEST_F(FileViewerModelTest, EachKindOfFileEndsInItsBodyOrItsMessage)
{
    writeFile(path("README.MD"), "# Title\n\n- [x] done\r\n");
    writeFile(path("main.swift"), "let x = 1 // one\n");
    writeFile(path("notes"), "plain\r\ntext");
    writeFile(path("latin1.TXT"), "caf\xe9");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("zero.md")));
    QDir().mkpath(path("folder.txt"));
    {
        QFile sparse(path("huge.log"));
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.resize(qint64(10) << 30));
    }
    const QString unable = QStringLiteral("Unable to preview this file.");
    const struct {
        const char* name;
        Phase phase;
        QString textOrMessage;
        bool markdown;
        bool highlighted;
    } cases[] = {
        {"README.MD", Phase::loaded, QString(), true, false}, // the document holds the text
        {"main.swift", Phase::loaded, QStringLiteral("let x = 1 // one\n"), false, true},
        {"notes", Phase::loaded, QStringLiteral("plain\ntext"), false, false},
        {"latin1.TXT", Phase::failed, QStringLiteral("Could not display file format 'txt'."), false, false},
        {"fifo", Phase::failed, unable, false, false},
        {"zero.md", Phase::failed, unable, false, false},
        {"folder.txt", Phase::failed, unable, false, false},
        {"huge.log", Phase::failed, unable, false, false},
        {"missing.md", Phase::failed, unable, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileViewerModel model;
        model.setActive(true);
        model.setFile(document(path(c.name)));
        EXPECT_EQ(model.loadState().phase, Phase::loading);
        ASSERT_TRUE(waitUntil([&] { return model.loadState().phase != Phase::loading; }));
        const auto& state = model.loadState();
        EXPECT_EQ(state.phase, c.phase);
        EXPECT_EQ(state.fileID, path(c.name));
        if (c.phase == Phase::failed) {
            EXPECT_EQ(state.message, c.textOrMessage);
            EXPECT_FALSE(model.loadedContentHash());
            continue;
        }
        EXPECT_EQ(state.content->text, c.textOrMessage);
        EXPECT_EQ(state.content->markdown.has_value(), c.markdown);
        if (c.markdown) {
            EXPECT_EQ(state.content->markdown->blocks().size(), 2u);
        }
        EXPECT_EQ(state.content->highlightedSwiftText.has_value(), c.highlighted);
        ASSERT_TRUE(model.loadedContentHash());
        EXPECT_EQ(model.loadedContentHash()->size(), 64);
    }
}

TEST_F(FileViewerModelTest, OnlyTheNewestSelectionIsShownAndOneReadRunsAtATime)
{
    writeFile(path("a.txt"), "A");
    writeFile(path("b.txt"), "B");
    SlowReader reader;
    FileViewerModel model(reader.services());
    StateLog log(model);
    model.setActive(true);
    model.setFile(document(path("a.txt")));
    model.setFile(document(path("b.txt")));
    testsupport::spin(40);
    model.setFile(document(path("a.txt")));
    ASSERT_TRUE(waitUntil([&] { return model.loadState().phase == Phase::loaded && !model.isReading(); }));
    testsupport::spin(300);
    EXPECT_EQ(log.loadedTexts(), std::vector<QString>{QStringLiteral("A")});
    EXPECT_EQ(reader.mostAtOnce, 1);
    EXPECT_GE(reader.stopped, 1); // the superseded reads stopped between chunks
}

TEST_F(FileViewerModelTest, ReloadsWhileTheFileIsBeingReadComeTogether)
{
    writeFile(path("a.txt"), "A");
    SlowReader reader;
    FileViewerModel model(reader.services());
    model.setActive(true);
    model.setFile(document(path("a.txt")));
    for (int i = 0; i < 5; ++i)
        model.reloadFileContent();
    ASSERT_TRUE(waitUntil([&] { return model.loadState().phase == Phase::loaded && !model.isReading(); }));
    testsupport::spin(100);
    EXPECT_EQ(reader.reads, 2); // the first read, then one for every reload asked for meanwhile
    EXPECT_EQ(reader.stopped, 0);
}

TEST_F(FileViewerModelTest, UnchangedBytesChangeNothingAndNewBytesReplaceTheTextInPlace)
{
    writeFile(path("notes.txt"), "one\n");
    FileViewerModel model;
    StateLog log(model);
    model.setActive(true);
    model.setFile(document(path("notes.txt")));
    ASSERT_TRUE(waitUntil([&] { return model.loadState().phase == Phase::loaded; }));
    const auto shown = model.loadState().content;
    const auto hash = model.loadedContentHash();
    log.states.clear();

    model.reloadFileContent();
    ASSERT_TRUE(waitUntil([&] { return !model.isReading(); }));
    testsupport::spin(50);
    EXPECT_TRUE(log.states.empty());
    EXPECT_EQ(model.loadState().content, shown);

    writeFile(path("notes.txt"), "two\n");
    model.reloadFileContent();
    ASSERT_TRUE(waitUntil([&] { return !log.states.empty(); }));
    ASSERT_EQ(log.states.size(), 1u); // straight from the old text to the new, never loading
    EXPECT_EQ(log.states[0].content->text, QStringLiteral("two\n"));
    EXPECT_NE(model.loadedContentHash(), hash);

    // A failed load does not count as shown: loading it again starts from the progress state.
    QFile::remove(path("notes.txt"));
    model.reloadFileContent();
    ASSERT_TRUE(waitUntil([&] { return model.loadState().phase == Phase::failed; }));
    model.reloadFileContent();
    EXPECT_EQ(model.loadState().phase, Phase::loading);
}

TEST_F(FileViewerModelTest, ASwiftFileIsHighlightedAgainForAnotherSchemeWithoutLeavingTheScreen)
{
    writeFile(path("main.swift"), "let answer = 42\n");
    FileViewerModel model;
    StateLog log(model);
    model.setActive(true);
    model.setFile(document(path("main.swift")));
    ASSERT_TRUE(waitUntil([&] { return model.loadState().phase == Phase::loaded; }));
    const auto light = *model.loadState().content->highlightedSwiftText;
    log.states.clear();
    model.setColorScheme(mdview::ColorScheme::dark);
    ASSERT_TRUE(waitUntil([&] { return !log.states.empty(); }));
    ASSERT_EQ(log.states.size(), 1u);
    const auto& content = *log.states[0].content;
    EXPECT_EQ(content.highlightScheme, mdview::ColorScheme::dark);
    ASSERT_TRUE(content.highlightedSwiftText);
    EXPECT_EQ(content.highlightedSwiftText->text(), light.text());
    EXPECT_NE(*content.highlightedSwiftText, light);
}

TEST_F(FileViewerModelTest, TheFilesFolderIsWatchedWhileActive)
{
    QDir().mkpath(path("sub"));
    writeFile(path("notes.txt"), "one\n");
    FileViewerModel model;
    int changes = 0;
    model.setOnWatchedFileChange([&] { ++changes; });
    StateLog log(model);
    model.setActive(true);
    model.setFile(document(path("notes.txt")));
    ASSERT_TRUE(waitUntil([&] { return model.loadState().phase == Phase::loaded; }));
    const auto sh = [&](const QString& script) {
        ASSERT_EQ(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), script}), 0) << script.toStdString();
    };
    const auto shownText = [&] { return model.loadState().content ? model.loadState().content->text : QString(); };

    const struct {
        const char* what;
        QString script;
        QString text; // empty: no change
    } edits[] = {
        {"touch", QStringLiteral("touch notes.txt"), {}},
        {"append", QStringLiteral("echo two >> notes.txt"), QStringLiteral("one\ntwo\n")},
        {"sed -i", QStringLiteral("sed -i s/one/ONE/ notes.txt"), QStringLiteral("ONE\ntwo\n")},
        {"cp", QStringLiteral("printf 'copied\\n' > ../copy && cp ../copy notes.txt"), QStringLiteral("copied\n")},
        {"same name below", QStringLiteral("echo x > sub/notes.txt"), {}},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.what);
        log.states.clear();
        const int before = changes;
        sh(QStringLiteral("cd '") + dir.path() + QStringLiteral("' && ") + edit.script);
        if (edit.text.isEmpty()) {
            testsupport::spin(700);
            EXPECT_TRUE(log.states.empty());
        } else {
            ASSERT_TRUE(waitUntil([&] { return shownText() == edit.text; })) << shownText().toStdString();
            EXPECT_GT(changes, before);
        }
    }

    model.setActive(false);
    writeFile(path("notes.txt"), "unseen\n");
    testsupport::spin(700);
    EXPECT_EQ(shownText(), QStringLiteral("copied\n"));
}

} // namespace

// A long Markdown document shows its beginning first (its text up to a line end, parsed alone),
// and then the whole; the beginning's blocks are the whole's first blocks. A reload of what is
// shown goes straight to the new whole, so that a reader further down is not shown the beginning
// in between.
TEST_F(FileViewerModelTest, ALongDocumentShowsItsBeginningFirstThenTheWhole)
{
    QByteArray text;
    for (int i = 0; text.size() < (3 << 20); ++i)
        text += "Paragraph " + QByteArray::number(i) + " of a long document.\n\n";
    FileViewerModel model;
    StateLog log(model);
    ASSERT_NO_FATAL_FAILURE(showWhole(model, "long.md", text));
    ASSERT_EQ(log.loadedTexts().size(), 2u);
    const auto& first = *log.states[1].content;
    const auto& whole = *log.states[2].content;
    const auto& firstBlocks = first.markdown->blocks();
    const auto& wholeBlocks = whole.markdown->blocks();
    ASSERT_GT(firstBlocks.size(), 1000u);
    ASSERT_LT(firstBlocks.size(), wholeBlocks.size() / 4);
    EXPECT_TRUE(std::equal(firstBlocks.begin(), firstBlocks.end(), wholeBlocks.begin()));
    ASSERT_TRUE(model.loadedContentHash());
    const std::size_t wholeCount = wholeBlocks.size();

    log.states.clear();
    writeFile(path("long.md"), text + "The end.\n");
    model.reloadFileContent();
    ASSERT_TRUE(waitUntil([&] { return !log.states.empty() && !model.isReading(); }));
    ASSERT_EQ(log.states.size(), 1u);
    EXPECT_EQ(log.states[0].content->markdown->blocks().size(), wholeCount + 1);
}

// A long document with no line end early on is shown first by its beginning cut inside the line:
// one paragraph whose inlines begin the whole's.
TEST_F(FileViewerModelTest, ALongLineShowsItsBeginningFirst)
{
    QByteArray line;
    for (int i = 0; line.size() < (2 << 20); ++i)
        line += "*a* `b c` [d e](f \"g h\") word" + QByteArray::number(i) + ' ';
    FileViewerModel model;
    StateLog log(model);
    ASSERT_NO_FATAL_FAILURE(showWhole(model, "line.md", line));
    ASSERT_EQ(log.loadedTexts().size(), 2u);
    const auto paragraph = [](const FileViewerLoadState& state) {
        const auto& blocks = state.content->markdown->blocks();
        EXPECT_EQ(blocks.size(), 1u);
        return blocks.at(0).as<markdown::BlockNode::Paragraph>()->content;
    };
    const auto first = paragraph(log.states[1]);
    const auto whole = paragraph(log.states[2]);
    ASSERT_GT(first.size(), 10000u);
    ASSERT_LT(first.size(), whole.size() / 4);
    EXPECT_TRUE(std::equal(first.begin(), first.end() - 1, whole.begin()));
}
