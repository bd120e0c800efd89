#pragma once

#include "window/FileViewerModel.h"
#include "window/PaneFactories.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class QAction;
#include <QDialog>

namespace quillora {

class AppDetailView;
class AppSidebarView;
class AppViewModel;
class DropOverlayView;

// What a main window needs from the application around it.
struct WindowServices {
    FileViewerServices fileViewer = FileViewerServices::standard();
    WindowFactories panes = WindowFactories::placeholders();
    std::function<void()> newWindow;
    // The session logs open from the settings window only.
    std::function<void()> showSettings;
};

// A main window: the sidebar beside the detail column, the terminal toggle, items dropped on
// the window opened like the platform's open requests, and the feature-request board as a sheet.
// It owns the window's chat model and keeps its working directory on the project folder.
class ContentView : public QMainWindow {
    Q_OBJECT
public:
    ContentView(AppViewModel& viewModel, WindowServices services, QWidget* parent = nullptr);
    ~ContentView() override;

    AppSidebarView* sidebar() const { return m_sidebar; }
    AppDetailView* detail() const { return m_detail; }
    ChatPaneModel& chatViewModel() const { return *m_chatViewModel; }
    QAction* terminalToggle() const { return m_terminalToggle; }
    DropOverlayView* dropOverlay() const { return m_dropOverlay; }

    void toggleTerminal();

    // The feature-request board's sheet.
    void setShowsFeedback(bool shows);
    bool showsFeedback() const { return m_feedbackSheet != nullptr; }
    QDialog* feedbackSheet() const { return m_feedbackSheet; }

    // Whether a drop of these URLs would be taken: the first must be an existing local file or
    // folder.
    static bool acceptsDrop(const QList<QUrl>& urls);
    // Opens the first URL as a drop does; false when the drop is refused.
    bool handleDrop(const QList<QUrl>& urls);

signals:
    // The file viewer area was painted for the first time since what it shows changed.
    void contentPainted();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void refreshTerminalToggle();
    void refreshTitle();
    void setDropTarget(bool targeted);

    AppViewModel& m_viewModel;
    WindowServices m_services;
    std::unique_ptr<ChatPaneModel> m_chatViewModel;
    AppSidebarView* m_sidebar;
    AppDetailView* m_detail;
    QAction* m_terminalToggle;
    DropOverlayView* m_dropOverlay;
    QPointer<QDialog> m_feedbackSheet;
};

} // namespace quillora
