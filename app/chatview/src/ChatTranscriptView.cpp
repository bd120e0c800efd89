#include "chatview/ChatTranscriptView.h"

#include "ChatStyle.h"

#include <QEvent>
#include <QScrollBar>

namespace quillora::chat {

// Rows ----------------------------------------------------------------------------------------------

ChatMessageRowView::Kind ChatMessageRowView::kindOf(const ChatMessageModel& message)
{
    switch (message.role) {
    case ChatMessageRole::user: return Kind::user;
    case ChatMessageRole::assistant: return Kind::assistant;
    case ChatMessageRole::tool: return Kind::tool;
    case ChatMessageRole::system: break;
    }
    if (message.isParsingError)
        return Kind::parsingError;
    if (message.isProcessing)
        return Kind::processing;
    if (message.isThinking)
        return Kind::thinking;
    return Kind::notice;
}

ChatMessageRowView::ChatMessageRowView(const ChatMessageModel& message, QWidget* parent)
    : QWidget(parent)
    , m_id(message.id)
    , m_kind(kindOf(message))
{
    makeBubble();
    m_bubble->setMessage(message);
}

void ChatMessageRowView::makeBubble()
{
    delete m_bubble;
    switch (m_kind) {
    case Kind::user:
        m_bubble = new ChatMarkdownBubbleView(
            [](const QPalette& palette) {
                return ChatMarkdownBubbleView::Look{style::named(style::Named::blue, palette, 0.12), {}, false};
            },
            this);
        break;
    case Kind::assistant:
        m_bubble = new ChatMarkdownBubbleView(
            [](const QPalette& palette) {
                return ChatMarkdownBubbleView::Look{style::named(style::Named::gray, palette, 0.12), {}, false};
            },
            this);
        break;
    case Kind::tool: m_bubble = new ToolMessageBubbleView(this); break;
    case Kind::parsingError: m_bubble = new ParsingErrorBubbleView(this); break;
    case Kind::processing: m_bubble = new ProcessingMessageBubbleView(this); break;
    case Kind::thinking: m_bubble = new ThinkingMessageBubbleView(this); break;
    case Kind::notice: m_bubble = new SystemNoticeView(this); break;
    }
    connect(m_bubble, &MessageBubble::sizeChanged, this, &ChatMessageRowView::sizeChanged);
    m_bubble->show();
}

void ChatMessageRowView::setMessage(const ChatMessageModel& message)
{
    m_id = message.id;
    if (const Kind kind = kindOf(message); kind != m_kind) {
        m_kind = kind;
        makeBubble();
    }
    m_bubble->setMessage(message);
}

int ChatMessageRowView::heightForWidth(int width) const
{
    return m_bubble->sizeFor(width).height();
}

void ChatMessageRowView::resizeEvent(QResizeEvent*)
{
    const QSize size = m_bubble->sizeFor(width());
    const int x = m_kind == Kind::user ? width() - size.width() : 0;
    m_bubble->setGeometry(x, 0, size.width(), size.height());
}

// Transcript -------------------------------------------------------------------------------------------

ChatTranscriptView::ChatTranscriptView(ChatViewModel& viewModel, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_viewModel(viewModel)
    , m_content(new QWidget(viewport()))
    , m_scroll(verticalScrollBar(), "value")
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(20);
    viewport()->setAutoFillBackground(false);
    m_scroll.setDuration(scrollDuration);
    m_scroll.setEasingCurve(QEasingCurve::OutCubic);

    for (int i = 0; i < int(viewModel.messages().size()); ++i)
        insertRow(i);
    connect(&viewModel, &ChatViewModel::messageInserted, this, [this](int index) {
        insertRow(index);
        scheduleScrollToNewest();
    });
    connect(&viewModel, &ChatViewModel::messageChanged, this, &ChatTranscriptView::updateRow);
    connect(&viewModel, &ChatViewModel::messageRemoved, this, [this](int index) {
        removeRow(index);
        scheduleScrollToNewest();
    });
    connect(&viewModel, &ChatViewModel::messagesReset, this, [this] {
        resetRows();
        scheduleScrollToNewest();
    });
    connect(&viewModel, &ChatViewModel::streamingUpdateTokenChanged, this, &ChatTranscriptView::scheduleScrollToNewest);
}

int ChatTranscriptView::rowWidth() const
{
    return std::max(1, viewport()->width() - 2 * margin);
}

QRect ChatTranscriptView::rowGeometry(int index) const
{
    const Row& row = m_rows.at(std::size_t(index));
    return {margin, row.y, rowWidth(), row.height};
}

void ChatTranscriptView::insertRow(int index)
{
    auto* view = new ChatMessageRowView(m_viewModel.messages().at(index), m_content);
    connect(view, &ChatMessageRowView::sizeChanged, this, [this, view] { rowSizeChanged(view); });
    m_rows.insert(m_rows.begin() + index, Row{view, 0, view->heightForWidth(rowWidth())});
    placeFrom(std::size_t(index));
    view->show();
}

void ChatTranscriptView::updateRow(int index)
{
    Row& row = m_rows.at(std::size_t(index));
    row.view->setMessage(m_viewModel.messages().at(index));
    remeasure(std::size_t(index));
}

void ChatTranscriptView::removeRow(int index)
{
    delete m_rows.at(std::size_t(index)).view;
    m_rows.erase(m_rows.begin() + index);
    placeFrom(std::size_t(index));
}

void ChatTranscriptView::resetRows()
{
    for (const Row& row : m_rows)
        delete row.view;
    m_rows.clear();
    placeFrom(0);
}

void ChatTranscriptView::rowSizeChanged(ChatMessageRowView* view)
{
    for (std::size_t i = m_rows.size(); i-- > 0;) {
        if (m_rows[i].view == view) {
            remeasure(i);
            return;
        }
    }
}

void ChatTranscriptView::remeasure(std::size_t index)
{
    Row& row = m_rows[index];
    const int height = row.view->heightForWidth(rowWidth());
    if (height == row.height) {
        // The bubble may still have to take another shape at the same height.
        row.view->setGeometry(margin, row.y, rowWidth(), row.height);
        return;
    }
    row.height = height;
    placeFrom(index);
}

// Places the rows from `index` on, each under the one before it.
void ChatTranscriptView::placeFrom(std::size_t index)
{
    int y = index == 0 ? margin : m_rows[index - 1].y + m_rows[index - 1].height + spacing;
    const int width = rowWidth();
    for (std::size_t i = index; i < m_rows.size(); ++i) {
        Row& row = m_rows[i];
        row.y = y;
        row.view->setGeometry(margin, y, width, row.height);
        y += row.height + spacing;
    }
    m_contentHeight = m_rows.empty() ? 2 * margin : y - spacing + margin;
    m_laidOutWidth = width;
    updateScrollRange();
}

void ChatTranscriptView::relayoutAll()
{
    const int width = rowWidth();
    for (Row& row : m_rows)
        row.height = row.view->heightForWidth(width);
    placeFrom(0);
}

void ChatTranscriptView::updateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    const int viewportHeight = viewport()->height();
    bar->setPageStep(viewportHeight);
    bar->setRange(0, std::max(0, m_contentHeight - viewportHeight));
    m_content->setGeometry(0, -bar->value(), viewport()->width(), std::max(m_contentHeight, viewportHeight));
}

void ChatTranscriptView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (rowWidth() != m_laidOutWidth)
        relayoutAll();
    else
        updateScrollRange();
}

void ChatTranscriptView::scrollContentsBy(int, int)
{
    m_content->move(0, -verticalScrollBar()->value());
}

void ChatTranscriptView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        relayoutAll();
}

// The signals of one change come together (a message removed, another added, the token):
// scroll once, when the event loop comes round.
void ChatTranscriptView::scheduleScrollToNewest()
{
    if (std::exchange(m_scrollPending, true))
        return;
    QMetaObject::invokeMethod(this, &ChatTranscriptView::scrollToNewest, Qt::QueuedConnection);
}

void ChatTranscriptView::scrollToNewest()
{
    m_scrollPending = false;
    if (m_rows.empty())
        return;
    const Row& last = m_rows.back();
    QScrollBar* bar = verticalScrollBar();
    const int target = std::clamp(last.y + last.height - viewport()->height(), bar->minimum(), bar->maximum());
    if (target == bar->value() && !isScrolling())
        return;
    m_scroll.stop();
    m_scroll.setStartValue(bar->value());
    m_scroll.setEndValue(target);
    m_scroll.start();
}

} // namespace quillora::chat
