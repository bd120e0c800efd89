#include "chatview/ChatView.h"

#include "ChatStyle.h"

#include <window/ViewParts.h>

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace quillora::chat {

ChatView::ChatView(ChatViewModel& viewModel, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(&viewModel)
    , m_header(new ChatHeaderView)
    , m_statusRow(new QWidget)
    , m_status(plainLabel())
    , m_sessionCaption(plainLabel(QStringLiteral("Ready \u2022 SessionId: ")))
    , m_session(plainLabel())
    , m_banner(new ChatErrorBannerView)
    , m_transcript(new ChatTranscriptView(viewModel))
    , m_input(new ChatInputView)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_header);
    auto* status = new QHBoxLayout(m_statusRow);
    status->setContentsMargins(16, 4, 16, 10);
    status->setSpacing(0);
    for (QLabel* label : {m_status, m_sessionCaption, m_session}) {
        label->setFont(style::caption(font()));
        status->addWidget(label);
    }
    status->addStretch(1);
    column->addWidget(m_statusRow);
    column->addWidget(m_banner);
    column->addWidget(m_transcript, 1);
    column->addWidget(m_input);

    m_session->setCursor(Qt::PointingHandCursor);
    m_session->installEventFilter(this);
    m_sessionTint.setDuration(200);
    m_sessionTint.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_sessionTint, &QVariantAnimation::valueChanged, this, &ChatView::tintSession);

    m_header->onSelectProvider = [this](ChatProvider provider) {
        if (m_viewModel)
            m_viewModel->switchProvider(provider);
    };
    m_header->onNewChat = [this] {
        if (m_viewModel)
            m_viewModel->resetChat();
    };
    m_banner->onRetry = [this] {
        if (m_viewModel)
            m_viewModel->startSession();
    };
    m_input->onTextChanged = [this](const QString& text) {
        if (m_viewModel)
            m_viewModel->setDraftMessage(text);
    };
    m_input->onSend = [this] {
        if (m_viewModel)
            m_viewModel->sendDraft();
    };
    m_input->onStop = [this] {
        if (m_viewModel)
            m_viewModel->interrupt();
    };

    for (auto signal : {&ChatViewModel::isProcessReadyChanged, &ChatViewModel::currentSessionModeChanged,
                        &ChatViewModel::statusTextChanged})
        connect(&viewModel, signal, this, &ChatView::refreshStatus);
    for (auto signal : {&ChatViewModel::lastErrorChanged, &ChatViewModel::errorDetailsChanged})
        connect(&viewModel, signal, this, &ChatView::refreshBanner);
    for (auto signal : {&ChatViewModel::selectedProviderChanged, &ChatViewModel::isProcessReadyChanged,
                        &ChatViewModel::isStreamingChanged, &ChatViewModel::canSendChanged,
                        &ChatViewModel::draftMessageChanged})
        connect(&viewModel, signal, this, &ChatView::refreshInput);
    refreshStatus();
    refreshBanner();
    refreshInput();
}

// The identifier the status line shows and copies: one the tool can be given back. Another
// (a tool that reports "--dangerous-flag") is not resumed, so it is not the session's.
std::optional<QString> ChatView::shownSessionID() const
{
    const ChatViewModel& vm = *m_viewModel;
    const std::optional<QString>& id = vm.currentSessionMode().resumeSessionID;
    if (!id || !isSafeSessionID(*id) || !vm.isProcessReady() || vm.isStopping())
        return std::nullopt;
    return id;
}

void ChatView::refreshStatus()
{
    const ChatViewModel& vm = *m_viewModel;
    const std::optional<QString> sessionID = shownSessionID();
    const bool sessionRow = sessionID.has_value();
    m_status->setVisible(!sessionRow);
    m_sessionCaption->setVisible(sessionRow);
    m_session->setVisible(sessionRow);
    if (sessionRow) {
        if (!m_showCopiedFeedback)
            m_session->setText(*sessionID);
    } else {
        m_status->setText(vm.statusText());
    }
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, vm.isProcessReady() ? style::secondaryText(this->palette())
                                                                : style::tertiaryText(this->palette()));
    m_status->setPalette(palette);
    palette.setColor(QPalette::WindowText, style::secondaryText(this->palette()));
    m_sessionCaption->setPalette(palette);
    tintSession();
}

