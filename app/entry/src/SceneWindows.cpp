#include "entry/SceneWindows.h"

#include "core/AppViewModel.h"
#include "core/LogStore.h"
#include "entry/QuilloraApp.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora {
SettingsWindow::SettingsWindow(QuilloraApp& app, AppViewModel& viewModel)
    : hiddenFiles_(new QCheckBox(QStringLiteral("Show hidden files in the file tree")))
{
    setWindowTitle(QStringLiteral("Settings"));
    auto* logsButton = new QPushButton(QStringLiteral("Session Logs"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hiddenFiles_);
    layout->addWidget(logsButton);
    layout->addStretch();

    hiddenFiles_->setChecked(viewModel.showsHiddenFilesInTree());
    connect(hiddenFiles_, &QCheckBox::toggled, &viewModel, &AppViewModel::setShowsHiddenFilesInTree);
    connect(&viewModel, &AppViewModel::showsHiddenFilesInTreeChanged, this,
            [this, &viewModel] { hiddenFiles_->setChecked(viewModel.showsHiddenFilesInTree()); });
    connect(logsButton, &QPushButton::clicked, &app, &QuilloraApp::showLogs);
}

LogsWindow::LogsWindow()
    : text_(new QPlainTextEdit)
{
    setObjectName(QStringLiteral("logs"));
    setWindowTitle(QStringLiteral("Session Logs"));
    resize(720, 420);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    connect(&LogStore::shared(), &LogStore::entriesChanged, this, &LogsWindow::refresh);
    refresh();
}

void LogsWindow::refresh()
{
    text_->setPlainText(LogStore::shared().exportText());
}

} // namespace quillora
