#pragma once

#include <chat/ChatModels.h>

#include <markdown/MarkdownContent.h>

#include <QTimer>
#include <QWidget>

#include <optional>

class QLabel;
class QPlainTextEdit;

namespace mddoc {
class Markdown;
}

namespace quillora::chat {

// The document without remote fetches: every image becomes a link to its source whose text is
// the image's alt text (the source when there is none), and an image inside a link keeps only
// its text, under that link. Images meant for the other colour scheme are left out.
markdown::MarkdownContent imagesAsLinks(const markdown::MarkdownContent& content, bool darkScheme);

// One message drawn in a transcript row. A bubble takes the size it needs within the width it
// may use, and says when that size may have changed.
class MessageBubble : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void setMessage(const ChatMessageModel& message) = 0;
    // The bubble's size when it may be at most `width` wide.
    virtual QSize sizeFor(int width) const = 0;
    // Places the bubble's content within its current geometry.
    virtual void layoutContent() {}
    // What of the bubble the transcript shows: from `top` (in the bubble's coordinates, maybe
    // past either end) over `height`, or its end with `atEnd`. A bubble laid out lazily lays
    // out that part first; true when that changed its size.
    virtual bool setVisibleRange(int /*top*/, int /*height*/, bool /*atEnd*/) { return false; }
    // Where the top of the part shown stands now, for a bubble laid out lazily: it moves while
    // heights above it settle.
    virtual std::optional<int> visibleTop() const { return std::nullopt; }
    // The user made something of it that a rebuilt bubble would lose (a selection).
    virtual bool holdsSelection() const { return false; }

signals:
    void sizeChanged();

protected:
    bool event(QEvent* event) override;
};

// A spinning indicator that turns only while it is shown.
class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(const QColor& colour, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {14, 14}; }
    bool isSpinning() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QColor m_colour;
    QTimer m_timer;
    int m_step = 0;
};

// Markdown in a rounded bubble: user and assistant messages (a fill only) and thinking text.
// A text of many blocks is laid out lazily: the part the transcript shows first, the rest a
// slice at a time while the event loop is idle, each block once, and blocks far from what is
// shown give their layout back.
class ChatMarkdownBubbleView : public MessageBubble {
    Q_OBJECT
public:
    static constexpr std::size_t lazyBlockCount = 64;

    struct Look {
        QColor fill;
        QColor stroke; // invalid: none
        bool calloutItalic = false;
        bool trailing = false; // the panel sits at the trailing side
    };
    explicit ChatMarkdownBubbleView(std::function<Look(const QPalette&)> look, QWidget* parent = nullptr);

    void setMessage(const ChatMessageModel& message) override { setText(message.content); }
    void setText(const QString& text);
    QString text() const { return m_text; }
    // Whether the text is laid out lazily, and whether every block of it has been measured.
    bool isLazy() const { return m_lazy; }
    bool isSettled() const;
    // The bubble spans the width it is given; its panel, within it, hugs the text.
    QSize sizeFor(int width) const override;
    QRect panelRect() const;
    void layoutContent() override;
    bool setVisibleRange(int top, int height, bool atEnd) override;
    std::optional<int> visibleTop() const override;
    bool holdsSelection() const override;
    mddoc::Markdown* markdown() const { return m_markdown; }

protected:
    // The whole bubble, text included, drawn at an opacity.
    void setOpacity(double opacity);
    double opacity() const { return m_opacity; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyContent();
    void fitTextWidth();

    std::function<Look(const QPalette&)> m_look;
    mddoc::Markdown* m_markdown;
    QString m_text;
    bool m_hasContent = false;
    bool m_lazy = false;
    double m_opacity = 1;
};

// Thinking text: a Markdown bubble that pulses while the thinking is still open. Every pending
// bubble pulses in step with the wall clock; a closed one stands still at full opacity.
class ThinkingMessageBubbleView : public ChatMarkdownBubbleView {
    Q_OBJECT
public:
    explicit ThinkingMessageBubbleView(QWidget* parent = nullptr);
    void setMessage(const ChatMessageModel& message) override;
    bool isPending() const { return m_pending; }
    bool isPulsing() const;
    using ChatMarkdownBubbleView::opacity;

    // The opacity of a pending bubble at a time: 0.35 to 1, period 1.1 s.
    static double pulseOpacity(const QDateTime& time);

private:
    void setPending(bool pending);
    void pulse();

    bool m_pending = false;
    QTimer m_pulse;
};

// One tool call with its result, collapsed at first. The body is built and laid out only once
// the user opens it, so a multi-megabyte output costs nothing while collapsed.
class ToolMessageBubbleView : public MessageBubble {
    Q_OBJECT
public:
    static constexpr int maxWidth = 560;
    static constexpr int maxBodyHeight = 320;

    explicit ToolMessageBubbleView(QWidget* parent = nullptr);
    void setMessage(const ChatMessageModel& message) override;
    QSize sizeFor(int width) const override;
    bool holdsSelection() const override;
    // The height of a collapsed bubble (also of the processing bubble: a caption line and a
    // mark in a padded block) in a font.
    static int collapsedHeight(const QFont& font);

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded);
    // The body's text: the content trimmed, or "(empty)".
    QString displayedBody() const;
    QString label() const { return m_label; }
    // "Pending", "Completed" or "No result": what the status mark says.
    QString statusName() const;
    QPlainTextEdit* body() const { return m_body; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int headerHeight() const;
    int bodyHeight() const;
    void layoutChildren();

    QString m_label;
    QString m_content;
    bool m_pending = false;
    bool m_hasResult = false;
    bool m_expanded = false;
    BusyIndicator* m_spinner;
    QWidget* m_mark;
    QPlainTextEdit* m_body = nullptr;
};

// The working indicator: a spinner and a caption.
class ProcessingMessageBubbleView : public MessageBubble {
    Q_OBJECT
public:
    explicit ProcessingMessageBubbleView(QWidget* parent = nullptr);
    void setMessage(const ChatMessageModel& message) override;
    QSize sizeFor(int width) const override;
    BusyIndicator* spinner() const { return m_spinner; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_text;
    BusyIndicator* m_spinner;
};

// A line of the tool's output that did not parse, under the title "Parsing error".
class ParsingErrorBubbleView : public MessageBubble {
    Q_OBJECT
public:
    explicit ParsingErrorBubbleView(QWidget* parent = nullptr);
    void setMessage(const ChatMessageModel& message) override;
    QSize sizeFor(int width) const override;
    bool holdsSelection() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* m_title;
    QLabel* m_text;
};

// A notice of the session ("New Chat", "Switched to Codex"): a centred caption line.
class SystemNoticeView : public MessageBubble {
    Q_OBJECT
public:
    explicit SystemNoticeView(QWidget* parent = nullptr);
    void setMessage(const ChatMessageModel& message) override;
    QSize sizeFor(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* m_label;
};

} // namespace quillora::chat
