#pragma once

// The Markdown widget: one rendered document.
//
//     auto* markdown = new mddoc::Markdown(mddoc::Markdown::Sizing::scrolling, parent);
//     markdown->setText(text);                 // parses once per distinct text
//     markdown->setContent(parsedElsewhere);   // or hand over a document parsed off the GUI thread
//     markdown->setTheme(mddoc::themes::gitHub());
//     markdown->setModifiers([](mdview::View v) {
//         return v.markdownCodeSyntaxHighlighter(highlighter)
//                 .markdownTextStyle(&mdview::Theme::code, [] { return ...; });
//     });
//     connect(markdown, &mddoc::Markdown::linkActivated, ...); // only http, https and mailto
//
// `scrolling` scrolls the document in its own area (the file viewer); `heightForWidth` takes the
// height the document needs for the width it gets (chat bubbles). Setting new text keeps the
// render nodes and the selection of the unchanged leading top-level blocks, so text that
// streams in only builds what it changed. The colour scheme follows the widget's palette
// unless one is set.

#include "mddoc/Themes.h"

#include "mdview/Color.h"
#include "mdview/Providers.h"
#include "mdview/View.h"

#include "markdown/MarkdownContent.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace mdview {
class ViewHost;
}

namespace mddoc {

using mdview::View;
struct DocumentState;

class Markdown : public QWidget {
    Q_OBJECT
public:
    enum class Sizing { scrolling, heightForWidth };

    explicit Markdown(Sizing sizing = Sizing::scrolling, QWidget* parent = nullptr);
    Markdown(const QString& text, Sizing sizing = Sizing::scrolling, QWidget* parent = nullptr);
    ~Markdown() override;

    // The document as Markdown text; the same text again does nothing.
    void setText(const QString& text);
    // The document as parsed content.
    void setContent(const markdown::MarkdownContent& content);
    const markdown::MarkdownContent& content() const { return m_content; }

    // Links resolve against the base URL; images against the image base URL, or the base URL
    // when there is none.
    void setBaseURL(const std::optional<QUrl>& baseURL);
    void setImageBaseURL(const std::optional<QUrl>& imageBaseURL);

    // The theme; themes::basic() unless set.
    void setTheme(const Theme& theme);
    // Light or dark; absent follows the palette.
    void setColorScheme(std::optional<mdview::ColorScheme> scheme);

    // The view modifiers applied around the document (markdownTextStyle, markdownBlockStyle,
    // markdownSoftBreakMode, markdownTableBorderStyle, ...), replacing earlier ones.
    void setModifiers(std::function<View(const View&)> modifiers);
    // Shorthands for the modifiers used most.
    void setCodeSyntaxHighlighter(std::shared_ptr<const mdview::CodeSyntaxHighlighter> highlighter);
    void setImageProvider(std::shared_ptr<const mdview::ImageProvider> provider);
    void setInlineImageProvider(std::shared_ptr<const mdview::InlineImageProvider> provider);

    // Open activated links on the desktop (on by default). Either way only http, https and
    // mailto links are activated; others are logged and dropped.
    void setOpenLinksExternally(bool open);

    mdview::ViewHost& host();
    // The laid-out tree as text (type, frame, margins), for tools and tests.
    QString dump();

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

signals:
    void linkActivated(const QUrl& url);

private:
    void rebuild();
    View view() const;

    Sizing m_sizing;
    QWidget* m_surface = nullptr; // the host widget
    markdown::MarkdownContent m_content;
    std::optional<QString> m_text; // the text m_content was parsed from
    std::optional<QUrl> m_baseURL;
    std::optional<QUrl> m_imageBaseURL;
    std::optional<Theme> m_theme;
    std::optional<mdview::ColorScheme> m_scheme;
    std::function<View(const View&)> m_modifiers;
    std::shared_ptr<const mdview::CodeSyntaxHighlighter> m_highlighter;
    std::shared_ptr<const mdview::ImageProvider> m_imageProvider;
    std::shared_ptr<const mdview::InlineImageProvider> m_inlineImageProvider;
    std::shared_ptr<DocumentState> m_state;
};

} // namespace mddoc
