#include "window/ContentView.h"

#include "core/AppViewModel.h"
#include "window/AppDetailView.h"
#include "window/AppSidebarView.h"
#include "window/DetailViews.h"
#include "window/FileViewerView.h"
#include "window/SymbolIcons.h"

#include <platform/FileKind.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

namespace quillora {

ContentView::ContentView(AppViewModel& viewModel, WindowServices services, QWidget* parent)
    : QMainWindow(parent)
    , m_viewModel(viewModel)
    , m_services(std::move(services))
    , m_chatViewModel(m_services.panes.makeChatViewModel())
    , m_sidebar(new AppSidebarView(viewModel))
    , m_detail(new AppDetailView(viewModel, *m_chatViewModel, m_services.panes, m_services.fileViewer))
    , m_terminalToggle(new QAction(this))
    , m_dropOverlay(nullptr)
{
    setAcceptDrops(true);
    resize(1200, 760);

    auto* columns = new QSplitter(Qt::Horizontal);
    columns->setChildrenCollapsible(false);
    columns->addWidget(m_sidebar);
    columns->addWidget(m_detail);
    columns->setStretchFactor(0, 0);
    columns->setStretchFactor(1, 1);
    columns->setSizes({AppSidebarView::idealWidth, width() - AppSidebarView::idealWidth});
    setCentralWidget(columns);
    m_dropOverlay = new DropOverlayView(this);

    m_terminalToggle->setText(QStringLiteral("Toggle Terminal"));
    connect(m_terminalToggle, &QAction::triggered, this, &ContentView::toggleTerminal);
    auto* toolbar = addToolBar(QStringLiteral("Window"));
    toolbar->setObjectName(QStringLiteral("windowToolbar"));
    toolbar->setMovable(false);
    toolbar->addAction(m_terminalToggle);
    toolbar->widgetForAction(m_terminalToggle)->setAccessibleName(QStringLiteral("Toggle Terminal"));
    buildMenus();

    connect(&viewModel, &AppViewModel::showsTerminalChanged, this, &ContentView::refreshTerminalToggle);
    connect(&viewModel, &AppViewModel::selectedFolderURLChanged, this, [this] {
        const QUrl folder = m_viewModel.selectedFolderURL();
        m_chatViewModel->setWorkingDirectoryURL(folder.isEmpty() ? std::nullopt : std::optional(folder));
        refreshTitle();
    });
    connect(&viewModel, &AppViewModel::selectedFileChanged, this, &ContentView::refreshTitle);
    connect(m_detail, &AppDetailView::contentPainted, this, &ContentView::contentPainted);
    connect(m_sidebar, &AppSidebarView::feedbackRequested, this, [this] { setShowsFeedback(true); });
    const QUrl folder = viewModel.selectedFolderURL();
    m_chatViewModel->setWorkingDirectoryURL(folder.isEmpty() ? std::nullopt : std::optional(folder));
    refreshTerminalToggle();
    refreshTitle();
}

ContentView::~ContentView()
{
    delete m_feedbackSheet.data();
}

void ContentView::buildMenus()
{
    auto* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    // The one Ctrl+O of the window: the empty state's button does the same.
    fileMenu->addAction(QStringLiteral("Open Project…"), QKeySequence(Qt::CTRL | Qt::Key_O), &m_viewModel,
                        &AppViewModel::presentDirectoryPicker);
    if (m_services.newWindow)
        fileMenu->addAction(QStringLiteral("New Window"), QKeySequence(Qt::CTRL | Qt::Key_N), this, m_services.newWindow);
    if (m_services.showSettings) {
        // Bound explicitly: the platform's preferences key is empty on some desktops.
        fileMenu->addAction(QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
                            m_services.showSettings);
    }
    fileMenu->addSeparator();
    fileMenu->addAction(QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), qApp, &QApplication::closeAllWindows);
}

void ContentView::toggleTerminal()
{
    const bool shows = !m_viewModel.showsTerminal();
    m_viewModel.setShowsTerminal(shows);
    m_viewModel.settingsStore().setShowTerminal(shows);
}

void ContentView::refreshTerminalToggle()
{
    m_terminalToggle->setToolTip(m_viewModel.showsTerminal() ? QStringLiteral("Hide Terminal")
                                                             : QStringLiteral("Show Terminal"));
    m_terminalToggle->setIcon(symbolIcon(QStringLiteral("terminal"), palette().color(QPalette::ButtonText)));
}

void ContentView::refreshTitle()
{
    if (const auto& file = m_viewModel.selectedFile())
        setWindowTitle(file->name);
    else
        setWindowTitle(m_viewModel.selectedFolderName().value_or(QStringLiteral("Quillora")));
}

void ContentView::setShowsFeedback(bool shows)
{
    if (shows == showsFeedback())
        return;
    if (!shows) {
        m_feedbackSheet->close();
        return;
    }
    auto* sheet = new QDialog(this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setMinimumSize(720, 640);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_services.panes.makeFeedbackBoard());
    m_feedbackSheet = sheet;
    sheet->open();
}

bool ContentView::acceptsDrop(const QList<QUrl>& urls)
{
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return false;
    const auto kind = platform::fileKind(urls.first().toLocalFile());
    return kind == platform::FileKind::RegularFile || kind == platform::FileKind::Directory;
}

bool ContentView::handleDrop(const QList<QUrl>& urls)
{
    if (!acceptsDrop(urls))
        return false;
    m_viewModel.handleDroppedURL(urls.first()); // only the first item is opened
    return true;
}

void ContentView::setDropTarget(bool targeted)
{
    m_dropOverlay->setGeometry(rect());
    m_dropOverlay->setVisible(targeted);
    if (targeted)
        m_dropOverlay->raise();
}

void ContentView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!event->mimeData()->hasUrls() || !acceptsDrop(event->mimeData()->urls())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropTarget(true);
}

void ContentView::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void ContentView::dragLeaveEvent(QDragLeaveEvent* event)
{
    QMainWindow::dragLeaveEvent(event);
    setDropTarget(false);
}

void ContentView::dropEvent(QDropEvent* event)
{
    setDropTarget(false);
    if (handleDrop(event->mimeData()->urls()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_dropOverlay->isVisible())
        m_dropOverlay->setGeometry(rect());
}

void ContentView::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        refreshTerminalToggle();
}

} // namespace quillora
