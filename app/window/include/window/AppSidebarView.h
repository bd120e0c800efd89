#pragma once

#include <QPointer>
#include <QWidget>

#include <QMessageBox>
class QToolButton;

class QLabel;

namespace quillora {

class AppViewModel;
class FeedbackButtonView;
class FileTreeView;

// The sidebar: the project folder's name over the file tree, with an "Open Project" button
// (only its icon while the sidebar is narrower than 275 pixels). It keeps the tree's selection
// and the view model's in step, each way once, and says "Unable to Delete" when a move to the
// Trash failed. At its foot the feedback button asks for the feature-request board.
class AppSidebarView : public QWidget {
    Q_OBJECT
public:
    static constexpr int compactWidth = 275;
    static constexpr int minWidth = 160;
    static constexpr int idealWidth = 200;

    explicit AppSidebarView(AppViewModel& viewModel, QWidget* parent = nullptr);

    FileTreeView* fileTree() const { return m_tree; }
    QToolButton* openProjectButton() const { return m_openProject; }
    FeedbackButtonView* feedbackButton() const { return m_feedback; }
    // The folder's name, or "Open Project".
    QString title() const;
    QMessageBox* deleteAlert() const { return m_deleteAlert; }
    QSize sizeHint() const override { return {idealWidth, 400}; }

signals:
    // The feedback button was pressed.
    void feedbackRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refreshTree();
    void refreshTitle();
    void followViewModelSelection();
    void refreshScopeError();
    void showDeleteError();
    void updateButtonForm();
    void tint();

    AppViewModel& m_viewModel;
    QLabel* m_title;
    QToolButton* m_openProject;
    QLabel* m_scopeError; // the access scope of the folder or file could not be had
    FileTreeView* m_tree;
    FeedbackButtonView* m_feedback;
    QPointer<QMessageBox> m_deleteAlert;
    int m_sidebarWidth = 0; // 0 until measured on screen
};

} // namespace quillora