void ChatView::refreshBanner()
{
    const ChatViewModel& vm = *m_viewModel;
    m_banner->setVisible(vm.lastError().has_value());
    if (vm.lastError())
        m_banner->setMessage(*vm.lastError());
    m_banner->setDetails(vm.errorDetails());
}

void ChatView::refreshInput()
{
    const ChatViewModel& vm = *m_viewModel;
    m_header->setSelectedProvider(vm.selectedProvider());
    m_header->setReady(vm.isProcessReady());
    m_header->setProviderSelectionEnabled(!vm.isStreaming());
    m_input->setText(vm.draftMessage());
    m_input->setProviderName(displayName(vm.selectedProvider()));
    m_input->setSendEnabled(vm.canSend());
    m_input->setStreaming(vm.isStreaming());
    m_input->setInputEnabled(vm.isProcessReady());
}

void ChatView::copySessionID(const QString& sessionID)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(sessionID);
    setShowCopiedFeedback(true);
    // Earlier resets stay scheduled: the identifier comes back 1.5 s after the first copy.
    QTimer::singleShot(copiedFeedbackMs, this, [this] { setShowCopiedFeedback(false); });
}

void ChatView::setShowCopiedFeedback(bool show)
{
    if (show == m_showCopiedFeedback)
        return;
    m_showCopiedFeedback = show;
    if (show)
        m_session->setText(QStringLiteral("Copied!"));
    else if (const std::optional<QString> sessionID = m_viewModel ? shownSessionID() : std::nullopt)
        m_session->setText(*sessionID);
    m_sessionTint.stop();
    m_sessionTint.setStartValue(m_sessionTint.currentValue().isValid() ? m_sessionTint.currentValue() : QVariant(show ? 0.0 : 1.0));
    m_sessionTint.setEndValue(show ? 1.0 : 0.0);
    m_sessionTint.start();
}

// Between the secondary colour and green, as the feedback fades in and out.
void ChatView::tintSession()
{
    const double green = m_sessionTint.state() == QAbstractAnimation::Running ? m_sessionTint.currentValue().toDouble()
                                                                               : (m_showCopiedFeedback ? 1.0 : 0.0);
    const QColor from = style::secondaryText(palette());
    const QColor to = style::named(style::Named::green, palette());
    const auto mix = [green](float a, float b) { return a + (b - a) * float(green); };
    const QColor colour = QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                                           mix(from.blueF(), to.blueF()), mix(from.alphaF(), to.alphaF()));
    QPalette palette = m_session->palette();
    palette.setColor(QPalette::WindowText, colour);
    m_session->setPalette(palette);
}

bool ChatView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_session && event->type() == QEvent::MouseButtonPress && m_viewModel) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (const std::optional<QString> sessionID = shownSessionID(); mouse->button() == Qt::LeftButton && sessionID) {
            copySessionID(*sessionID);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ChatView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous() && m_viewModel)
        m_viewModel->startSession();
}

void ChatView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous() && m_viewModel)
        m_viewModel->stopSession();
}

void ChatView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_viewModel)
        refreshStatus();
}

void installChatPane(WindowFactories& factories, std::function<ChatViewModelServices()> services)
{
    factories.makeChatViewModel = [services = std::move(services)] {
        return std::make_unique<WindowChatModel>(std::make_unique<ChatViewModel>(services()));
    };
    factories.makeChatView = [fallback = WindowFactories::placeholders().makeChatView](ChatPaneModel& model) -> QWidget* {
        if (auto* chat = dynamic_cast<WindowChatModel*>(&model))
            return new ChatView(chat->viewModel());
        return fallback(model);
    };
}

} // namespace quillora::chat
