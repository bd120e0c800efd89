#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

namespace quillora {

class AppViewModel;
class ContentView;
class LogsView;
class SettingsView;

// The application: configures the feedback client, owns the one view model and the scenes: any
// number of main windows, the settings window and the single "Session Logs" window.
class QuilloraApp : public QObject {
    Q_OBJECT

public:
    QuilloraApp();
    ~QuilloraApp() override;

    // Created on first use by a scene; the same instance serves every window for the whole run.
    AppViewModel& appViewModel();

    // Shows the first main window and opens each command-line argument as the platform's
    // open-URL request; with none, the window shows what the view model restored, which with
    // nothing remembered is no project at all (the empty state offers Open Project). With
    // QUILLORA_QUIT_AFTER_FIRST_PAINT=1 in the environment the application quits as soon as
    // that window has painted what its file viewer area shows (so start-up can be timed).
    void launch(const QStringList& arguments);

    // An open-URL request: goes the way of an item dropped on the window.
    void openURL(const QUrl& url);

    // Turns a command-line argument into a URL: an existing path (relative to the working
    // directory) is a file URL, else a text with a scheme is that URL, else it is a path.
    static QUrl urlFromArgument(const QString& argument);

    ContentView* newMainWindow();
    // The settings window and the "Session Logs" window are single: a second request brings
    // the open one forward.
    void showSettings();
    void showLogs();
    // Opens the window of a scene by its identifier ("logs").
    void openWindow(const QString& identifier);

    std::vector<ContentView*> mainWindows() const;
    SettingsView* settingsWindow() const;
    LogsView* logsWindow() const;

    // What main ends with once the application's windows and view model are gone, `status` being
    // what the event loop returned. A document still being loaded is not waited for: the work of
    // the shared pool (short, or stopped by now) ends, the settings are written, and the process
    // ends here. Otherwise returns `status`, for main to return.
    static int endRun(int status);

private:
    std::unique_ptr<AppViewModel> appViewModel_;
    std::vector<QPointer<ContentView>> mainWindows_;
    QPointer<SettingsView> settingsWindow_;
    QPointer<LogsView> logsWindow_;
};

} // namespace quillora
