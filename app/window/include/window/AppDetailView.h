#pragma once

#include "window/FileViewerModel.h"
#include "window/PaneFactories.h"

#include <QWidget>

class QVariantAnimation;

#include <functional>

class QSplitter;
class QStackedWidget;

namespace quillora {

class AppViewModel;
class ContentUnavailableView;
class FileViewerEmptyStateView;
class FileViewerView;
class PersistentHSplitView;

// The detail column: the file viewer area beside the chat pane, over the terminal pane. The
// viewer area shows the missing-file view while the selected file is gone, the empty state
// while no file is selected, and the file viewer otherwise. The divider beside the chat pane
// is persisted as a fraction. A hidden terminal pane is hidden, not merely collapsed, so no key
// reaches it; it is replaced by a new pane whenever the project folder changes. Showing and
// hiding it slides the row open or shut over 0.2 s; the pane keeps its size meanwhile, so the
// shell is not resized through every step.
class AppDetailView : public QWidget {
    Q_OBJECT
public:
    static constexpr double minLeadingWidth = 280;
    static constexpr double minTrailingWidth = 240;
    static constexpr int minUpperHeight = 220;
    static constexpr int terminalMinHeight = 100;
    static constexpr int terminalIdealHeight = 100;

    AppDetailView(AppViewModel& viewModel, ChatPaneModel& chatViewModel, const WindowFactories& factories,
                  FileViewerServices viewerServices, QWidget* parent = nullptr);
    ~AppDetailView() override;

    FileViewerView* fileViewer() const { return m_viewer; }
    FileViewerEmptyStateView* emptyState() const { return m_emptyState; }
    ContentUnavailableView* missingFileView() const { return m_missing; }
    // The page of the viewer area on show.
    QWidget* viewerArea() const;
    PersistentHSplitView* split() const { return m_split; }
    QWidget* chatPane() const { return m_chatPane; }
    QWidget* terminalPane() const { return m_terminalPane; }
    QWidget* terminalContainer() const { return m_terminalContainer; }
    QString terminalPaneIdentity() const { return m_terminalIdentity; }

signals:
    // The viewer area's page was painted for the first time since it changed.
    void contentPainted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateViewerArea();
    void updateTerminalPane();
    void updateTerminalVisibility();
    void placeTerminal();
    // Slides the terminal row from its height to `to`, then runs `done`.
    void animateTerminal(int from, int to, std::function<void()> done);
    void finishTerminalAnimation();

    AppViewModel& m_viewModel;
    const WindowFactories& m_factories;
    QSplitter* m_rows;
    QStackedWidget* m_viewerArea;
    ContentUnavailableView* m_missing;
    FileViewerEmptyStateView* m_emptyState;
    FileViewerView* m_viewer;
    QWidget* m_chatPane;
    PersistentHSplitView* m_split;
    QWidget* m_terminalContainer;
    QWidget* m_terminalPane = nullptr;
    QString m_terminalIdentity;
    int m_terminalHeight = terminalIdealHeight;
    bool m_terminalShown = true;
    QVariantAnimation* m_terminalAnimation = nullptr;
    std::function<void()> m_terminalAnimationDone;
    bool m_paintPending = true;
    bool m_rowsPlaced = false;
};

} // namespace quillora
