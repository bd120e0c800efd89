#pragma once

#include "chatview/MessageBubbles.h"

#include <chat/ChatViewModel.h>

#include <QAbstractScrollArea>
#include <QPointer>
#include <QPropertyAnimation>

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

    // Given the width it will have, the row lays its message out once, at that width.
    explicit ChatMessageRowView(const ChatMessageModel& message, int width = 0, QWidget* parent = nullptr);

    QUuid id() const { return m_id; }
    Kind kind() const { return m_kind; }
    MessageBubble* bubble() const { return m_bubble; }
    // Takes the message's new state in place; a message whose kind changed gets a new bubble.
    void setMessage(const ChatMessageModel& message);
    int heightForWidth(int width) const override;

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
};

// The scrolling transcript: one row per message, keyed by the message's id and updated in
// place. Rows are placed by hand: a message added or changed at the end moves nothing above
// it, and only the rows near the visible part are shown, so the cost of an event does not grow
// with the transcript. Whenever the number of
// messages or the update token changes (not when first shown), it scrolls, over 0.15 s, to
// bring the bottom of the newest message into view.
class ChatTranscriptView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int spacing = 12;
    static constexpr int margin = 12;
    static constexpr int scrollDuration = 150; // ms

    explicit ChatTranscriptView(ChatViewModel& viewModel, QWidget* parent = nullptr);

    int rowCount() const { return int(m_rows.size()); }
    ChatMessageRowView* row(int index) const { return m_rows.at(std::size_t(index)).view; }
    // Where the row lies in the content, which starts at 0 at the top of the scrolled area.
    QRect rowGeometry(int index) const;
    int contentHeight() const { return m_contentHeight; }
    bool isScrolling() const { return m_scroll.state() == QAbstractAnimation::Running; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    struct Row {
        ChatMessageRowView* view;
        int y = 0;
        int height = 0;
    };

    void insertRow(int index);
    void updateRow(int index);
    void removeRow(int index);
    void resetRows();
    void rowSizeChanged(ChatMessageRowView* view);
    // Measures the row again and moves the rows below it when its height changed.
    void remeasure(std::size_t index);
    void placeFrom(std::size_t index);
    void relayoutAll();
    void updateScrollRange();
    // Shows the rows near the visible part and hides the rest: drawing walks only what is shown.
    void updateShownRows();
    void scheduleScrollToNewest();
    void scrollToNewest();
    int rowWidth() const;

    ChatViewModel& m_viewModel;
    QWidget* m_content;
    std::vector<Row> m_rows;
    int m_contentHeight = 2 * margin;
    int m_laidOutWidth = -1;
    std::size_t m_firstShown = 0; // the shown rows: [m_firstShown, m_endShown)
    std::size_t m_endShown = 0;
    bool m_scrollPending = false;
    QPropertyAnimation m_scroll;
};

} // namespace quillora::chat
