#include "window/SettingsView.h"

#include "core/AppViewModel.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora {

SettingsView::SettingsView(AppViewModel& viewModel, OpenWindowAction openWindow, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_openWindow(std::move(openWindow))
    , m_hiddenFiles(new QCheckBox(QStringLiteral("Show hidden files and folders in file tree")))
    , m_showLogs(new QPushButton(QStringLiteral("Show Logs")))
{
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Settings"));
    setMinimumSize(420, 160);

    auto* logsRow = new QHBoxLayout;
    logsRow->addWidget(m_showLogs);
    logsRow->addStretch(1);
    auto* separator = new QFrame;
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setForegroundRole(QPalette::Mid);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    layout->addWidget(m_hiddenFiles);
    layout->addWidget(separator);
    layout->addLayout(logsRow);
    layout->addStretch(1);

    m_hiddenFiles->setChecked(viewModel.showsHiddenFilesInTree());
    // The box shows the model's value, whatever the click asked for.
    connect(m_hiddenFiles, &QCheckBox::clicked, this, [this](bool checked) {
        m_viewModel.setShowsHiddenFilesInTree(checked);
        m_hiddenFiles->setChecked(m_viewModel.showsHiddenFilesInTree());
    });
    connect(&viewModel, &AppViewModel::showsHiddenFilesInTreeChanged, this,
            [this] { m_hiddenFiles->setChecked(m_viewModel.showsHiddenFilesInTree()); });
    connect(m_showLogs, &QPushButton::clicked, this, &SettingsView::showLogs);
}

void SettingsView::showLogs()
{
    if (m_openWindow)
        m_openWindow(QStringLiteral("logs"));
}

} // namespace quillora
