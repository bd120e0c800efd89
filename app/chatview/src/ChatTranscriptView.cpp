#include "chatview/ChatTranscriptView.h"

#include "ChatStyle.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimer>

#include <platform/FreedMemory.h>

#include <algorithm>
#include <cmath>

namespace quillora::chat {

namespace {

constexpr int bubblePadding = 10;
// The longest a slice of measuring in the background may take: the event loop comes round at
// least twice a frame.
constexpr double sliceMilliseconds = 8;
// A text longer than this is measured only once it is shown: one slice could not take it.
constexpr qsizetype longestMeasuredInBackground = 64 * 1024;
// How often a pass over the viewport measures again when what it measured moved the rows.
constexpr int layoutRounds = 8;

// About how tall a text is: the lines it wraps into at a width, a blank line as a gap of half
// a line.
int estimatedTextHeight(QStringView text, int width, double lineHeight, double characterWidth)
{
    const double perLine = std::max(1.0, double(width) / characterWidth);
    double lines = 0;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        lines += end == start ? 0.5 : std::ceil(double(end - start) / perLine);
        start = end + 1;
    }
    return int(std::ceil(lines * lineHeight));
}

} // namespace

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

int ChatMessageRowView::estimatedHeight(const ChatMessageModel& message, int width, const QFont& font)
{
    // Markdown's base size, with the line height and character width its own estimates use.
    constexpr double markdownSize = 13;
    const int inner = std::max(1, width - 2 * bubblePadding);
    switch (kindOf(message)) {
    case Kind::tool:
    case Kind::processing: return ToolMessageBubbleView::collapsedHeight(font);
    case Kind::user:
    case Kind::assistant:
    case Kind::thinking:
        return 2 * bubblePadding + estimatedTextHeight(message.content, inner, 1.25 * markdownSize, 0.5 * markdownSize);
    case Kind::parsingError: {
        const QFontMetrics caption(style::caption(font));
        const QFontMetrics callout(style::callout(font));
        return 2 * bubblePadding + caption.height() + 6
            + estimatedTextHeight(QStringView(message.content).left(20000), inner, callout.lineSpacing(),
                                  callout.averageCharWidth());
    }
    case Kind::notice: {
        const QFontMetrics caption(style::caption(font));
        return 8 + estimatedTextHeight(QStringView(message.content).left(20000), width, caption.lineSpacing(),
                                       caption.averageCharWidth())
            + 8;
    }
    }
    return 0;
}

bool ChatMessageRowView::isEstimateExact(const ChatMessageModel& message)
{
    const Kind kind = kindOf(message);
    return kind == Kind::tool || kind == Kind::processing;
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
    m_measuredWidth = -1;
    connect(m_bubble, &MessageBubble::sizeChanged, this, [this] {
        m_measuredWidth = -1;
        placeBubble();
        emit sizeChanged();
    });
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
    m_measuredWidth = -1;
}

int ChatMessageRowView::heightForWidth(int width) const
{
    if (width != m_measuredWidth) {
        m_measuredHeight = m_bubble->sizeFor(width).height();
        m_measuredWidth = width;
    }
    return m_measuredHeight;
}

void ChatMessageRowView::setVisibleRange(int top, int height, bool atEnd)
{
    if (m_bubble->setVisibleRange(top, height, atEnd)) {
        m_measuredWidth = -1;
        placeBubble();
    }
}

void ChatMessageRowView::resizeEvent(QResizeEvent*)
{
    placeBubble();
}

void ChatMessageRowView::placeBubble()
{
    // Markdown bubbles span the row and place their panel themselves.
    const bool spans = m_kind == Kind::user || m_kind == Kind::assistant || m_kind == Kind::thinking;
    m_bubble->setGeometry(0, 0, spans ? width() : m_bubble->sizeFor(width()).width(), heightForWidth(width()));
    // A hidden bubble gets its resize event only once shown; its content needs the width now.
    m_bubble->layoutContent();
}

// Transcript -------------------------------------------------------------------------------------------

