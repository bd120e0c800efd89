#pragma once

#include <QWidget>

#include <functional>

class QPushButton;

class QLabel;

namespace quillora {

// What the file viewer area shows with no file selected: "No file selected", "Select a file."
// and an "Open Project" button.
class FileViewerEmptyStateView : public QWidget {
    Q_OBJECT
public:
    explicit FileViewerEmptyStateView(std::function<void()> onOpenProject, QWidget* parent = nullptr);
    QPushButton* openProjectButton() const { return m_button; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void tint();
    QPushButton* m_button;
    QLabel* m_hint;
};

// Covers the window while a drag of a file or folder hovers it.
class DropOverlayView : public QWidget {
    Q_OBJECT
public:
    explicit DropOverlayView(QWidget* parent = nullptr);
    static QString text() { return QStringLiteral("Drop Markdown Here"); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quillora
