#pragma once

#include <QWidget>

class QCheckBox;
class QPlainTextEdit;

namespace quillora {

class AppViewModel;
class QuilloraApp;

// The settings window: the hidden-files switch and the way to the session logs.
class SettingsWindow : public QWidget {
    Q_OBJECT

public:
    SettingsWindow(QuilloraApp& app, AppViewModel& viewModel);

private:
    QCheckBox* hiddenFiles_;
};

// The "Session Logs" window: the entries of this session.
class LogsWindow : public QWidget {
    Q_OBJECT

public:
    LogsWindow();

private:
    void refresh();

    QPlainTextEdit* text_;
};

} // namespace quillora
