#include "terminal/view/LocalProcessTerminalView.h"

#include <QMessageBox>

#include <algorithm>

namespace terminal {

LocalProcessTerminalView::LocalProcessTerminalView(QWidget* parent, const std::optional<QFont>& font)
    : TerminalView(parent, font)
    , process_(this)
{
    setTerminalDelegate(this);
}

LocalProcessTerminalView::~LocalProcessTerminalView()
{
    process_.setDelegate(nullptr);
    process_.release();
}

void LocalProcessTerminalView::startProcess(const std::string& executable, const std::vector<std::string>& args,
                                            const std::optional<std::vector<std::string>>& environment,
                                            const std::optional<std::string>& execName)
{
    process_.startProcess(executable, args, environment, execName);
}

void LocalProcessTerminalView::sizeChanged(TerminalView&, int cols, int rows)
{
    if (!process_.running())
        return;
    process_.setWindowSize(getWindowSize());
    if (processDelegate_)
        processDelegate_->sizeChanged(*this, cols, rows);
}

void LocalProcessTerminalView::hostCurrentDirectoryUpdate(TerminalView&, const std::optional<QString>& directory)
{
    if (processDelegate_)
        processDelegate_->hostCurrentDirectoryUpdate(*this, directory);
}

void LocalProcessTerminalView::setTerminalTitle(TerminalView&, const QString& title)
{
    if (processDelegate_)
        processDelegate_->setTerminalTitle(*this, title);
}

void LocalProcessTerminalView::send(TerminalView&, std::span<const std::uint8_t> data)
{
    process_.send(data, LocalProcess::SendKind::input);
}

void LocalProcessTerminalView::paste(TerminalView&, std::span<const std::uint8_t> data)
{
    if (process_.send(data, LocalProcess::SendKind::paste) != LocalProcess::SendResult::refused)
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Paste Too Large"),
                                tr("The text was not pasted: the terminal is still sending an earlier paste, and this "
                                   "one would put more than 16 MB in waiting."),
                                QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void LocalProcessTerminalView::processTerminated(LocalProcess&, std::optional<int> exitCode)
{
    if (processDelegate_)
        processDelegate_->processTerminated(*this, exitCode);
}

void LocalProcessTerminalView::dataReceived(std::span<const std::uint8_t> slice)
{
    feed(slice);
}

WindowSize LocalProcessTerminalView::getWindowSize()
{
    auto clamp16 = [](int value) { return std::clamp(value, 0, 65535); };
    return {terminal().rows(), terminal().cols(), clamp16(width()), clamp16(height())};
}

} // namespace terminal
