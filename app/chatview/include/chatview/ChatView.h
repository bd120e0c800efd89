#pragma once

#include "chatview/ChatControls.h"
#include "chatview/ChatTranscriptView.h"

#include <chat/ChatViewModel.h>

#include <window/PaneFactories.h>

#include <QPointer>
#include <QTimer>
#include <QVariantAnimation>

class QLabel;

namespace quillora::chat {

// The whole chat pane over its view model: the header, the status line (with the session
// identifier to copy once a session resumes with one that can be passed on, "Stopping…" while a
// stopped tool is ending), the error banner while there is an error, the
// transcript and the input row. Shown, it starts the session; hidden by the application (not
// by the window system, as when the window is minimised), it stops it.
class ChatView : public QWidget {
    Q_OBJECT
public:
    static constexpr int copiedFeedbackMs = 1500;

    explicit ChatView(ChatViewModel& viewModel, QWidget* parent = nullptr);

    ChatHeaderView* header() const { return m_header; }
    ChatErrorBannerView* banner() const { return m_banner; }
    ChatTranscriptView* transcript() const { return m_transcript; }
    ChatInputView* input() const { return m_input; }
    // The plain status text, or the session row's label and identifier.
    QLabel* statusLabel() const { return m_status; }
    QLabel* sessionLabel() const { return m_session; }
    bool showsCopiedFeedback() const { return m_showCopiedFeedback; }

    // Puts the session identifier on the clipboard and says "Copied!" for a moment.
    void copySessionID(const QString& sessionID);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::optional<QString> shownSessionID() const;
    void refreshStatus();
    void refreshBanner();
    void refreshInput();
    void setShowCopiedFeedback(bool show);
    void tintSession();

    QPointer<ChatViewModel> m_viewModel;
    ChatHeaderView* m_header;
    QWidget* m_statusRow;
    QLabel* m_status;
    QLabel* m_sessionCaption;
    QLabel* m_session;
    ChatErrorBannerView* m_banner;
    ChatTranscriptView* m_transcript;
    ChatInputView* m_input;
    bool m_showCopiedFeedback = false;
    QVariantAnimation m_sessionTint; // 0: the secondary colour, 1: green
};

// The window's chat model: it owns the chat view model and lets the window set its folder.
class WindowChatModel final : public ChatPaneModel {
public:
    explicit WindowChatModel(std::unique_ptr<ChatViewModel> viewModel) : m_viewModel(std::move(viewModel)) {}
    std::optional<QUrl> workingDirectoryURL() const override { return m_viewModel->workingDirectoryURL(); }
    void setWorkingDirectoryURL(const std::optional<QUrl>& url) override { m_viewModel->setWorkingDirectoryURL(url); }
    ChatViewModel& viewModel() const { return *m_viewModel; }

private:
    std::unique_ptr<ChatViewModel> m_viewModel;
};

// Makes the window's chat model (the standard user defaults and the two tools' resolvers) and
// the chat pane over it.
void installChatPane(WindowFactories& factories,
                     std::function<ChatViewModelServices()> services = [] { return ChatViewModelServices::standard(); });

} // namespace quillora::chat
