#include "chatview/ChatTranscriptView.h"

#include "ChatStyle.h"

#include <QEvent>
#include <QScrollBar>

#include <algorithm>

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

ChatMessageRowView::ChatMessageRowView(const ChatMessageModel& message, int width, QWidget* parent)
    : QWidget(parent)
    , m_id(message.id)
    , m_kind(kindOf(message))
{
    if (width > 0)
        resize(width, 1);
    makeBubble();
    m_bubble->setMessage(message);
    placeBubble();
}

void ChatMessageRowView::makeBubble()
{
    delete m_bubble;
    switch (m_kind) {
    case Kind::user:
        m_bubble = new ChatMarkdownBubbleView(
            [](const QPalette& palette) {
                return ChatMarkdownBubbleView::Look{style::named(style::Named::blue, palette, 0.12), {}, false, true};
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
    placeBubble();
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
    placeBubble();
}

void ChatMessageRowView::placeBubble()
{
    // Markdown bubbles span the row and place their panel themselves.
    const bool spans = m_kind == Kind::user || m_kind == Kind::assistant || m_kind == Kind::thinking;
    const int height = m_bubble->sizeFor(width()).height();
    m_bubble->setGeometry(0, 0, spans ? width() : m_bubble->sizeFor(width()).width(), height);
    // A hidden bubble gets its resize event only once shown; its content needs the width now.
    m_bubble->layoutContent();
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
    // An opaque viewport lets a scroll move the pixels already drawn instead of painting again.
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);
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
    auto* view = new ChatMessageRowView(m_viewModel.messages().at(index), rowWidth(), m_content);
    connect(view, &ChatMessageRowView::sizeChanged, this, [this, view] { rowSizeChanged(view); });
    view->hide();
    m_rows.insert(m_rows.begin() + index, Row{view, 0, view->heightForWidth(rowWidth())});
    if (std::size_t(index) < m_endShown) {
        // The shown range moves with the rows after it.
        m_firstShown += std::size_t(index) < m_firstShown;
        ++m_endShown;
    }
    placeFrom(std::size_t(index));
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
    if (std::size_t(index) < m_endShown) {
        m_firstShown -= std::size_t(index) < m_firstShown;
        --m_endShown;
    }
    placeFrom(std::size_t(index));
}

void ChatTranscriptView::resetRows()
{
    for (const Row& row : m_rows)
        delete row.view;
    m_rows.clear();
    m_firstShown = m_endShown = 0;
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
    // The newest message grew (the rest of a long text joined): keep following it if the
    // view was at its end or on its way there.
    QScrollBar* bar = verticalScrollBar();
    const bool following = index + 1 == m_rows.size() && (isScrolling() || bar->value() >= bar->maximum());
    row.height = height;
    placeFrom(index);
    if (following)
        scheduleScrollToNewest();
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
    updateShownRows();
}

void ChatTranscriptView::updateShownRows()
{
    // A screen above and below stay shown, so that a scroll reveals drawn rows.
    const int viewportHeight = std::max(1, viewport()->height());
    const int top = verticalScrollBar()->value() - viewportHeight;
    const int bottom = verticalScrollBar()->value() + 2 * viewportHeight;
    const auto first = std::partition_point(m_rows.begin(), m_rows.end(),
                                            [top](const Row& row) { return row.y + row.height < top; });
    const auto end = std::partition_point(first, m_rows.end(), [bottom](const Row& row) { return row.y <= bottom; });
    const std::size_t newFirst = std::size_t(first - m_rows.begin());
    const std::size_t newEnd = std::size_t(end - m_rows.begin());
    for (std::size_t i = m_firstShown; i < std::min(m_endShown, m_rows.size()); ++i)
        if (i < newFirst || i >= newEnd)
            m_rows[i].view->hide();
    for (std::size_t i = newFirst; i < newEnd; ++i)
        if (m_rows[i].view->isHidden())
            m_rows[i].view->show();
    m_firstShown = newFirst;
    m_endShown = newEnd;
}

void ChatTranscriptView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (rowWidth() != m_laidOutWidth)
        relayoutAll();
    else
        updateScrollRange();
}

void ChatTranscriptView::scrollContentsBy(int dx, int dy)
{
    viewport()->scroll(dx, dy);
    updateShownRows();
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
