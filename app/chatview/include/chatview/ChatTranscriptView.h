#pragma once

#include "chatview/MessageBubbles.h"

#include <chat/ChatViewModel.h>

#include <QAbstractScrollArea>
#include <QPropertyAnimation>
#include <QTimer>

#include <optional>
#include <vector>

namespace quillora::chat {

// One transcript message in the form its role and flags call for: user text at the trailing
// side, answers, tool calls, thinking, processing and parsing errors at the leading side, and
// notices centred.
class ChatMessageRowView : public QWidget {
    Q_OBJECT
public:
    enum class Kind { user, assistant, tool, parsingError, processing, thinking, notice };
    static Kind kindOf(const ChatMessageModel& message);
    // About how tall a row of the message is at a width, without building it: from the length
    // and lines of its text, exact for tool calls (collapsed) and the processing bubble.
    static int estimatedHeight(const ChatMessageModel& message, int width, const QFont& font);
    static bool isEstimateExact(const ChatMessageModel& message);

    // Given the width it will have, the row lays its message out once, at that width.
    explicit ChatMessageRowView(const ChatMessageModel& message, int width = 0, QWidget* parent = nullptr);

    QUuid id() const { return m_id; }
    Kind kind() const { return m_kind; }
    MessageBubble* bubble() const { return m_bubble; }
    // Takes the message's new state in place; a message whose kind changed gets a new bubble.
    void setMessage(const ChatMessageModel& message);
    // Measured once per width until the bubble's size changes.
    int heightForWidth(int width) const override;
    // See MessageBubble::setVisibleRange.
    void setVisibleRange(int top, int height, bool atEnd);

signals:
    void sizeChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void makeBubble();
    void placeBubble();

    QUuid m_id;
    Kind m_kind;
    MessageBubble* m_bubble = nullptr;
    mutable int m_measuredWidth = -1;
    mutable int m_measuredHeight = 0;
};

// The scrolling transcript: one row per message, keyed by the message's id and updated in
// place. It is built lazily, as the lazy document is: only the rows in and near the viewport
// are built; the others keep the height they measured when they were last built, or an
// estimate until a slice of background work (while the event loop is idle) has measured them,
// and a built row that falls a few screens behind gives its layout back (unless it holds a
// selection or the focus). While heights change, what the viewport shows stays where it is.
// Whenever the number of messages or the update token changes (not when first shown), it
// scrolls, over 0.15 s, to bring the bottom of the newest message into view; from farther than
// a screen away it comes to within a screen of it at once, and scrolls from there.
class ChatTranscriptView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int spacing = 12;
    static constexpr int margin = 12;
    static constexpr int scrollDuration = 150; // ms
    // In viewport heights above and below the viewport: the rows built before they are shown,
    // and how far a built row may be from it before it is let go.
    static constexpr double builtAround = 1;
    static constexpr double keptAround = 3;

    explicit ChatTranscriptView(ChatViewModel& viewModel, QWidget* parent = nullptr);

    int rowCount() const { return int(m_rows.size()); }
    // The row's view; null while the row is not built.
    ChatMessageRowView* row(int index) const { return m_rows.at(std::size_t(index)).view; }
    // Whether the row's height is the one it measured, rather than an estimate.
    bool isMeasured(int index) const { return m_rows.at(std::size_t(index)).measured; }
    int builtCount() const;
    // Where the row lies in the content, which starts at 0 at the top of the scrolled area.
    QRect rowGeometry(int index) const;
    int contentHeight() const { return m_contentHeight; }
    bool isScrolling() const { return m_scroll.state() == QAbstractAnimation::Running; }
    // No row is waiting to be measured, nor a built bubble to finish its lazy layout.
    bool isSettled() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    struct Row {
        ChatMessageRowView* view = nullptr;
        int y = 0;
        int height = 0;
        bool measured = false;
        bool toolExpanded = false; // the user's choice, kept while the row is let go
    };
    // A row and the distance of the viewport's top below the row's top.
    struct Anchor {
        std::size_t index = 0;
        int offset = 0;
    };

    void insertRow(int index);
    void updateRow(int index);
    void removeRow(int index);
    void resetRows();

    ChatMessageRowView* makeView(std::size_t index);
    void build(std::size_t index);
    void release(std::size_t index);
    // Takes a built row's height; true when it changed.
    bool measure(std::size_t index);
    // A row not built whose message or width changed: an estimate, unless it measured before.
    void unmeasure(std::size_t index);
    // Builds what is in and near the viewport and measures every built row, again until
    // nothing changes, keeping what the viewport shows in place; then lets go of far rows.
    void layOutWindow();
    void releaseFarRows();
    bool isKept(std::size_t index) const;
    // A slice of measuring rows in the background.
    void settleSome();
    void restartSettling(std::size_t from);

    // The rows' positions from `index` on, the content's height and the scroll range.
    void placeFrom(std::size_t index);
    void positionViews();
    void relayoutAll();
    int rowWidth() const;
    int scrollValue() const;
    // The first row whose extent (with the spacing below it) reaches below `y`.
    std::size_t indexAt(int y) const;
    Anchor anchor() const;
    // Puts the viewport back where the anchor says, after heights changed.
    void restore(const Anchor& anchor);
    void setScrollValue(int value);
    // The scroll value at which the newest message's bottom is in view, and whether the
    // viewport is there (or below).
    int newestTarget() const;
    bool atNewest() const;

    void scheduleScrollToNewest();
    void scrollToNewest();

    ChatViewModel& m_viewModel;
    std::vector<Row> m_rows;
    // Every built row lies in [m_firstBuilt, m_endBuilt).
    std::size_t m_firstBuilt = 0;
    std::size_t m_endBuilt = 0;
    int m_contentHeight = 2 * margin;
    int m_laidOutWidth = -1;
    bool m_settingValue = false;
    bool m_inLayout = false;
    bool m_layoutAgain = false;
    bool m_scrollPending = false;
    std::size_t m_settleCursor = 0; // rows before it are measured
    QTimer m_settle;
    QPropertyAnimation m_scroll;
};

} // namespace quillora::chat
