#include "window/FileViewerView.h"

#include "window/MarkdownFileViewerBody.h"
#include "window/TextFileViewerBody.h"
#include "window/ViewParts.h"

#include <mddoc/Markdown.h>
#include <mdview/Host.h>
#include <platform/FreedMemory.h>

#include <QAbstractScrollArea>
#include <QEvent>
#include <QStackedLayout>

namespace quillora {

FileViewerView::FileViewerView(FileViewerServices services, QWidget* parent)
    : QWidget(parent)
    , m_model(new FileViewerModel(std::move(services), this))
    , m_pages(new QStackedLayout)
    , m_noFile(new ContentUnavailableView(QStringLiteral("doc.text"), QStringLiteral("Select a file")))
    , m_clear(new QWidget)
    , m_markdown(new MarkdownFileViewerBody)
    , m_text(new TextFileViewerBody)
    , m_spinner(new Spinner(this))
{
    m_pages->addWidget(m_noFile);
    m_pages->addWidget(m_clear);
    m_pages->addWidget(m_markdown);
    m_pages->addWidget(m_text);
    setLayout(m_pages);
    m_spinner->hide();
    for (QWidget* page : {static_cast<QWidget*>(m_noFile), m_clear})
        watchPaint(page);
    watchPaint(m_text->textView()->viewport());
    for (auto* scroll : m_markdown->findChildren<QAbstractScrollArea*>())
        watchPaint(scroll->viewport());
    for (auto* scroll : m_text->findChildren<QAbstractScrollArea*>())
        watchPaint(scroll->viewport());

    connect(m_model, &FileViewerModel::loadStateChanged, this, &FileViewerView::render);
    m_model->setColorScheme(mdview::colorSchemeOf(palette()));
    m_markdown->setColorScheme(mdview::colorSchemeOf(palette()));
    render();
}

FileViewerView::~FileViewerView() = default;

QString FileViewerView::title() const
{
    const auto& file = m_model->file();
    return file ? file->name : QStringLiteral("Select a file");
}

bool FileViewerView::isShowingProgress() const
{
    return !m_spinner->isHidden();
}

QWidget* FileViewerView::currentPage() const
{
    return m_pages->currentWidget();
}

void FileViewerView::watchPaint(QWidget* page)
{
    page->installEventFilter(this);
}

void FileViewerView::handOver()
{
    ++m_contentUpdates;
    // The body lets go of what it showed in this turn: a long document leaves much free memory.
    platform::giveFreedMemoryBackSoon();
}

void FileViewerView::render()
{
    const auto& file = m_model->file();
    const FileViewerLoadState& state = m_model->loadState();
    QWidget* page = m_clear;
    bool loading = false;
    if (!file) {
        page = m_noFile;
    } else if (state.fileID == file->id && state.phase == FileViewerLoadState::Phase::loaded) {
        if (state.content != m_rendered.content || m_rendered.phase != state.phase || m_rendered.fileID != state.fileID) {
            handOver();
            if (fileBodyKind(file->url) == FileBodyKind::markdown)
                m_markdown->showDocument(file->id, state.content);
            else
                m_text->showText(file->id, state.content, fileBodyKind(file->url) == FileBodyKind::swift);
        }
        page = fileBodyKind(file->url) == FileBodyKind::markdown ? static_cast<QWidget*>(m_markdown) : m_text;
    } else if (state.fileID == file->id && state.phase == FileViewerLoadState::Phase::failed) {
        if (state.message != m_rendered.message || m_rendered.phase != state.phase || m_rendered.fileID != state.fileID) {
            handOver();
            if (fileBodyKind(file->url) == FileBodyKind::markdown)
                m_markdown->showError(file->id, state.message);
            else
                m_text->showError(file->id, state.message);
        }
        page = fileBodyKind(file->url) == FileBodyKind::markdown ? static_cast<QWidget*>(m_markdown) : m_text;
    } else {
        loading = state.phase == FileViewerLoadState::Phase::loading && state.fileID == file->id;
    }
    m_rendered = state;
    m_pages->setCurrentWidget(page);
    m_spinner->setVisible(loading);
    if (loading) {
        m_spinner->setGeometry(rect());
        m_spinner->raise();
    }
    m_paintPending = page != m_clear;
}

bool FileViewerView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && m_paintPending) {
        m_paintPending = false;
        emit contentPainted();
    }
    return QWidget::eventFilter(watched, event);
}

void FileViewerView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_model->setColorScheme(mdview::colorSchemeOf(palette()));
        m_markdown->setColorScheme(mdview::colorSchemeOf(palette()));
    }
}

void FileViewerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_spinner->setGeometry(rect());
}

} // namespace quillora
