// The terminal pane with real shells: started in the folder at the view's size, kept while
// hidden, ended with the pane; a bracketed paste that tries to end itself early runs nothing;
// editing keys with Shift leave nothing stray on bash's line.
#include "terminal/view/LocalProcessTerminalView.h"
#include "terminal/view/TerminalPane.h"

#include "terminal/ScreenDump.h"
#include "testsupport/EventLoop.h"

#include <QDir>
#include <QLabel>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <optional>

namespace terminal {
namespace {

using testsupport::waitUntil;

bool processGone(pid_t pid)
{
    return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

std::string screen(TerminalView& view)
{
    return screenText(view.terminal());
}

class Pane : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFileInfo(QStringLiteral("/bin/bash")).isExecutable())
            GTEST_SKIP() << "bash is not installed";
        qputenv("SHELL", "/bin/bash");
        folder = dir.path() + QStringLiteral("/it's a folder");
        ASSERT_TRUE(QDir().mkpath(folder));
    }

    // A shown pane whose shell has printed its first prompt.
    std::unique_ptr<TerminalContainerView> startedPane()
    {
        auto pane = std::make_unique<TerminalContainerView>(QUrl::fromLocalFile(folder));
        pane->resize(700, 300);
        pane->show();
        LocalProcessTerminalView& view = *pane->terminalView();
        EXPECT_TRUE(waitUntil([&] { return view.process().running() && view.terminal().buffer().x() > 0; }, 10000));
        return pane;
    }

    QTemporaryDir dir;
    QString folder;
};

TEST_F(Pane, StartsTheShellInTheFolderAtTheViewsSizeAndEndsItWithThePane)
{
    auto pane = startedPane();
    LocalProcessTerminalView& view = *pane->terminalView();
    EXPECT_EQ(pane->header()->text(), QStringLiteral("Terminal"));
    EXPECT_TRUE(pane->viewModel().sessionService().hasStartedProcess());
    view.send(std::string_view("clear; stty size; pwd\r"));
    const std::string size = std::to_string(view.terminal().rows()) + " " + std::to_string(view.terminal().cols());
    ASSERT_TRUE(waitUntil([&] {
        const std::string text = screen(view);
        return text.find(size) != std::string::npos && text.find(folder.toStdString()) != std::string::npos;
    }, 10000)) << screen(view);
    EXPECT_GT(view.terminal().cols(), 40);

    const pid_t shell = view.process().shellPid();
    ASSERT_GT(shell, 0);
    pane.reset();
    EXPECT_TRUE(waitUntil([&] { return processGone(shell); }, 5000));
}

// The cd line is typed once bash has printed its prompt: the terminal does not echo it ahead
// of the line editor, so it shows once, after the first prompt, and the next prompt follows.
TEST_F(Pane, TheCdLineShowsOnceAfterTheFirstPrompt)
{
    auto pane = std::make_unique<TerminalContainerView>(QUrl::fromLocalFile(folder));
    pane->resize(1400, 300); // the prompt and the line on one row
    pane->show();
    LocalProcessTerminalView& view = *pane->terminalView();
    QString quoted = folder;
    const std::string cd = "cd '" + quoted.replace(QStringLiteral("'"), QStringLiteral("'\\''")).toStdString() + "'";
    const Buffer& buffer = view.terminal().buffer();
    const auto row = [&](int y) { return buffer.screenLine(y).translateToString(buffer.tables(), true); };
    // Settled: the prompt after the cd line has come, with the cursor after it.
    const auto settled = [&] {
        const int y = buffer.y();
        return y > 0 && buffer.x() > 0 && row(y - 1).find(cd) != std::string::npos;
    };
    ASSERT_TRUE(waitUntil(settled, 10000)) << screen(view);
    testsupport::spin(300);
    const std::string text = screen(view);
    const auto at = text.find(cd);
    EXPECT_EQ(text.find(cd, at + 1), std::string::npos) << text;
    // Typed at the first prompt, not ahead of it.
    const std::string cdRow = row(buffer.y() - 1);
    EXPECT_GT(cdRow.find(cd), 0u) << text;
    EXPECT_TRUE(cdRow.ends_with(cd)) << text;
}

TEST_F(Pane, WithoutAFolderNoShellRunsAndAHiddenPaneKeepsItsShellAndSize)
{
    TerminalContainerView empty(std::nullopt);
    empty.show();
    testsupport::spin(50);
    EXPECT_FALSE(empty.terminalView()->process().running());
    EXPECT_FALSE(empty.viewModel().sessionService().hasStartedProcess());

    auto pane = startedPane();
    LocalProcessTerminalView& view = *pane->terminalView();
    const int rows = view.terminal().rows();
    const int cols = view.terminal().cols();
    pane->hide();
    pane->resize(700, 0);
    testsupport::spin(200);
    EXPECT_TRUE(view.process().running());
    EXPECT_EQ(view.terminal().rows(), rows);
    EXPECT_EQ(view.terminal().cols(), cols);
    // Showing it again changes nothing of the session.
    pane->resize(700, 300);
    pane->show();
    testsupport::spin(50);
    EXPECT_TRUE(view.process().running());
    EXPECT_EQ(view.terminal().rows(), rows);
}

