#include "WindowFixture.h"

#include "core/LogStore.h"
#include "window/LogEntryList.h"
#include "window/LogsView.h"
#include "window/SettingsView.h"
#include "window/TextFileViewerBody.h"

#include <testsupport/EventLoop.h>

#include <QApplication>
#include <QSignalSpy>
#include <QStyleFactory>

using namespace quillora;
using testsupport::waitUntil;

namespace {

// With QUILLORA_SCREENSHOT_DIR set, draws the settings and session-log windows in a light and a
// dark palette into PNG files there, for a person to look at.
class ScreenshotsTest : public WindowFixture {
protected:
    static QPalette palette(bool dark)
    {
        QPalette light = QApplication::style()->standardPalette();
        if (!dark)
            return light;
        QPalette palette = light;
        const QColor window(0x1e, 0x1e, 0x1e), base(0x26, 0x26, 0x26), text(0xe8, 0xe8, 0xe8);
        for (const auto& [role, color] : std::initializer_list<std::pair<QPalette::ColorRole, QColor>>{
                 {QPalette::Window, window},       {QPalette::WindowText, text}, {QPalette::Base, base},
                 {QPalette::AlternateBase, window}, {QPalette::Text, text},       {QPalette::Button, QColor(0x33, 0x33, 0x33)},
                 {QPalette::ButtonText, text},      {QPalette::Mid, QColor(0x2a, 0x2a, 0x2a)},
                 {QPalette::Highlight, QColor(0x0a, 0x84, 0xff)}, {QPalette::HighlightedText, Qt::white}})
            palette.setColor(role, color);
        return palette;
    }
};

TEST_F(ScreenshotsTest, BothWindowsInLightAndDark)
{
    const QString folder = qEnvironmentVariable("QUILLORA_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "set QUILLORA_SCREENSHOT_DIR to draw the screenshots";
    QDir().mkpath(folder);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    const QString logs = QDir(dir.path()).filePath(QStringLiteral("Logs"));
    testsupport::writeFile(logs + QStringLiteral("/session-2026-12-08_14-03-09.log"),
                           "[2026-12-08 14:03:09.512] [INFO] [AppViewModel] Opened project\n"
                           "[2026-12-08 14:03:10.020] [WARN] [DirectoryWatcherService] The watch limit was reached\n");
    LogStore store(logs);
    store.append(LogLevel::info, QStringLiteral("AppViewModel"), QStringLiteral("Restored /home/me/project"));
    store.append(LogLevel::debug, QStringLiteral("FileTreeScannerService"), QStringLiteral("Scanned 1,204 nodes in 38 ms"));
    store.append(LogLevel::warning, QStringLiteral("FileWatcherService"), QStringLiteral("notes.md disappeared; showing it as missing"));
    store.append(LogLevel::error, QStringLiteral("ChatServiceWithAVeryLongCategoryName"),
                 QStringLiteral("The tool exited with status 1:\nerror: unknown option --resume\nTry --help"));
    store.append(LogLevel::info, QStringLiteral("ChatViewModel"),
                 QStringLiteral("A long message wraps within its row rather than running off the edge of the window, "
                                "however long it is, up to a screenful of lines."));

    openWindow();
    for (const bool dark : {false, true}) {
        const QString scheme = dark ? QStringLiteral("dark") : QStringLiteral("light");
        SettingsView settings(*viewModel, {});
        settings.setPalette(palette(dark));
        settings.resize(settings.minimumSize());
        settings.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(settings.grab().save(folder + QStringLiteral("/settings-%1.png").arg(scheme)));

        LogsView logsView(store);
        logsView.setPalette(palette(dark));
        logsView.resize(900, 520);
        logsView.show();
        logsView.selectSession(LogsView::currentSessionID());
        logsView.entryModel()->catchUp();
        QCoreApplication::processEvents();
        logsView.entryList()->selectionModel()->select(logsView.entryModel()->index(2, 0), QItemSelectionModel::Select);
        EXPECT_TRUE(logsView.grab().save(folder + QStringLiteral("/logs-current-%1.png").arg(scheme)));

        QSignalSpy shown(&logsView, &LogsView::sessionContentShown);
        logsView.selectSession(QStringLiteral("session-2026-12-08_14-03-09.log"));
        ASSERT_TRUE(shown.wait(5000));
        ASSERT_TRUE(waitUntil([&] { return !logsView.pastSessionText()->isFilling(); }));
        EXPECT_TRUE(logsView.grab().save(folder + QStringLiteral("/logs-past-%1.png").arg(scheme)));

        logsView.selectSession(std::nullopt);
        EXPECT_TRUE(logsView.grab().save(folder + QStringLiteral("/logs-none-%1.png").arg(scheme)));
    }
}

} // namespace
