#include "window/AppSidebarView.h"

#include "core/AppViewModel.h"
#include "window/FeedbackButtonView.h"
#include "window/FileTreeView.h"
#include "window/SymbolIcons.h"
#include "window/ViewParts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillora {

AppSidebarView::AppSidebarView(AppViewModel& viewModel, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_title(plainLabel())
    , m_openProject(new QToolButton)
    , m_scopeError(plainLabel())
    , m_tree(new FileTreeView(viewModel.expansionStore()))
    , m_feedback(new FeedbackButtonView)
{
    setMinimumWidth(minWidth);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setMinimumWidth(20);
    m_openProject->setText(QStringLiteral("Open Project"));
    m_openProject->setToolTip(QStringLiteral("Open Project"));
    m_openProject->setAutoRaise(true);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(10, 6, 6, 6);
    header->addWidget(m_title, 1);
    header->addWidget(m_openProject);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    m_scopeError->setWordWrap(true);
    m_scopeError->setContentsMargins(10, 0, 10, 6);
    layout->addWidget(m_scopeError);
    layout->addWidget(m_tree, 1);
    layout->addSpacing(6);
    layout->addWidget(m_feedback, 0, Qt::AlignHCenter);
    layout->addSpacing(8);

    connect(m_feedback, &FeedbackButtonView::clicked, this, &AppSidebarView::feedbackRequested);
    connect(m_openProject, &QToolButton::clicked, &viewModel, &AppViewModel::presentDirectoryPicker);
    connect(m_tree, &FileTreeView::openProjectRequested, &viewModel, &AppViewModel::presentDirectoryPicker);
    connect(m_tree, &FileTreeView::deleteRequested, &viewModel, &AppViewModel::deleteFile);
    connect(m_tree, &FileTreeView::selectedNodeIDChanged, this, [this](const std::optional<QString>& identifier) {
        if (identifier != m_viewModel.selectedNodeID())
            m_viewModel.selectNode(identifier);
    });
    connect(&viewModel, &AppViewModel::fileTreeNodesChanged, this, &AppSidebarView::refreshTree);
    connect(&viewModel, &AppViewModel::missingSelectedFileChanged, this, &AppSidebarView::refreshTree);
    connect(&viewModel, &AppViewModel::scanErrorChanged, this, &AppSidebarView::refreshTree);
    connect(&viewModel, &AppViewModel::selectedFileChanged, this, &AppSidebarView::followViewModelSelection);
    connect(&viewModel, &AppViewModel::selectedDirectoryURLChanged, this, &AppSidebarView::followViewModelSelection);
    connect(&viewModel, &AppViewModel::selectedFolderURLChanged, this, &AppSidebarView::refreshTitle);
    connect(&viewModel, &AppViewModel::deleteErrorChanged, this, &AppSidebarView::showDeleteError);
    connect(&viewModel, &AppViewModel::securityScopeErrorMessageChanged, this, &AppSidebarView::refreshScopeError);
    refreshTitle();
    refreshScopeError();
    refreshTree();
    m_tree->setSelectedNodeID(viewModel.selectedNodeID());
    tint();
}

QString AppSidebarView::title() const
{
    return m_title->text();
}

void AppSidebarView::refreshTree()
{
    m_tree->setContent(m_viewModel.fileTreeNodes(), m_viewModel.missingSelectedFile(), m_viewModel.scanError());
}

void AppSidebarView::refreshTitle()
{
    m_title->setText(m_viewModel.selectedFolderName().value_or(QStringLiteral("Open Project")));
}

void AppSidebarView::refreshScopeError()
{
    const auto message = m_viewModel.securityScopeErrorMessage();
    m_scopeError->setText(message.value_or(QString()));
    m_scopeError->setVisible(message.has_value());
}

void AppSidebarView::followViewModelSelection()
{
    const auto identifier = m_viewModel.selectedNodeID();
    if (identifier != m_tree->selectedNodeID())
        m_tree->setSelectedNodeID(identifier);
}

void AppSidebarView::showDeleteError()
{
    const auto& error = m_viewModel.deleteError();
    if (!error)
        return;
    if (m_deleteAlert)
        m_deleteAlert->close();
    QMessageBox* alert = makePlainAlert(this, QStringLiteral("Unable to Delete"), error->errorDescription());
    alert->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    // However it is dismissed, the error is acknowledged.
    connect(alert, &QMessageBox::finished, &m_viewModel, &AppViewModel::clearDeleteError);
    m_deleteAlert = alert;
    alert->open();
}

void AppSidebarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (isVisible()) // a width measured before the sidebar is on screen means nothing
        m_sidebarWidth = width();
    updateButtonForm();
}

void AppSidebarView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_sidebarWidth = width();
    updateButtonForm();
}

void AppSidebarView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint();
}

void AppSidebarView::tint()
{
    updateButtonForm();
    QPalette error = m_scopeError->palette();
    error.setColor(QPalette::WindowText, WindowColors::systemRed(palette()));
    m_scopeError->setPalette(error);
}

void AppSidebarView::updateButtonForm()
{
    const bool compact = m_sidebarWidth > 0 && m_sidebarWidth < compactWidth;
    m_openProject->setToolButtonStyle(compact ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    m_openProject->setIcon(symbolIcon(QStringLiteral("folder"), palette().color(QPalette::ButtonText)));
}

} // namespace quillora
