#pragma once

#include "terminal/view/LocalProcessTerminalView.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <optional>

class QLabel;

namespace terminal {

// Talks to the pane's terminal view: starts the shell once, in the folder, and ends it.
class TerminalSessionService {
public:
    // The view the pane made; the service never owns it.
    void setSession(LocalProcessTerminalView* view);
    LocalProcessTerminalView* session() const { return session_; }
    bool hasStartedProcess() const { return hasStartedProcess_; }

    // Starts the user's login shell in the folder the first time; later folders are typed into
    // the same shell as a cd line. Nothing without a view.
    void start(const QUrl& workingDirectoryURL);
    // Lets go of the shell: it is told to end (an interrupt, then "exit"), and hung up and
    // reaped if it does not. The view is forgotten.
    void stop();

private:
    QPointer<LocalProcessTerminalView> session_;
    bool hasStartedProcess_ = false;
};

// The pane's folder, deciding between starting and stopping the shell.
class TerminalViewModel : public QObject {
    Q_OBJECT
public:
    std::optional<QUrl> workingDirectoryURL() const { return workingDirectoryURL_; }
    TerminalSessionService& sessionService() { return sessionService_; }

    // A folder different from the current one starts the shell there (or types a cd); none
    // stops it.
    void update(const std::optional<QUrl>& workingDirectoryURL);

signals:
    void workingDirectoryURLChanged();

private:
    void applyWorkingDirectory();

    std::optional<QUrl> workingDirectoryURL_;
    TerminalSessionService sessionService_;
};

// The window's terminal pane: a "Terminal" header over a terminal view running the user's
// login shell in the project folder. The shell starts when the pane is first shown and ends
// when the pane is destroyed (hiding the pane keeps it running).
class TerminalContainerView : public QWidget {
    Q_OBJECT
public:
    explicit TerminalContainerView(std::optional<QUrl> workingDirectoryURL, QWidget* parent = nullptr);
    ~TerminalContainerView() override;

    TerminalViewModel& viewModel() { return viewModel_; }
    LocalProcessTerminalView* terminalView() const { return view_; }
    QLabel* header() const { return header_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::optional<QUrl> workingDirectoryURL_;
    TerminalViewModel viewModel_;
    QLabel* header_;
    LocalProcessTerminalView* view_;
    bool appeared_ = false;
};

} // namespace terminal