ChatTranscriptView::ChatTranscriptView(ChatViewModel& viewModel, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_viewModel(viewModel)
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
    m_settle.setSingleShot(true);
    m_settle.setInterval(0);
    connect(&m_settle, &QTimer::timeout, this, &ChatTranscriptView::settleSome);
    connect(&m_scroll, &QAbstractAnimation::finished, this, [this] {
        if (scrollValue() != newestTarget())
            scheduleScrollToNewest();
        // No measuring in the background while a scroll runs: its frames come first.
        restartSettling(m_settleCursor);
    });

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

int ChatTranscriptView::scrollValue() const
{
    return verticalScrollBar()->value();
}

QRect ChatTranscriptView::rowGeometry(int index) const
{
    const Row& row = m_rows.at(std::size_t(index));
    return {margin, row.y, rowWidth(), row.height};
}

int ChatTranscriptView::builtCount() const
{
    int count = 0;
    for (std::size_t i = m_firstBuilt; i < m_endBuilt; ++i)
        count += m_rows[i].view != nullptr;
    return count;
}

bool ChatTranscriptView::isSettled() const
{
    if (m_settleCursor < m_rows.size())
        return false;
    for (std::size_t i = m_firstBuilt; i < m_endBuilt; ++i) {
        if (!m_rows[i].view)
            continue;
        if (const auto* bubble = dynamic_cast<const ChatMarkdownBubbleView*>(m_rows[i].view->bubble());
            bubble && !bubble->isSettled())
            return false;
    }
    return true;
}

// Changes from the view model ---------------------------------------------------------------------------

void ChatTranscriptView::insertRow(int index)
{
    const auto at = std::size_t(index);
    Anchor kept = anchor();
    if (at <= kept.index && at < m_rows.size())
        ++kept.index;
    const ChatMessageModel& message = m_viewModel.messages().at(index);
    Row row;
    row.height = ChatMessageRowView::estimatedHeight(message, rowWidth(), font());
    row.measured = ChatMessageRowView::isEstimateExact(message);
    m_rows.insert(m_rows.begin() + index, row);
    if (at < m_endBuilt) {
        // The built range moves with the rows after it.
        m_firstBuilt += at < m_firstBuilt;
        ++m_endBuilt;
    }
    m_settleCursor += at < m_settleCursor;
    placeFrom(at);
    restore(kept);
    restartSettling(at);
    layOutWindow();
}

void ChatTranscriptView::updateRow(int index)
{
    const auto at = std::size_t(index);
    const Anchor kept = anchor();
    Row& row = m_rows.at(at);
    const ChatMessageModel& message = m_viewModel.messages().at(index);
    if (row.view) {
        // Measured below, once, whatever the bubble says meanwhile.
        const QScopedValueRollback guard(m_inLayout, true);
        row.view->setMessage(message);
        measure(at);
    } else {
        unmeasure(at);
    }
    placeFrom(at);
    restore(kept);
    restartSettling(at);
    layOutWindow();
}

void ChatTranscriptView::removeRow(int index)
{
    const auto at = std::size_t(index);
    Anchor kept = anchor();
    if (kept.index > at)
        --kept.index;
    else if (kept.index == at)
        kept.offset = 0;
    delete m_rows.at(at).view;
    m_rows.erase(m_rows.begin() + index);
    if (at < m_endBuilt) {
        m_firstBuilt -= at < m_firstBuilt;
        --m_endBuilt;
    }
    m_settleCursor -= at < m_settleCursor;
    placeFrom(at);
    restore(kept);
    layOutWindow();
}

void ChatTranscriptView::resetRows()
{
    const bool hadRows = !m_rows.empty();
    for (const Row& row : m_rows)
        delete row.view;
    m_rows.clear();
    m_firstBuilt = m_endBuilt = 0;
    m_settleCursor = 0;
    placeFrom(0);
    setScrollValue(0);
    // What a long transcript held is now free, but kept by the allocator: it goes back once the
    // rows let go of in this turn of the event loop are gone too.
    if (hadRows)
        platform::giveFreedMemoryBackSoon();
}

// Building and letting go ---------------------------------------------------------------------------------

ChatMessageRowView* ChatTranscriptView::makeView(std::size_t index)
{
    auto* view = new ChatMessageRowView(m_viewModel.messages().at(qsizetype(index)), rowWidth(), viewport());
    if (m_rows[index].toolExpanded)
        if (auto* tool = dynamic_cast<ToolMessageBubbleView*>(view->bubble()))
            tool->setExpanded(true);
    return view;
}

void ChatTranscriptView::build(std::size_t index)
{
    Row& row = m_rows[index];
    if (row.view)
        return;
    row.view = makeView(index);
    // A pass under way measures every built row once more.
    connect(row.view, &ChatMessageRowView::sizeChanged, this, &ChatTranscriptView::layOutWindow);
    row.view->setGeometry(margin, row.y - scrollValue(), rowWidth(), row.height);
    row.view->show();
    if (m_firstBuilt == m_endBuilt) {
        m_firstBuilt = index;
        m_endBuilt = index + 1;
    } else {
        m_firstBuilt = std::min(m_firstBuilt, index);
        m_endBuilt = std::max(m_endBuilt, index + 1);
    }
}

// The row may be letting go from within one of its own signals: it goes once the event loop
// comes round, and tells nothing more meanwhile.
void ChatTranscriptView::release(std::size_t index)
{
    Row& row = m_rows[index];
    if (!row.view)
        return;
    if (const auto* tool = dynamic_cast<const ToolMessageBubbleView*>(row.view->bubble()))
        row.toolExpanded = tool->isExpanded();
    ChatMessageRowView* view = std::exchange(row.view, nullptr);
    view->disconnect(this);
    view->hide();
    view->deleteLater();
}

void ChatTranscriptView::unmeasure(std::size_t index)
{
    Row& row = m_rows[index];
    const ChatMessageModel& message = m_viewModel.messages().at(qsizetype(index));
    const bool exact = ChatMessageRowView::isEstimateExact(message) && !row.toolExpanded;
    if (!row.measured || exact)
        row.height = ChatMessageRowView::estimatedHeight(message, rowWidth(), font());
    // Else what it measured stands in until it is measured again.
    row.measured = exact;
}

bool ChatTranscriptView::measure(std::size_t index)
{
    Row& row = m_rows[index];
    const int height = row.view->heightForWidth(rowWidth());
    const bool changed = height != row.height;
    row.height = height;
    row.measured = true;
    return changed;
}

void ChatTranscriptView::layOutWindow()
{
    if (m_inLayout) {
        m_layoutAgain = true;
        return;
    }
    const QScopedValueRollback guard(m_inLayout, true);
    const bool wasAtNewest = atNewest();
    for (int round = 0; round < layoutRounds; ++round) {
        m_layoutAgain = false;
        const Anchor kept = anchor();
        const int value = scrollValue();
        const int height = std::max(1, viewport()->height());
        const int top = value - int(builtAround * height);
        const int bottom = value + height + int(builtAround * height);
        for (std::size_t i = indexAt(top); i < m_rows.size() && m_rows[i].y < bottom; ++i)
            build(i);
        // Each built row is told what of it is shown, then measured.
        const bool atEnd = atNewest();
        std::optional<std::size_t> changed;
        for (std::size_t i = m_firstBuilt; i < m_endBuilt; ++i) {
            Row& row = m_rows[i];
            if (!row.view)
                continue;
            row.view->setVisibleRange(value - row.y, height, atEnd && i + 1 == m_rows.size());
            if (measure(i) && !changed)
                changed = i;
        }
        // A lazily laid out bubble keeps what it shows in place itself: the viewport follows it.
        bool anchorMoved = false;
        if (kept.index < m_rows.size() && m_rows[kept.index].view && kept.offset < m_rows[kept.index].height)
            if (const auto visibleTop = m_rows[kept.index].view->bubble()->visibleTop())
                anchorMoved = *visibleTop != kept.offset;
        if (!changed && !anchorMoved && !m_layoutAgain)
            break;
        if (changed)
            placeFrom(*changed);
        restore(kept);
    }
    releaseFarRows();
    positionViews();
    // What grew at the end while it was shown is followed.
    if (wasAtNewest && !atNewest())
        scheduleScrollToNewest();
    restartSettling(m_settleCursor);
}

bool ChatTranscriptView::isKept(std::size_t index) const
{
    const Row& row = m_rows[index];
    const int height = std::max(1, viewport()->height());
    const auto near = [&](int value) {
        return row.y + row.height > value - int(keptAround * height) && row.y < value + height + int(keptAround * height);
    };
    if (near(scrollValue()) || (isScrolling() && near(m_scroll.endValue().toInt())))
        return true;
    // What the user made of it would be lost.
    const QWidget* focus = QApplication::focusWidget();
    return row.view->bubble()->holdsSelection() || (focus && row.view->isAncestorOf(focus));
}

void ChatTranscriptView::releaseFarRows()
{
    std::size_t first = m_endBuilt;
    std::size_t end = m_firstBuilt;
    for (std::size_t i = m_firstBuilt; i < m_endBuilt; ++i) {
        if (!m_rows[i].view)
            continue;
        if (!isKept(i)) {
            release(i);
            continue;
        }
        first = std::min(first, i);
        end = i + 1;
    }
    if (first >= end)
        first = end = 0;
    m_firstBuilt = first;
    m_endBuilt = end;
}

void ChatTranscriptView::restartSettling(std::size_t from)
{
    m_settleCursor = std::min(m_settleCursor, from);
    if (m_settleCursor < m_rows.size() && !m_settle.isActive() && !isScrolling())
        m_settle.start();
}

// Rows never shown are measured a slice at a time, each built for the moment and let go, so
// that the scroll range comes to be the transcript's true height.
void ChatTranscriptView::settleSome()
{
    if (isScrolling())
        return; // taken up again once the scroll is over
    QElapsedTimer clock;
    clock.start();
    const Anchor kept = anchor();
    const int width = rowWidth();
    std::optional<std::size_t> changed;
    double slowest = 0; // the costliest row so far: the next may take as long
    while (m_settleCursor < m_rows.size() && double(clock.nsecsElapsed()) / 1e6 + slowest < sliceMilliseconds) {
        const std::size_t i = m_settleCursor++;
        Row& row = m_rows[i];
        if (row.measured || row.view || m_viewModel.messages().at(qsizetype(i)).content.size() > longestMeasuredInBackground)
            continue;
        const qint64 before = clock.nsecsElapsed();
        ChatMessageRowView* view = makeView(i);
        const int height = view->heightForWidth(width);
        delete view;
        if (height != row.height && !changed)
            changed = i;
        row.height = height;
        row.measured = true;
        slowest = std::max(slowest, double(clock.nsecsElapsed() - before) / 1e6);
    }
    if (changed) {
        placeFrom(*changed);
        restore(kept);
        layOutWindow();
    }
    restartSettling(m_settleCursor);
}

// Geometry ------------------------------------------------------------------------------------------------

// Places the rows from `index` on, each under the one before it.
void ChatTranscriptView::placeFrom(std::size_t index)
{
    index = std::min(index, m_rows.size());
    int y = index == 0 ? margin : m_rows[index - 1].y + m_rows[index - 1].height + spacing;
    for (std::size_t i = index; i < m_rows.size(); ++i) {
        m_rows[i].y = y;
        y += m_rows[i].height + spacing;
    }
    m_contentHeight = m_rows.empty() ? 2 * margin : y - spacing + margin;
    m_laidOutWidth = rowWidth();
    QScrollBar* bar = verticalScrollBar();
    const int viewportHeight = viewport()->height();
    const QScopedValueRollback guard(m_settingValue, true);
    bar->setPageStep(viewportHeight);
    bar->setRange(0, std::max(0, m_contentHeight - viewportHeight));
}

void ChatTranscriptView::positionViews()
{
    const int value = scrollValue();
    const int width = rowWidth();
    for (std::size_t i = m_firstBuilt; i < m_endBuilt; ++i) {
        const Row& row = m_rows[i];
        if (row.view)
            row.view->setGeometry(margin, row.y - value, width, row.height);
    }
}

void ChatTranscriptView::relayoutAll()
{
    const Anchor kept = anchor();
    // The rows built are measured again by the pass below.
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (!m_rows[i].view)
            unmeasure(i);
    m_settleCursor = 0;
    placeFrom(0);
    restore(kept);
    layOutWindow();
}

std::size_t ChatTranscriptView::indexAt(int y) const
{
    const auto it = std::partition_point(m_rows.begin(), m_rows.end(),
                                         [y](const Row& row) { return row.y + row.height + spacing <= y; });
    return std::size_t(it - m_rows.begin());
}

ChatTranscriptView::Anchor ChatTranscriptView::anchor() const
{
    const int value = scrollValue();
    if (m_rows.empty())
        return {0, value};
    const std::size_t index = std::min(indexAt(value), m_rows.size() - 1);
    return {index, value - m_rows[index].y};
}

void ChatTranscriptView::restore(const Anchor& anchor)
{
    // A scroll under way is not held back; it is sent on when it ends short of the newest
    // message.
    if (isScrolling())
        return;
    if (m_rows.empty()) {
        setScrollValue(0);
        return;
    }
    const Row& row = m_rows[std::min(anchor.index, m_rows.size() - 1)];
    int offset = anchor.offset;
    if (row.view && offset >= 0 && offset < row.height)
        offset = row.view->bubble()->visibleTop().value_or(offset);
    setScrollValue(row.y + offset);
}

void ChatTranscriptView::setScrollValue(int value)
{
    {
        const QScopedValueRollback guard(m_settingValue, true);
        verticalScrollBar()->setValue(value);
    }
    positionViews();
}

bool ChatTranscriptView::atNewest() const
{
    return !m_rows.empty() && scrollValue() >= newestTarget();
}

int ChatTranscriptView::newestTarget() const
{
    if (m_rows.empty())
        return 0;
    const Row& last = m_rows.back();
    const QScrollBar* bar = verticalScrollBar();
    return std::clamp(last.y + last.height - viewport()->height(), bar->minimum(), bar->maximum());
}

void ChatTranscriptView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (rowWidth() != m_laidOutWidth) {
        relayoutAll();
        return;
    }
    const Anchor kept = anchor();
    placeFrom(m_rows.size());
    restore(kept);
    layOutWindow();
}

