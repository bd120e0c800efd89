#pragma once

#include "window/FileViewerModel.h"

#include <mdview/Color.h>

#include <QWidget>

#include <memory>

class QStackedLayout;

namespace mdview {
class DocumentView;
}

namespace quillora {

class MessagePage;

// The body of a Markdown file: the document rendered on a scrolling page with 24 pixels around
// it, code blocks highlighted by the application's highlighter; a load error shows its message
// on the same page instead. A new version of the shown file keeps the scroll position.
class MarkdownFileViewerBody : public QWidget {
    Q_OBJECT
public:
    explicit MarkdownFileViewerBody(QWidget* parent = nullptr);
    ~MarkdownFileViewerBody() override;

    void showDocument(const QString& fileID, std::shared_ptr<const FileViewerContent> content);
    void showError(const QString& fileID, const QString& message);
    // Code blocks are highlighted again for the scheme.
    void setColorScheme(mdview::ColorScheme scheme);

    mdview::DocumentView* documentView() const { return m_document; }
    QString errorMessage() const;
    bool isShowingError() const;
    const std::shared_ptr<const FileViewerContent>& content() const { return m_content; }

private:
    void rebuild();

    QStackedLayout* m_pages;
    mdview::DocumentView* m_document;
    MessagePage* m_error;
    QString m_fileID;
    std::shared_ptr<const FileViewerContent> m_content;
    mdview::ColorScheme m_scheme = mdview::ColorScheme::light;
};

} // namespace quillora
