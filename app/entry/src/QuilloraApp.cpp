#include "entry/QuilloraApp.h"

#include "core/AppViewModel.h"
#include "entry/SceneWindows.h"
#include "feedback/Plendra.h"
#include "window/ContentView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quillora {

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
    if (qEnvironmentVariable("QUILLORA_QUIT_AFTER_FIRST_PAINT") == u"1")
        connect(window, &ContentView::contentPainted, QCoreApplication::instance(), &QCoreApplication::quit,
                Qt::QueuedConnection);
    for (const auto& argument : arguments)
        openURL(urlFromArgument(argument));
    if (arguments.isEmpty() && appViewModel().selectedFolderURL().isEmpty())
        openURL(QUrl::fromLocalFile(QDir::homePath()));
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
    services.newWindow = [this] { newMainWindow(); };
    services.showSettings = [this] { showSettings(); };
    services.showLogs = [this] { showLogs(); };
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
        settingsWindow_ = new SettingsWindow(*this, appViewModel());
    settingsWindow_->show();
    settingsWindow_->raise();
    settingsWindow_->activateWindow();
}

void QuilloraApp::showLogs()
{
    if (!logsWindow_)
        logsWindow_ = new LogsWindow;
    logsWindow_->show();
    logsWindow_->raise();
    logsWindow_->activateWindow();
}

SettingsWindow* QuilloraApp::settingsWindow() const
{
    return settingsWindow_;
}

LogsWindow* QuilloraApp::logsWindow() const
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
