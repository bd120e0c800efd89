#include "mddoc/Markdown.h"

#include "mddoc/MarkdownView.h"

#include "mdview/Environment.h"
#include "mdview/Host.h"

#include <QVBoxLayout>

namespace mddoc {

using namespace mdview;

Markdown::Markdown(Sizing sizing, QWidget* parent) : QWidget(parent), m_sizing(sizing), m_state(makeDocumentState())
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (sizing == Sizing::scrolling) {
        auto* surface = new DocumentView(this);
        connect(surface, &DocumentView::linkActivated, this, &Markdown::linkActivated);
        m_surface = surface;
    } else {
        auto* surface = new HeightForWidthView(this);
        connect(surface, &HeightForWidthView::linkActivated, this, &Markdown::linkActivated);
        m_surface = surface;
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
    layout->addWidget(m_surface);
    setFocusProxy(m_surface);
    rebuild();
}

Markdown::Markdown(const QString& text, Sizing sizing, QWidget* parent) : Markdown(sizing, parent)
{
    setText(text);
}

Markdown::~Markdown() = default;

ViewHost& Markdown::host()
{
    if (m_sizing == Sizing::scrolling)
        return static_cast<DocumentView*>(m_surface)->host();
    return static_cast<HeightForWidthView*>(m_surface)->host();
}

void Markdown::setText(const QString& text)
{
    if (m_text == text)
        return;
    const QByteArray utf8 = text.toUtf8();
    const markdown::MarkdownContent content(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    setContent(content);
    m_text = text;
}

void Markdown::setContent(const markdown::MarkdownContent& content)
{
    m_text.reset();
    m_content = content;
    // Only the blocks from the first changed one on are built again.
    if (!updateDocument(m_state, m_content))
        rebuild();
}

void Markdown::setBaseURL(const std::optional<QUrl>& baseURL)
{
    m_baseURL = baseURL;
    rebuild();
}

void Markdown::setImageBaseURL(const std::optional<QUrl>& imageBaseURL)
{
    m_imageBaseURL = imageBaseURL;
    rebuild();
}

void Markdown::setTheme(const Theme& theme)
{
    m_theme = theme;
    rebuild();
}

void Markdown::setColorScheme(std::optional<ColorScheme> scheme)
{
    m_scheme = scheme;
    rebuild();
}

void Markdown::setModifiers(std::function<View(const View&)> modifiers)
{
    m_modifiers = std::move(modifiers);
    rebuild();
}

void Markdown::setCodeSyntaxHighlighter(std::shared_ptr<const CodeSyntaxHighlighter> highlighter)
{
    m_highlighter = std::move(highlighter);
    rebuild();
}

void Markdown::setImageProvider(std::shared_ptr<const ImageProvider> provider)
{
    m_imageProvider = std::move(provider);
    rebuild();
}

void Markdown::setInlineImageProvider(std::shared_ptr<const InlineImageProvider> provider)
{
    m_inlineImageProvider = std::move(provider);
    rebuild();
}

void Markdown::setOpenLinksExternally(bool open)
{
    if (m_sizing == Sizing::scrolling)
        static_cast<DocumentView*>(m_surface)->setOpenLinksExternally(open);
    else
        static_cast<HeightForWidthView*>(m_surface)->setOpenLinksExternally(open);
}

View Markdown::view() const
{
    View view = MarkdownView(m_content, m_baseURL, m_imageBaseURL, m_state);
    if (m_modifiers)
        view = m_modifiers(view);
    if (m_highlighter)
        view = view.markdownCodeSyntaxHighlighter(m_highlighter);
    if (m_imageProvider)
        view = view.markdownImageProvider(m_imageProvider);
    if (m_inlineImageProvider)
        view = view.markdownInlineImageProvider(m_inlineImageProvider);
    if (m_theme)
        view = view.markdownTheme(*m_theme);
    if (m_scheme) {
        view = view.transformEnvironment([scheme = *m_scheme](Environment& e) { e.colorScheme = scheme; });
    }
    return view;
}

void Markdown::rebuild()
{
    if (m_sizing == Sizing::scrolling)
        static_cast<DocumentView*>(m_surface)->setView(view());
    else
        static_cast<HeightForWidthView*>(m_surface)->setView(view());
    updateGeometry();
}

QString Markdown::dump()
{
    ViewHost& h = host();
    h.layout(m_surface->width());
    return h.root() ? dumpLayout(*h.root()) : QString();
}

bool Markdown::hasHeightForWidth() const
{
    return m_sizing == Sizing::heightForWidth;
}

int Markdown::heightForWidth(int width) const
{
    return m_sizing == Sizing::heightForWidth ? m_surface->heightForWidth(width) : QWidget::heightForWidth(width);
}

QSize Markdown::sizeHint() const
{
    return m_sizing == Sizing::heightForWidth ? m_surface->sizeHint() : QWidget::sizeHint();
}

} // namespace mddoc
