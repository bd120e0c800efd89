#pragma once

#include "terminal/process/LocalProcess.h"
#include "terminal/view/TerminalView.h"

#include <optional>
#include <string>
#include <vector>

namespace terminal {

class LocalProcessTerminalView;

// What the embedding code may hear about the view's program.
class LocalProcessTerminalViewDelegate {
public:
    virtual void sizeChanged(LocalProcessTerminalView&, int /*cols*/, int /*rows*/) {}
    virtual void setTerminalTitle(LocalProcessTerminalView&, const QString&) {}
    virtual void hostCurrentDirectoryUpdate(LocalProcessTerminalView&, const std::optional<QString>& /*directory*/) {}
    virtual void processTerminated(LocalProcessTerminalView&, std::optional<int> /*exitCode*/) {}

protected:
    ~LocalProcessTerminalViewDelegate() = default;
};

// A terminal view that runs its own program on a pseudo-terminal: the program's output is fed
// to the view, keys, pastes and the terminal's replies go to the program, and the view's size
// is the program's window size. Destroying the view releases the program (it is told to end,
// then hung up and reaped if it does not).
class LocalProcessTerminalView : public TerminalView, public TerminalViewDelegate, public LocalProcessDelegate {
    Q_OBJECT
public:
    explicit LocalProcessTerminalView(QWidget* parent = nullptr, const std::optional<QFont>& font = std::nullopt);
    ~LocalProcessTerminalView() override;

    LocalProcess& process() { return process_; }
    void setProcessDelegate(LocalProcessTerminalViewDelegate* delegate) { processDelegate_ = delegate; }

    void startProcess(const std::string& executable, const std::vector<std::string>& args,
                      const std::optional<std::vector<std::string>>& environment = std::nullopt,
                      const std::optional<std::string>& execName = std::nullopt);
    void setHostLogging(std::optional<std::string> directory) { process_.setHostLogging(std::move(directory)); }

    // TerminalViewDelegate
    void sizeChanged(TerminalView& source, int cols, int rows) override;
    void setTerminalTitle(TerminalView& source, const QString& title) override;
    void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<QString>& directory) override;
    void send(TerminalView& source, std::span<const std::uint8_t> data) override;
    void paste(TerminalView& source, std::span<const std::uint8_t> data) override;

    // LocalProcessDelegate
    void processTerminated(LocalProcess& source, std::optional<int> exitCode) override;
    void dataReceived(std::span<const std::uint8_t> slice) override;
    WindowSize getWindowSize() override;

    using TerminalView::send;

private:
    LocalProcess process_;
    LocalProcessTerminalViewDelegate* processDelegate_ = nullptr;
};

} // namespace terminal
