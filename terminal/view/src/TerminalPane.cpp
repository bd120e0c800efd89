#include "terminal/view/TerminalPane.h"

#include "terminal/process/ShellLaunch.h"
#include "terminal/view/LocalProcessTerminalView.h"

#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace terminal {

void TerminalSessionService::setSession(LocalProcessTerminalView* view)
{
    session_ = view;
    // A new view has no shell yet.
    hasStartedProcess_ = false;
}

void TerminalSessionService::start(const QUrl& workingDirectoryURL)
{
    if (!session_)
        return;
    const std::string folder = workingDirectoryURL.toLocalFile().toStdString();
    if (!hasStartedProcess_) {
        // Started in the folder, with its cd line typed when that is safe.
        startShell(session_->process(), shellLaunch(folder));
        hasStartedProcess_ = true;
        return;
    }
    if (const auto line = cdLine(folder))
        session_->process().send(*line);
}

void TerminalSessionService::stop()
{
    if (hasStartedProcess_ && session_)
        session_->process().release();
    hasStartedProcess_ = false;
    session_ = nullptr;
}

void TerminalViewModel::update(const std::optional<QUrl>& workingDirectoryURL)
{
    if (workingDirectoryURL == workingDirectoryURL_)
        return;
    workingDirectoryURL_ = workingDirectoryURL;
    emit workingDirectoryURLChanged();
    applyWorkingDirectory();
}

void TerminalViewModel::applyWorkingDirectory()
{
    if (workingDirectoryURL_)
        sessionService_.start(*workingDirectoryURL_);
    else
        sessionService_.stop();
}

TerminalContainerView::TerminalContainerView(std::optional<QUrl> workingDirectoryURL, QWidget* parent)
    : QWidget(parent)
    , workingDirectoryURL_(std::move(workingDirectoryURL))
    , header_(new QLabel(tr("Terminal")))
{
    QFont monospaced = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    monospaced.setPixelSize(12);
    monospaced.setWeight(QFont::Normal);
    view_ = new LocalProcessTerminalView(nullptr, monospaced);
    view_->configureNativeColors();
    viewModel_.sessionService().setSession(view_);

    QFont callout = header_->font();
    callout.setPixelSize(12);
    header_->setFont(callout);
    header_->setTextFormat(Qt::PlainText);
    header_->setContentsMargins(10, 4, 4, 4);
    header_->setAutoFillBackground(true);
    header_->setBackgroundRole(QPalette::Window);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header_);
    layout->addWidget(view_, 1);
    setFocusProxy(view_);
}

TerminalContainerView::~TerminalContainerView()
{
    // The pane going away is the shell's end; a hidden pane keeps its shell.
    viewModel_.sessionService().stop();
}

void TerminalContainerView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (appeared_)
        return;
    appeared_ = true;
    viewModel_.update(workingDirectoryURL_);
}

} // namespace terminal
