#include "entry/SceneWindows.h"

#include "core/AppViewModel.h"
#include "core/LogStore.h"
#include "entry/QuilloraApp.h"

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora {
namespace {

// A home folder can hold hundreds of thousands of entries; the text shows the first ones.
constexpr int maxTreeLines = 20000;

void appendTree(const FileTreeNodeList& nodes, int depth, QStringList& lines)
{
    for (const auto& node : nodes) {
        if (lines.size() >= maxTreeLines)
            return;
        const bool isDirectory = node.type == FileTreeNodeType::directory;
        lines << QString(depth * 2, QLatin1Char(' ')) + node.name + (isDirectory ? QStringLiteral("/") : QString());
        appendTree(node.children, depth + 1, lines);
    }
}

QLabel* plainLabel()
{
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

} // namespace

MainWindow::MainWindow(QuilloraApp& app, AppViewModel& viewModel)
    : viewModel_(viewModel)
    , folderLabel_(plainLabel())
    , selectionLabel_(plainLabel())
    , messageLabel_(plainLabel())
    , treeView_(new QPlainTextEdit)
{
    setWindowTitle(QStringLiteral("Quillora"));
    setAcceptDrops(true);
    resize(720, 560);

    auto* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->addAction(QStringLiteral("Open Project…"), QKeySequence::Open, &viewModel, &AppViewModel::presentDirectoryPicker);
    fileMenu->addAction(QStringLiteral("New Window"), QKeySequence::New, &app, [&app] { app.newMainWindow(); });
    fileMenu->addAction(QStringLiteral("Settings…"), QKeySequence::Preferences, &app, &QuilloraApp::showSettings);
    fileMenu->addSeparator();
    fileMenu->addAction(QStringLiteral("Quit"), QKeySequence::Quit, qApp, &QApplication::closeAllWindows);
    auto* windowMenu = menuBar()->addMenu(QStringLiteral("&Window"));
    windowMenu->addAction(QStringLiteral("Session Logs"), &app, &QuilloraApp::showLogs);

    messageLabel_->setStyleSheet(QStringLiteral("color: #b00020"));
    treeView_->setReadOnly(true);
    treeView_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(folderLabel_);
    layout->addWidget(selectionLabel_);
    layout->addWidget(messageLabel_);
    layout->addWidget(treeView_, 1);
    setCentralWidget(central);

    connect(&viewModel, &AppViewModel::selectedFolderURLChanged, this, &MainWindow::refreshFolder);
    connect(&viewModel, &AppViewModel::selectedFileChanged, this, &MainWindow::refreshSelection);
    connect(&viewModel, &AppViewModel::selectedDirectoryURLChanged, this, &MainWindow::refreshSelection);
    connect(&viewModel, &AppViewModel::fileAvailabilityChanged, this, &MainWindow::refreshSelection);
    connect(&viewModel, &AppViewModel::scanErrorChanged, this, &MainWindow::refreshMessages);
    connect(&viewModel, &AppViewModel::deleteErrorChanged, this, &MainWindow::refreshMessages);
    connect(&viewModel, &AppViewModel::securityScopeErrorMessageChanged, this, &MainWindow::refreshMessages);
    connect(&viewModel, &AppViewModel::fileTreeNodesChanged, this, &MainWindow::refreshTree);
    refreshFolder();
    refreshSelection();
    refreshMessages();
    refreshTree();
}

QString MainWindow::treeText() const
{
    return treeView_->toPlainText();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const auto urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    event->acceptProposedAction();
    viewModel_.handleDroppedURL(urls.first());
}

void MainWindow::refreshFolder()
{
    const auto name = viewModel_.selectedFolderName();
    setWindowTitle(name ? *name + QStringLiteral(" — Quillora") : QStringLiteral("Quillora"));
    const QUrl folder = viewModel_.selectedFolderURL();
    folderLabel_->setText(folder.isEmpty() ? QStringLiteral("No project folder. Open one with File › Open Project… or drop it here.")
                                           : QStringLiteral("Project: ") + folder.toLocalFile());
}

void MainWindow::refreshSelection()
{
    const auto& file = viewModel_.selectedFile();
    if (file) {
        const bool missing = viewModel_.fileAvailability() == FileAvailability::missing;
        selectionLabel_->setText(QStringLiteral("Selected file: ") + file->url.toLocalFile()
                                 + (missing ? QStringLiteral(" (missing)") : QString()));
    } else if (!viewModel_.selectedDirectoryURL().isEmpty()) {
        selectionLabel_->setText(QStringLiteral("Selected folder: ") + viewModel_.selectedDirectoryURL().toLocalFile());
    } else {
        selectionLabel_->setText(QStringLiteral("Nothing selected"));
    }
}

void MainWindow::refreshMessages()
{
    QStringList messages;
    if (const auto message = viewModel_.securityScopeErrorMessage())
        messages << *message;
    if (viewModel_.scanError())
        messages << QStringLiteral("Some folders could not be scanned due to permissions.");
    if (const auto& error = viewModel_.deleteError())
        messages << error->errorDescription();
    messageLabel_->setText(messages.join(QLatin1Char('\n')));
    messageLabel_->setVisible(!messages.isEmpty());
}

void MainWindow::refreshTree()
{
    QStringList lines;
    appendTree(viewModel_.fileTreeNodes(), 0, lines);
    treeView_->setPlainText(lines.join(QLatin1Char('\n')));
}

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
