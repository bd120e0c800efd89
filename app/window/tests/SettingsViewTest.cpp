#include "WindowFixture.h"

#include "window/AppSidebarView.h"
#include "window/FileTreeModel.h"
#include "window/FileTreeView.h"
#include "window/SettingsView.h"

#include <testsupport/EventLoop.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

using namespace quillora;
using testsupport::waitUntil;

namespace {

class SettingsViewTest : public WindowFixture {
protected:
    bool treeShows(const QString& relative) const
    {
        return window->sidebar()->fileTree()->model()->indexForPath(path(relative)).isValid();
    }

    std::optional<bool> stored() const
    {
        return platform::UserDefaults::standard()->boolean(QStringLiteral("quillora.settings.showHiddenFilesInTree"));
    }
};

TEST_F(SettingsViewTest, TheSwitchChangesTheTreeAtOnceAndPersists)
{
    write(QStringLiteral("visible.md"), "v");
    write(QStringLiteral(".hidden.md"), "h");
    openWindow();
    viewModel->openFolder(QUrl::fromLocalFile(project), true);
    ASSERT_TRUE(waitUntil([&] { return treeShows(QStringLiteral("visible.md")); }));
    EXPECT_FALSE(treeShows(QStringLiteral(".hidden.md")));

    SettingsView settings(*viewModel, {});
    QCheckBox* toggle = settings.hiddenFilesToggle();
    EXPECT_EQ(toggle->text(), QStringLiteral("Show hidden files and folders in file tree"));
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(stored());

    toggle->click();
    EXPECT_TRUE(viewModel->showsHiddenFilesInTree());
    EXPECT_EQ(stored(), true);
    // No file-system event is needed: the switch rescans by itself.
    ASSERT_TRUE(waitUntil([&] { return treeShows(QStringLiteral(".hidden.md")); }, 2000));

    // Quick switching leaves the last value stored and the tree scanned with it.
    toggle->click();
    toggle->click();
    toggle->click();
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(stored(), false);
    ASSERT_TRUE(waitUntil([&] { return !treeShows(QStringLiteral(".hidden.md")); }, 2000));
    testsupport::spin(300);
    EXPECT_FALSE(treeShows(QStringLiteral(".hidden.md")));

    // A change made elsewhere shows in the switch.
    viewModel->setShowsHiddenFilesInTree(true);
    EXPECT_TRUE(toggle->isChecked());

    // The next launch starts with the stored value.
    openWindow();
    EXPECT_TRUE(viewModel->showsHiddenFilesInTree());
    EXPECT_TRUE(SettingsView(*viewModel, {}).hiddenFilesToggle()->isChecked());
}

TEST_F(SettingsViewTest, ShowLogsAsksForTheLogsWindow)
{
    openWindow();
    QStringList opened;
    SettingsView settings(*viewModel, [&](const QString& identifier) { opened << identifier; });
    EXPECT_EQ(settings.showLogsButton()->text(), QStringLiteral("Show Logs"));
    settings.showLogsButton()->click();
    settings.showLogsButton()->click();
    EXPECT_EQ(opened, (QStringList{QStringLiteral("logs"), QStringLiteral("logs")}));
    EXPECT_GE(settings.minimumWidth(), 420);
    EXPECT_GE(settings.minimumHeight(), 160);
}

} // namespace
