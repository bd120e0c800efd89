#include "core/AppViewModel.h"
#include "core/DefaultsKeys.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace quillora;

namespace {

// A model with nothing remembered: it neither scans nor watches, so no service is needed.
std::unique_ptr<AppViewModel> makeModel(const std::shared_ptr<platform::UserDefaults>& defaults)
{
    AppViewModelServices services;
    services.defaults = defaults;
    return std::make_unique<AppViewModel>(std::move(services));
}

TEST(WindowWrites, TerminalToggleFlipsThePublishedValueAndStoresIt)
{
    QTemporaryDir dir;
    const auto defaults = std::make_shared<platform::UserDefaults>(dir.filePath(QStringLiteral("defaults.json")));
    const QString key = QString::fromLatin1(defaults_keys::showTerminal);
    auto vm = makeModel(defaults);
    ASSERT_TRUE(vm->showsTerminal());

    int changes = 0;
    QObject::connect(vm.get(), &AppViewModel::showsTerminalChanged, [&] { ++changes; });
    vm->setShowsTerminal(true);
    EXPECT_EQ(changes, 0) << "the same value is no change";

    // What the window's toggle does: flip the model, store the choice through its settings.
    vm->setShowsTerminal(false);
    EXPECT_FALSE(vm->showsTerminal());
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(defaults->contains(key)) << "the model itself writes no setting";
    vm->settingsStore().setShowTerminal(vm->showsTerminal());

    // The next launch starts without the terminal.
    vm.reset();
    EXPECT_FALSE(makeModel(defaults)->showsTerminal());
    EXPECT_EQ(defaults->boolean(key), false);
}

TEST(WindowWrites, DismissedDeletionAlertClearsTheError)
{
    QTemporaryDir dir;
    auto vm = makeModel(std::make_shared<platform::UserDefaults>(dir.filePath(QStringLiteral("defaults.json"))));
    int changes = 0;
    QObject::connect(vm.get(), &AppViewModel::deleteErrorChanged, [&] { ++changes; });

    vm->deleteFile(FileDocumentModel::fromURL(QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.md")))));
    ASSERT_TRUE(vm->deleteError());
    vm->clearDeleteError();
    EXPECT_FALSE(vm->deleteError());
    EXPECT_EQ(changes, 2);
    vm->clearDeleteError();
    EXPECT_EQ(changes, 2) << "nothing to clear is no change";
}

} // namespace
