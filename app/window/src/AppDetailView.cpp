#include "window/AppDetailView.h"

#include "core/AppViewModel.h"
#include "window/DetailViews.h"
#include "window/FileViewerView.h"
#include "window/PersistentHSplitView.h"
#include "window/ViewParts.h"

#include <QEasingCurve>
#include <QEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QVariantAnimation>
#include <QVBoxLayout>

namespace quillora {

AppDetailView::AppDetailView(AppViewModel& viewModel, ChatPaneModel& chatViewModel, const WindowFactories& factories,
                             FileViewerServices viewerServices, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_factories(factories)
    , m_rows(new QSplitter(Qt::Vertical))
    , m_viewerArea(new QStackedWidget)
    , m_missing(new ContentUnavailableView(QStringLiteral("exclamationmark.triangle"),
                                           QStringLiteral("File was deleted or moved location")))
    , m_emptyState(new FileViewerEmptyStateView([&viewModel] { viewModel.presentDirectoryPicker(); }))
    , m_viewer(new FileViewerView(std::move(viewerServices)))
    , m_chatPane(factories.makeChatView(chatViewModel))
    , m_terminalContainer(new QWidget)
{
    m_viewerArea->addWidget(m_missing);
    m_viewerArea->addWidget(m_emptyState);
    m_viewerArea->addWidget(m_viewer);
    m_missing->installEventFilter(this);
    m_emptyState->installEventFilter(this);
    connect(m_viewer, &FileViewerView::contentPainted, this, &AppDetailView::contentPainted);

    const SettingsStore& settings = viewModel.settingsStore();
    m_split = new PersistentHSplitView({[&settings] { return settings.detailSplitFraction(); },
                                        [&settings](double fraction) { settings.setDetailSplitFraction(fraction); }},
                                       minLeadingWidth, minTrailingWidth, m_viewerArea, m_chatPane);
    m_split->setMinimumHeight(minUpperHeight);

    auto* terminalLayout = new QVBoxLayout(m_terminalContainer);
    terminalLayout->setContentsMargins(0, 0, 0, 0);
    m_terminalContainer->setMinimumHeight(terminalMinHeight);

    m_rows->setChildrenCollapsible(false);
    m_rows->addWidget(m_split);
    m_rows->addWidget(m_terminalContainer);
    m_rows->setStretchFactor(0, 1);
    m_rows->setStretchFactor(1, 0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_rows);
    m_rows->installEventFilter(this);

    m_viewer->model().setOnWatchedFileChange([this] { m_viewModel.refreshFileAvailability(m_viewModel.selectedFile()); });
    connect(&viewModel, &AppViewModel::selectedFileChanged, this, &AppDetailView::updateViewerArea);
    connect(&viewModel, &AppViewModel::fileAvailabilityChanged, this, &AppDetailView::updateViewerArea);
    connect(&viewModel, &AppViewModel::selectedFolderURLChanged, this, &AppDetailView::updateTerminalPane);
    connect(&viewModel, &AppViewModel::showsTerminalChanged, this, &AppDetailView::updateTerminalVisibility);
    updateViewerArea();
    updateTerminalPane();
    updateTerminalVisibility();
}

AppDetailView::~AppDetailView() = default;

QWidget* AppDetailView::viewerArea() const
{
    return m_viewerArea->currentWidget();
}

void AppDetailView::updateViewerArea()
{
    QWidget* page = m_viewer;
    const auto& file = m_viewModel.selectedFile();
    if (m_viewModel.fileAvailability() == FileAvailability::missing)
        page = m_missing;
    else if (!file)
        page = m_emptyState;
    if (page == m_viewer) {
        m_viewer->setFile(file);
        m_viewer->model().setActive(true);
    } else {
        m_viewer->model().setActive(false);
        m_viewer->setFile(std::nullopt);
    }
    if (m_viewerArea->currentWidget() != page)
        m_paintPending = true;
    m_viewerArea->setCurrentWidget(page);
}

void AppDetailView::updateTerminalPane()
{
    const QUrl folder = m_viewModel.selectedFolderURL();
    const std::optional<QUrl> workingDirectory = folder.isEmpty() ? std::nullopt : std::optional(folder);
    const QString identity = quillora::terminalPaneIdentity(workingDirectory);
    if (m_terminalPane && identity == m_terminalIdentity)
        return;
    finishTerminalAnimation();
    // The old pane goes at once, so that its shell is told to end before the new one starts.
    delete m_terminalPane;
    m_terminalIdentity = identity;
    m_terminalPane = m_factories.makeTerminalPane(workingDirectory);
    m_terminalContainer->layout()->addWidget(m_terminalPane);
}

void AppDetailView::updateTerminalVisibility()
{
    const bool shows = m_viewModel.showsTerminal();
    if (shows == m_terminalShown && !m_terminalAnimation)
        return;
    finishTerminalAnimation();
    if (shows == m_terminalShown)
        return;
    m_terminalShown = shows;
    const int total = m_rows->height() - m_rows->handleWidth();
    if (!shows) {
        const int height = m_rows->sizes().value(1);
        if (height > 0)
            m_terminalHeight = std::max(terminalMinHeight, height);
        if (!isVisible() || height <= 0) {
            m_terminalContainer->hide();
            return;
        }
        // Nothing reaches the pane while it slides shut.
        m_terminalContainer->setEnabled(false);
        animateTerminal(height, 0, [this] {
            m_terminalContainer->hide();
            m_terminalContainer->setEnabled(true);
        });
        return;
    }
    m_terminalContainer->show();
    if (!isVisible() || total <= 0) {
        placeTerminal();
        return;
    }
    const int target = std::clamp(m_terminalHeight, terminalMinHeight, std::max(terminalMinHeight, total - minUpperHeight));
    animateTerminal(0, target, [this] { placeTerminal(); });
}

void AppDetailView::animateTerminal(int from, int to, std::function<void()> done)
{
    // The pane leaves the row's layout and keeps its full height; the row clips it.
    const int paneHeight = std::max(from, to);
    if (m_terminalPane) {
        m_terminalContainer->layout()->removeWidget(m_terminalPane);
        m_terminalPane->setGeometry(0, 0, m_terminalContainer->width(), paneHeight);
    }
    m_terminalContainer->setMinimumHeight(0);
    m_terminalAnimationDone = std::move(done);
    m_terminalAnimation = new QVariantAnimation(this);
    m_terminalAnimation->setDuration(200);
    m_terminalAnimation->setEasingCurve(QEasingCurve::InOutQuad);
    m_terminalAnimation->setStartValue(from);
    m_terminalAnimation->setEndValue(to);
    connect(m_terminalAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const int total = m_rows->height() - m_rows->handleWidth();
        m_rows->setSizes({total - value.toInt(), value.toInt()});
    });
    connect(m_terminalAnimation, &QVariantAnimation::finished, this, &AppDetailView::finishTerminalAnimation);
    m_terminalAnimation->start();
    const int total = m_rows->height() - m_rows->handleWidth();
    m_rows->setSizes({total - from, from});
}

void AppDetailView::finishTerminalAnimation()
{
    if (!m_terminalAnimation)
        return;
    QVariantAnimation* animation = std::exchange(m_terminalAnimation, nullptr);
    animation->stop();
    animation->deleteLater();
    m_terminalContainer->setMinimumHeight(terminalMinHeight);
    if (m_terminalPane)
        m_terminalContainer->layout()->addWidget(m_terminalPane);
    if (auto done = std::exchange(m_terminalAnimationDone, nullptr))
        done();
}

void AppDetailView::placeTerminal()
{
    const int total = m_rows->height() - m_rows->handleWidth();
    if (total <= 0 || m_terminalContainer->isHidden())
        return;
    const int terminal = std::clamp(m_terminalHeight, terminalMinHeight, std::max(terminalMinHeight, total - minUpperHeight));
    m_rows->setSizes({total - terminal, terminal});
}

bool AppDetailView::eventFilter(QObject* watched, QEvent* event)
{
    // The rows are first given their heights once the column has one.
    if (watched == m_rows && event->type() == QEvent::Resize && !m_rowsPlaced && m_rows->height() > 0) {
        m_rowsPlaced = true;
        placeTerminal();
    }
    if (event->type() == QEvent::Paint && m_paintPending && watched == m_viewerArea->currentWidget()) {
        m_paintPending = false;
        emit contentPainted();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quillora
