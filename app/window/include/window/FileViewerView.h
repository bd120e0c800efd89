#pragma once

#include "window/FileViewerModel.h"

#include <QWidget>

class QStackedLayout;

namespace quillora {

class ContentUnavailableView;
class MarkdownFileViewerBody;
class Spinner;
class TextFileViewerBody;

// Shows one file of the project: its model loads it, and the body for its kind draws it; a
// progress indicator covers a clear page while a file loads that has nothing on screen yet.
// With no file it says "Select a file".
class FileViewerView : public QWidget {
    Q_OBJECT
public:
    explicit FileViewerView(FileViewerServices services = FileViewerServices::standard(), QWidget* parent = nullptr);
    ~FileViewerView() override;

    FileViewerModel& model() { return *m_model; }
    void setFile(const std::optional<FileDocumentModel>& file) { m_model->setFile(file); }
    // The file's name, or "Select a file".
    QString title() const;

    MarkdownFileViewerBody* markdownBody() const { return m_markdown; }
    TextFileViewerBody* textBody() const { return m_text; }
    bool isShowingProgress() const;
    // The page on show: the file's body, the "Select a file" view or the clear page.
    QWidget* currentPage() const;
    // How many times a body was handed new content or a new message.
    int contentUpdates() const { return m_contentUpdates; }

signals:
    // The page for the current state was painted for the first time since it changed.
    void contentPainted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();
    // Before a body is handed new content or a new message.
    void handOver();
    void watchPaint(QWidget* page);

    FileViewerModel* m_model;
    QStackedLayout* m_pages;
    ContentUnavailableView* m_noFile;
    QWidget* m_clear;
    MarkdownFileViewerBody* m_markdown;
    TextFileViewerBody* m_text;
    Spinner* m_spinner;
    int m_contentUpdates = 0;
    bool m_paintPending = false;
    // What the bodies were last given, so that a re-render with the same state changes nothing.
    FileViewerLoadState m_rendered;
};

} // namespace quillora
