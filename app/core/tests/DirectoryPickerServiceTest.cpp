#include "core/DirectoryPickerService.h"

#include <testsupport/EventLoop.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>

using namespace quillora;

namespace {

QFileDialog* openDialog()
{
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

TEST(DirectoryPickerService, ShowsAFreeStandingFolderDialogAndReportsTheChoice)
{
    QTemporaryDir dir;
    DirectoryPickerService picker;
    int calls = 0;
    std::optional<QUrl> chosen;
    picker.pickDirectory([&](std::optional<QUrl> url) {
        ++calls;
        chosen = url;
    });
    // Returns at once: the dialog is open and nothing has been reported.
    auto* dialog = openDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_TRUE(dialog->filter().testFlag(QDir::Hidden));
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), QStringLiteral("Open Project"));

    dialog->setDirectory(dir.path());
    dialog->selectFile(dir.path());
    QMetaObject::invokeMethod(dialog, "accept");
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(QDir::cleanPath(chosen->toLocalFile()), QDir::cleanPath(dir.path()));
    EXPECT_TRUE(testsupport::waitUntil([] { return openDialog() == nullptr; }));
}

TEST(DirectoryPickerService, CancellingReportsNothing)
{
    DirectoryPickerService picker;
    int calls = 0;
    std::optional<QUrl> chosen = QUrl(QStringLiteral("file:///unset"));
    picker.pickDirectory([&](std::optional<QUrl> url) {
        ++calls;
        chosen = url;
    });
    auto* dialog = openDialog();
    ASSERT_TRUE(dialog);
    dialog->reject();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(chosen);
}

} // namespace