void ChatTranscriptView::scrollContentsBy(int dx, int dy)
{
    if (m_settingValue)
        return; // whoever set the value places the rows
    viewport()->scroll(dx, dy);
    layOutWindow();
}

void ChatTranscriptView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        relayoutAll();
}

// Scrolling to the newest message ------------------------------------------------------------------------------

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
    // What the end shows is built and measured first, so that the scroll ends where the newest
    // message really ends.
    {
        const QScopedValueRollback guard(m_inLayout, true);
        const int height = std::max(1, viewport()->height());
        for (int round = 0; round < layoutRounds; ++round) {
            const Anchor kept = anchor();
            const int target = newestTarget();
            std::optional<std::size_t> changed;
            for (std::size_t i = m_rows.size(); i-- > 0 && m_rows[i].y + m_rows[i].height > target;) {
                build(i);
                m_rows[i].view->setVisibleRange(target - m_rows[i].y, height, i + 1 == m_rows.size());
                if (measure(i))
                    changed = i;
            }
            if (!changed)
                break;
            placeFrom(*changed);
            restore(kept);
        }
    }
    const int target = newestTarget();
    if (target == scrollValue() && !isScrolling()) {
        layOutWindow();
        return;
    }
    // From farther away the view comes to within a screen of the newest message at once, and
    // scrolls from there: the rows in between are not built for the frame they would show.
    const int height = std::max(1, viewport()->height());
    if (std::abs(target - scrollValue()) > height) {
        m_scroll.stop();
        setScrollValue(target > scrollValue() ? target - height : target + height);
        layOutWindow();
    }
    // A scroll under way goes on, to where the newest message ends now.
    if (isScrolling()) {
        m_scroll.setEndValue(newestTarget());
        return;
    }
    m_scroll.setStartValue(scrollValue());
    m_scroll.setEndValue(newestTarget());
    m_scroll.start();
}

} // namespace quillora::chat