TEST_F(Pane, ABracketedPasteCannotEndItselfAndRunWhatFollows)
{
    auto pane = startedPane();
    LocalProcessTerminalView& view = *pane->terminalView();
    ASSERT_TRUE(waitUntil([&] { return view.terminal().modes().bracketedPasteMode; }, 5000))
        << "bash did not ask for bracketed paste";
    const QString victim = folder + QStringLiteral("/X");
    view.pasteText(QStringLiteral("\x1b[201~touch X\n"));
    testsupport::spin(700);
    EXPECT_FALSE(QFileInfo::exists(victim));
    // The text waits on the command line; the shell is fine.
    view.send(std::string_view("\x03"));
    view.send(std::string_view("echo alive-$((6*7))\r"));
    ASSERT_TRUE(waitUntil([&] { return screen(view).find("alive-42") != std::string::npos; }, 5000)) << screen(view);
    EXPECT_FALSE(QFileInfo::exists(victim));

    // What the same paste does when its end marker is passed through: it runs.
    const std::string_view unguarded = "\x1b[200~\x1b[201~touch X\r\x1b[201~";
    view.send(unguarded);
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(victim); }, 5000));
}

// The editing keys with Shift, alone or with Ctrl or Alt, pressed on bash's line: each line prints
// just the letters typed, wherever the key moved the cursor ("Fecho" after Shift+End was the fault).
TEST_F(Pane, EditingKeysWithShiftLeaveNoStrayLetterOnBashsLine)
{
    qputenv("INPUTRC", "/dev/null"); // readline's own bindings, not this machine's
    auto pane = startedPane();
    qunsetenv("INPUTRC");
    LocalProcessTerminalView& view = *pane->terminalView();
    const Buffer& buffer = view.terminal().buffer();
    // The rows of output: those without the prompt's command.
    const auto printed = [&](const std::string& marker) -> std::optional<std::string> {
        for (int y = 0; y < view.terminal().rows(); ++y) {
            const std::string row = buffer.screenLine(y).translateToString(buffer.tables(), true);
            if (row.find("echo") == std::string::npos && row.find(marker) != std::string::npos)
                return row;
        }
        return std::nullopt;
    };
    const Qt::Key keys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_End};
    std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> presses;
    for (const Qt::Key key : keys)
        for (const Qt::KeyboardModifiers modifiers :
             {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::ControlModifier | Qt::ShiftModifier,
              Qt::AltModifier | Qt::ShiftModifier})
            presses.emplace_back(key, modifiers);
    // Readline binds no Alt form of Delete, with Shift or without.
    presses.emplace_back(Qt::Key_Delete, Qt::ShiftModifier);
    presses.emplace_back(Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);

    for (std::size_t i = 0; i < presses.size(); ++i) {
        const auto [key, modifiers] = presses[i];
        const std::string marker = "k" + std::to_string(i) + "-";
        QTest::keyClicks(&view, QString::fromStdString("clear; echo " + marker + "ab"));
        QTest::keyClick(&view, key, modifiers);
        QTest::keyClicks(&view, QStringLiteral("X"));
        QTest::keyClick(&view, Qt::Key_Return);
        std::optional<std::string> line;
        ASSERT_TRUE(waitUntil([&] { return (line = printed(marker)).has_value(); }, 5000))
            << "key " << std::hex << key << " " << modifiers << "\n" << screen(view);
        std::string letters = *line;
        std::string typed = marker + "abX";
        std::sort(letters.begin(), letters.end());
        std::sort(typed.begin(), typed.end());
        EXPECT_EQ(letters, typed) << "key " << std::hex << key << " " << modifiers << " printed " << *line;
    }
}

// The program's title and folder reach the embedding code as the program wrote them.
TEST(LocalProcessView, TheTitleAndTheFolderReachTheProcessDelegate)
{
    struct Recorder : LocalProcessTerminalViewDelegate {
        std::vector<QString> titles;
        std::vector<std::optional<QString>> folders;
        void setTerminalTitle(LocalProcessTerminalView&, const QString& title) override { titles.push_back(title); }
        void hostCurrentDirectoryUpdate(LocalProcessTerminalView&, const std::optional<QString>& folder) override
        {
            folders.push_back(folder);
        }
    } recorder;
    LocalProcessTerminalView view;
    view.setProcessDelegate(&recorder);
    view.feed("\x1b]2;build \xc3\xa9\x07\x1b]7;file://host/tmp/a%20b\x07");
    EXPECT_EQ(recorder.titles, (std::vector{QStringLiteral("build é")}));
    ASSERT_EQ(recorder.folders.size(), 1u);
    EXPECT_EQ(recorder.folders[0], QStringLiteral("file://host/tmp/a%20b"));
}

} // namespace
} // namespace terminal
