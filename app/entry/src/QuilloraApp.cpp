#include "entry/QuilloraApp.h"

#include "core/AppViewModel.h"
#include "core/LogStore.h"
#include "feedback/Plendra.h"
#include "feedback/board/FeedbackListView.h"
#include "terminal/view/TerminalPane.h"
#include "window/ContentView.h"
#include "window/DocumentLoadThread.h"
#include "window/LogsView.h"
#include "window/SettingsView.h"

#include <chatview/ChatView.h>
#include <platform/UserDefaults.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>

namespace quillora {
namespace {

void bringForward(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

QuilloraApp::QuilloraApp()
{
    plendra::Plendra::configure(QStringLiteral("5C21E8A7-0B93-4F6D-8E42-A917D3C06B5E"));
    auto config = plendra::Plendra::config();
    config.buttons.addButton.location = plendra::Configuration::AddButton::Location::navigationBar;
    plendra::Plendra::setConfig(config);
    auto theme = plendra::Plendra::theme();
    theme.primaryColor = QColor(0, 122, 255); // the system blue
    plendra::Plendra::setTheme(theme);
}

QuilloraApp::~QuilloraApp()
{
    // Windows refer to the view model; they go first.
    for (auto& window : mainWindows_)
        delete window.data();
    delete settingsWindow_.data();
    delete logsWindow_.data();
}

AppViewModel& QuilloraApp::appViewModel()
{
    if (!appViewModel_)
        appViewModel_ = std::make_unique<AppViewModel>(AppViewModelServices::standard());
    return *appViewModel_;
}

void QuilloraApp::launch(const QStringList& arguments)
{
    ContentView* window = newMainWindow();
    if (qEnvironmentVariable("QUILLORA_QUIT_AFTER_FIRST_PAINT") == u"1") {
        // The moment is told on standard output: the exit can come later, once work still under
        // way in the background (the whole of a long document being parsed) has ended.
        connect(
            window, &ContentView::contentPainted, QCoreApplication::instance(),
            [] {
                std::fputs("first paint\n", stdout);
                std::fflush(stdout);
                QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
            },
            Qt::SingleShotConnection);
    }
    for (const auto& argument : arguments)
        openURL(urlFromArgument(argument));
}

void QuilloraApp::openURL(const QUrl& url)
{
    appViewModel().handleDroppedURL(url);
}

QUrl QuilloraApp::urlFromArgument(const QString& argument)
{
    // A name on disk wins, so that "notes:v2.md" is the file, not a URL of the scheme "notes".
    const QFileInfo info(argument);
    if (!info.exists() && !info.isSymLink()) {
        const QUrl url(argument, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty())
            return url;
    }
    return QUrl::fromLocalFile(QDir::cleanPath(info.absoluteFilePath()));
}

ContentView* QuilloraApp::newMainWindow()
{
    WindowServices services;
    chat::installChatPane(services.panes);
    services.newWindow = [this] { newMainWindow(); };
    services.showSettings = [this] { showSettings(); };
    services.panes.makeFeedbackBoard = [] { return new plendra::FeedbackListView; };
    services.panes.makeTerminalPane = [](const std::optional<QUrl>& folder) -> QWidget* {
        return new terminal::TerminalContainerView(folder);
    };
    auto* window = new ContentView(appViewModel(), std::move(services));
    window->setAttribute(Qt::WA_DeleteOnClose);
    std::erase_if(mainWindows_, [](const QPointer<ContentView>& closed) { return closed.isNull(); });
    mainWindows_.emplace_back(window);
    window->show();
    return window;
}

void QuilloraApp::showSettings()
{
    if (!settingsWindow_)
        settingsWindow_ = new SettingsView(appViewModel(), [this](const QString& identifier) { openWindow(identifier); });
    bringForward(settingsWindow_);
}

void QuilloraApp::showLogs()
{
    if (!logsWindow_)
        logsWindow_ = new LogsView(LogStore::shared());
    bringForward(logsWindow_);
}

void QuilloraApp::openWindow(const QString& identifier)
{
    if (identifier == u"logs")
        showLogs();
}

int QuilloraApp::endRun(int status)
{
    if (!DocumentLoadThread::shared().isBusy())
        return status;
    QThreadPool::globalInstance()->waitForDone();
    platform::UserDefaults::standard()->flush();
    std::fflush(nullptr);
    // The session log is written line by line as it goes; nothing else is left to save.
    std::_Exit(status);
}

SettingsView* QuilloraApp::settingsWindow() const
{
    return settingsWindow_;
}

LogsView* QuilloraApp::logsWindow() const
{
    return logsWindow_;
}

std::vector<ContentView*> QuilloraApp::mainWindows() const
{
    std::vector<ContentView*> windows;
    for (const auto& window : mainWindows_) {
        if (window)
            windows.push_back(window);
    }
    return windows;
}

} // namespace quillora
