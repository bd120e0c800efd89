#include "window/MarkdownFileViewerBody.h"

#include "window/GrammarCodeHighlighter.h"
#include "window/ViewParts.h"

#include <mdview/Environment.h>
#include <mdview/Host.h>
#include <mdview/View.h>

#include <QStackedLayout>

namespace quillora {
namespace {

// The rendered page of a document.
mdview::View documentPage(const FileViewerContent& content, mdview::ColorScheme scheme)
{
    return mdview::VStack({mdview::Text(content.text)}, mdview::HorizontalAlignment::leading, 16)
        .frame(mdview::View::FlexibleFrame{.maxWidth = std::numeric_limits<double>::infinity(),
                                           .alignment = mdview::Alignment::leading()})
        .markdownCodeSyntaxHighlighter(std::make_shared<GrammarCodeHighlighter>(scheme))
        .padding(24);
}

} // namespace

MarkdownFileViewerBody::MarkdownFileViewerBody(QWidget* parent)
    : QWidget(parent)
    , m_pages(new QStackedLayout)
    , m_document(new mdview::DocumentView)
    , m_error(new MessagePage)
{
    m_document->setFrameShape(QFrame::NoFrame);
    m_pages->addWidget(m_document);
    m_pages->addWidget(m_error);
    setLayout(m_pages);
}

MarkdownFileViewerBody::~MarkdownFileViewerBody() = default;

void MarkdownFileViewerBody::showDocument(const QString& fileID, std::shared_ptr<const FileViewerContent> content)
{
    m_fileID = fileID;
    m_content = std::move(content);
    m_pages->setCurrentIndex(0);
    rebuild();
}

void MarkdownFileViewerBody::showError(const QString& fileID, const QString& message)
{
    m_fileID = fileID;
    m_content.reset();
    m_error->setMessage(message);
    m_pages->setCurrentIndex(1);
}

void MarkdownFileViewerBody::setColorScheme(mdview::ColorScheme scheme)
{
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    rebuild();
}

QString MarkdownFileViewerBody::errorMessage() const
{
    return isShowingError() ? m_error->message() : QString();
}

bool MarkdownFileViewerBody::isShowingError() const
{
    return m_pages->currentIndex() == 1;
}

void MarkdownFileViewerBody::rebuild()
{
    if (!m_content)
        return;
    m_document->setView(documentPage(*m_content, m_scheme));
}

} // namespace quillora
