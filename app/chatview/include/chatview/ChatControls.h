#pragma once

#include "chatview/ChatComposerTextView.h"

#include <chat/ChatModels.h>

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace quillora {
class FlatPicker;
}

namespace quillora::chat {

// The chat pane's top row: the provider picker (Codex, then Claude) and "New Chat", which only
// works while a session is ready.
class ChatHeaderView : public QWidget {
    Q_OBJECT
public:
    explicit ChatHeaderView(QWidget* parent = nullptr);

    void setSelectedProvider(ChatProvider provider);
    void setReady(bool ready);
    void setProviderSelectionEnabled(bool enabled);

    std::function<void(ChatProvider)> onSelectProvider;
    std::function<void()> onNewChat;

    FlatPicker* picker() const { return m_picker; }
    QPushButton* newChatButton() const { return m_newChat; }

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void tint();

    FlatPicker* m_picker;
    QPushButton* m_newChat;
};

// The input row: the composer with its placeholder ("Ask Codex...") and, over its corner,
// "Send" (also Ctrl+Return) or, while a reply streams, "Stop".
class ChatInputView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumComposerHeight = 68;
    static constexpr int maximumComposerHeight = 110;

    explicit ChatInputView(QWidget* parent = nullptr);

    void setText(const QString& text);
    void setProviderName(const QString& name);
    void setSendEnabled(bool enabled);
    void setStreaming(bool streaming);
    void setInputEnabled(bool enabled);

    std::function<void(const QString&)> onTextChanged;
    std::function<void()> onSend;
    std::function<void()> onStop;

    ChatComposerTextView* composer() const { return m_composer; }
    QPushButton* sendButton() const { return m_send; }
    QPushButton* stopButton() const { return m_stop; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void send();
    void changeButtons(const std::function<void()>& change);
    void fitComposer();
    QRect boxRect() const;

    ChatComposerTextView* m_composer;
    QPushButton* m_send;
    QPushButton* m_stop;
    bool m_sendEnabled = false;
};

// The error banner: the message with a warning sign and "Retry", and the tool's error output
// under "Details" when there is any, in a box as tall as its text up to a maximum, past which
// it scrolls. Every text is plain.
class ChatErrorBannerView : public QWidget {
    Q_OBJECT
public:
    static constexpr int maximumDetailsHeight = 160;

    explicit ChatErrorBannerView(QWidget* parent = nullptr);

    void setMessage(const QString& message);
    void setDetails(const std::optional<QString>& details);
    std::function<void()> onRetry;

    QLabel* messageLabel() const { return m_message; }
    QPushButton* retryButton() const { return m_retry; }
    QToolButton* detailsToggle() const { return m_toggle; }
    QPlainTextEdit* detailsView() const { return m_detailsView; }
    void setDetailsExpanded(bool expanded);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showDetails();
    void fitDetails();
    void tint();

    QLabel* m_icon;
    QLabel* m_message;
    QPushButton* m_retry;
    QToolButton* m_toggle;
    QPlainTextEdit* m_detailsView;
    QString m_details;
    QString m_shownDetails;
};

} // namespace quillora::chat
