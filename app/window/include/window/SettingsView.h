#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QPushButton;

namespace quillora {

class AppViewModel;

// The settings window: whether the file tree shows hidden files and folders, and "Show Logs",
// which asks for the window with the identifier "logs". The switch shows the view model's
// value and changes it through the view model, which stores it and rescans at once.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    // Opens (or brings forward) the window with the given identifier.
    using OpenWindowAction = std::function<void(const QString& identifier)>;

    SettingsView(AppViewModel& viewModel, OpenWindowAction openWindow, QWidget* parent = nullptr);

    QCheckBox* hiddenFilesToggle() const { return m_hiddenFiles; }
    QPushButton* showLogsButton() const { return m_showLogs; }

    void showLogs();

private:
    AppViewModel& m_viewModel;
    OpenWindowAction m_openWindow;
    QCheckBox* m_hiddenFiles;
    QPushButton* m_showLogs;
};

} // namespace quillora
