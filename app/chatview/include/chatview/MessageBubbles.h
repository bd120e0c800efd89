#pragma once

#include <chat/ChatModels.h>

#include <markdown/MarkdownContent.h>

#include <QTimer>
#include <QWidget>

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
class ChatMarkdownBubbleView : public MessageBubble {
    Q_OBJECT
public:
    static constexpr std::size_t blocksPerStep = 6;

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
    // Whether every block of the text is shown (a long one joins in steps).
    bool isComplete() const { return m_shownBlocks == m_content.blocks().size(); }
    // The bubble spans the width it is given; its panel, within it, hugs the text.
    QSize sizeFor(int width) const override;
    QRect panelRect() const;
    void layoutContent() override;
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
    void showMoreBlocks();
    void fitTextWidth();

    std::function<Look(const QPalette&)> m_look;
    mddoc::Markdown* m_markdown;
    QString m_text;
    bool m_hasContent = false;
    markdown::MarkdownContent m_content;
    std::size_t m_shownBlocks = 0;
    QTimer m_nextBlocks;
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
