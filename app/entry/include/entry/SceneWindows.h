#pragma once

#include <QMainWindow>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace quillora {

class AppViewModel;
class QuilloraApp;

// The main window: the project folder, the selection and the scanned tree as plain text. Items
// dropped on it are opened like the platform's open-URL requests.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(QuilloraApp& app, AppViewModel& viewModel);

    QString treeText() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void refreshFolder();
    void refreshSelection();
    void refreshMessages();
    void refreshTree();

    AppViewModel& viewModel_;
    QLabel* folderLabel_;
    QLabel* selectionLabel_;
    QLabel* messageLabel_;
    QPlainTextEdit* treeView_;
};

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
