#include "window/MarkdownFileViewerBody.h"

#include "window/GrammarCodeHighlighter.h"
#include "window/SymbolIcons.h"
#include "window/ViewParts.h"

#include <mddoc/Markdown.h>
#include <mdview/BlockStyle.h>
#include <mdview/Host.h>
#include <mdview/Theme.h>
#include <mdview/View.h>

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QCryptographicHash>
#include <QCursor>
#include <QGuiApplication>
#include <QStackedLayout>
#include <QToolTip>

#include <limits>

namespace quillora {
namespace {

using namespace mdview;

richtext::Color fromQColor(const QColor& color)
{
    return {color.redF(), color.greenF(), color.blueF(), color.alphaF()};
}

QString keyOf(const QString& code)
{
    return QString::fromLatin1(QCryptographicHash::hash(code.toUtf8(), QCryptographicHash::Sha1).toHex());
}

// A code block: its language over the code, on a rounded panel.
View codeBlock(const CodeBlockConfiguration& configuration, ColorScheme scheme,
               const std::shared_ptr<QHash<QString, QString>>& codeBlocks)
{
    const QString key = keyOf(configuration.content);
    codeBlocks->insert(key, configuration.content);
    const QColor secondary = scheme == ColorScheme::dark ? QColor(235, 235, 245, 153) : QColor(60, 60, 67, 153);
    std::vector<View> header;
    if (configuration.language) {
        header.push_back(Text(configuration.language->toUpper())
                             .markdownTextStyle([secondary] {
                                 return textStyle(FontSize(10.0), ForegroundColor(Color(fromQColor(secondary))));
                             }));
    }
    header.push_back(Spacer());
    const QImage copyIcon = symbolPixmap(QStringLiteral("doc.on.doc"), secondary, 14, 2).toImage();
    header.push_back(Image(copyIcon, true)
                         .frame(14.0, 14.0)
                         .padding(2)
                         .link(QUrl(QString::fromLatin1(MarkdownFileViewerBody::copyScheme) + u':' + key)));
    const View code = configuration.label.markdownTextStyle([] {
        return textStyle(FontFamilyVariant(FontProperties::FamilyVariant::monospaced), FontSize(13.0));
    });
    const Color panel = scheme == ColorScheme::dark ? Color(richtext::Color{1, 1, 1, 0.06}) : Color(richtext::Color{0, 0, 0, 0.04});
    return VStack({HStack(std::move(header), VerticalAlignment::center), code}, HorizontalAlignment::leading, 8)
        .padding(12)
        .frame(View::FlexibleFrame{.maxWidth = std::numeric_limits<double>::infinity(), .alignment = Alignment::leading()})
        .background(panel)
        .clipRoundedRect(12)
        .padding(Bottom, 10);
}

} // namespace

QColor MarkdownFileViewerBody::inlineCodeForeground(ColorScheme scheme)
{
    return scheme == ColorScheme::dark ? QColor::fromRgbF(1.0f, 0.2f, 0.5f) : QColor::fromRgbF(0.8f, 0.0f, 0.3f);
}

MarkdownFileViewerBody::MarkdownFileViewerBody(QWidget* parent)
    : QWidget(parent)
    , m_pages(new QStackedLayout)
    , m_markdown(new mddoc::Markdown(mddoc::Markdown::Sizing::scrolling))
    , m_error(new MessagePage)
{
    m_pages->addWidget(m_markdown);
    m_pages->addWidget(m_error);
    setLayout(m_pages);
    // Like the text page and the message page: no frame, and the window showing through.
    for (auto* area : m_markdown->findChildren<QAbstractScrollArea*>()) {
        area->setFrameShape(QFrame::NoFrame);
        area->viewport()->setBackgroundRole(QPalette::Window);
    }
    // The copy buttons are links of their own scheme, which the widget does not open.
    connect(&m_markdown->host(), &ViewHost::linkActivated, this, [this](const QUrl& url) { copyCode(url); });
    connect(&m_markdown->host(), &ViewHost::linkHovered, this, [this](const QString& link) {
        if (link.startsWith(QLatin1String(copyScheme) + u':'))
            QToolTip::showText(QCursor::pos(), QStringLiteral("Copy code"), m_markdown);
        else
            QToolTip::hideText();
    });
    applyModifiers();
}

MarkdownFileViewerBody::~MarkdownFileViewerBody() = default;

void MarkdownFileViewerBody::showDocument(const QString& fileID, std::shared_ptr<const FileViewerContent> content)
{
    const bool sameFile = fileID == m_fileID && m_content && !isShowingError();
    m_fileID = fileID;
    m_content = std::move(content);
    m_pages->setCurrentIndex(0);
    if (!sameFile)
        m_codeBlocks->clear();
    // The widget lays out what its viewport shows first and the rest in the background; a new
    // version of the shown file keeps the blocks that did not change, and the scroll position.
    m_markdown->setContent(m_content->markdown.value_or(markdown::MarkdownContent()));
}

void MarkdownFileViewerBody::showError(const QString& fileID, const QString& message)
{
    m_fileID = fileID;
    m_content.reset();
    m_error->setMessage(message);
    m_pages->setCurrentIndex(1);
}

void MarkdownFileViewerBody::setColorScheme(ColorScheme scheme)
{
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    applyModifiers();
}

QString MarkdownFileViewerBody::errorMessage() const
{
    return isShowingError() ? m_error->message() : QString();
}

bool MarkdownFileViewerBody::isShowingError() const
{
    return m_pages->currentIndex() == 1;
}

bool MarkdownFileViewerBody::copyCode(const QUrl& copyLink) const
{
    if (copyLink.scheme() != QLatin1String(copyScheme))
        return false;
    const auto code = m_codeBlocks->constFind(copyLink.path());
    if (code == m_codeBlocks->cend())
        return false;
    QGuiApplication::clipboard()->setText(*code);
    return true;
}

void MarkdownFileViewerBody::applyModifiers()
{
    const ColorScheme scheme = m_scheme;
    const Color inlineCode(fromQColor(inlineCodeForeground(scheme)));
    const auto codeBlocks = m_codeBlocks;
    m_markdown->setColorScheme(scheme);
    m_markdown->setModifiers([scheme, inlineCode, codeBlocks](const View& document) {
        return document
            .markdownTextStyle(&Theme::code,
                               [inlineCode] {
                                   return textStyle(FontFamilyVariant(FontProperties::FamilyVariant::monospaced),
                                                    FontSize(RelativeSize::em(0.95)), ForegroundColor(inlineCode));
                               })
            .markdownBlockStyle<CodeBlockConfiguration>(&Theme::codeBlock,
                                                        [scheme, codeBlocks](const CodeBlockConfiguration& configuration) {
                                                            return codeBlock(configuration, scheme, codeBlocks);
                                                        })
            .markdownCodeSyntaxHighlighter(std::make_shared<GrammarCodeHighlighter>(scheme))
            .frame(View::FlexibleFrame{.maxWidth = std::numeric_limits<double>::infinity(), .alignment = Alignment::leading()})
            .padding(24);
    });
}

} // namespace quillora
