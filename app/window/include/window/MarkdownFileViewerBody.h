#pragma once

#include "window/FileViewerModel.h"

#include <mdview/Color.h>

#include <QHash>
#include <QWidget>

#include <memory>

class QStackedLayout;

namespace mddoc {
class Markdown;
}

namespace quillora {

class MessagePage;

// The body of a Markdown file: the document on a scrolling page with 24 pixels around it, under
// the default theme with the application's own inline code (monospaced, 0.95 em, coloured) and
// code blocks (a language label, a copy button, code highlighted by the application's
// highlighter, on a rounded panel). A load error shows its message on the same kind of page.
// A new version of the shown file keeps the scroll position. A long document never holds up the
// window: the widget lays out what it shows first, the rest in the background.
class MarkdownFileViewerBody : public QWidget {
    Q_OBJECT
public:
    // Links of the copy buttons: this scheme, then a key into the shown code blocks.
    static constexpr const char* copyScheme = "x-quillora-copy";

    explicit MarkdownFileViewerBody(QWidget* parent = nullptr);
    ~MarkdownFileViewerBody() override;

    void showDocument(const QString& fileID, std::shared_ptr<const FileViewerContent> content);
    void showError(const QString& fileID, const QString& message);
    // Code blocks are highlighted again for the scheme; inline code takes its colour.
    void setColorScheme(mdview::ColorScheme scheme);

    mddoc::Markdown* markdown() const { return m_markdown; }
    QString errorMessage() const;
    bool isShowingError() const;
    const std::shared_ptr<const FileViewerContent>& content() const { return m_content; }
    // What a copy button does: the block's code, exactly, replaces the clipboard.
    bool copyCode(const QUrl& copyLink) const;

    // The inline-code colour of a scheme.
    static QColor inlineCodeForeground(mdview::ColorScheme scheme);

private:
    void applyModifiers();

    QStackedLayout* m_pages;
    mddoc::Markdown* m_markdown;
    MessagePage* m_error;
    std::shared_ptr<const FileViewerContent> m_content;
    QString m_fileID;
    mdview::ColorScheme m_scheme = mdview::ColorScheme::light;
    // The code of the blocks that have a copy button, by the key in their link.
    std::shared_ptr<QHash<QString, QString>> m_codeBlocks = std::make_shared<QHash<QString, QString>>();
};

} // namespace quillora
