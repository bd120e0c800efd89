#include "chatview/ChatControls.h"

#include "ChatStyle.h"

#include <window/FlatPickerView.h>
#include <window/SymbolIcons.h>
#include <window/ViewParts.h>

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quillora::chat {
namespace {

// A click on a button of the pane leaves the keyboard where it was (in the composer, say);
// Tab still reaches the button.
void keepFocusOnClick(QWidget* button)
{
    button->setFocusPolicy(Qt::TabFocus);
}

} // namespace

// Header ----------------------------------------------------------------------------------------------

ChatHeaderView::ChatHeaderView(QWidget* parent)
    : QWidget(parent)
    , m_picker(new FlatPicker)
    , m_newChat(new QPushButton(QStringLiteral("New Chat")))
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(12);
    row->addWidget(m_picker, 0, Qt::AlignTop);
    row->addStretch(1);
    row->addWidget(m_newChat, 0, Qt::AlignTop);
    m_newChat->setFlat(true);
    m_newChat->setEnabled(false);
    keepFocusOnClick(m_picker);
    keepFocusOnClick(m_newChat);
    // Every pick is reported, the current provider too: with no session that starts one.
    QStringList titles;
    for (const ChatProvider provider : allChatProviders)
        titles.append(displayName(provider));
    m_picker->setRows(titles);
    m_picker->setMaxWidth(130);
    connect(m_picker, &FlatPicker::rowPicked, this, [this](int row) {
        if (onSelectProvider && row >= 0 && row < int(allChatProviders.size()))
            onSelectProvider(allChatProviders[std::size_t(row)]);
    });
    setSelectedProvider(ChatProvider::codex);
    connect(m_newChat, &QPushButton::clicked, this, [this] {
        if (onNewChat)
            onNewChat();
    });
    tint();
}

// Disabled controls are drawn in the secondary text colour of the header's own palette: the
// palette's disabled colours can come close to the fill (a dark palette's mid grey does).
void ChatHeaderView::tint()
{
    const auto css = [](const QColor& colour) {
        return QStringLiteral("rgba(%1, %2, %3, %4)")
            .arg(colour.red())
            .arg(colour.green())
            .arg(colour.blue())
            .arg(colour.alphaF(), 0, 'f', 3);
    };
    const QColor primary = palette().color(QPalette::Active, QPalette::WindowText);
    const QColor disabled = style::secondaryText(palette());
    m_newChat->setStyleSheet(
        QStringLiteral("QPushButton { padding: 8px 12px; border: none; border-radius: 10px; background: %1; color: %2; }"
                       "QPushButton:disabled { color: %3; }")
            .arg(css(style::withOpacity(primary, 0.08)), css(primary), css(disabled)));
    QPalette picker;
    picker.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    m_picker->setPalette(picker);
}

void ChatHeaderView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint();
}

void ChatHeaderView::setSelectedProvider(ChatProvider provider)
{
    const int row = int(std::find(allChatProviders.begin(), allChatProviders.end(), provider) - allChatProviders.begin());
    if (row != m_picker->currentRow())
        m_picker->setCurrent(row, displayName(provider));
}

void ChatHeaderView::setReady(bool ready)
{
    m_newChat->setEnabled(ready);
}

void ChatHeaderView::setProviderSelectionEnabled(bool enabled)
{
    m_picker->setEnabled(enabled);
}

void ChatHeaderView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), style::withOpacity(palette().color(QPalette::Window), 0.85));
}

// Input row -------------------------------------------------------------------------------------------

namespace {
constexpr int outerPadding = 12;
constexpr int buttonInset = 8;
constexpr int composerTrailingRoom = 72;
} // namespace

ChatInputView::ChatInputView(QWidget* parent)
    : QWidget(parent)
    , m_composer(new ChatComposerTextView(this))
    , m_send(new QPushButton(QStringLiteral("Send"), this))
    , m_stop(new QPushButton(QStringLiteral("Stop"), this))
{
    m_composer->onTextEdited = [this](const QString& text) {
        if (onTextChanged)
            onTextChanged(text);
        fitComposer();
    };
    // The flag is the one the row last received.
    m_composer->onSubmit = [this] { send(); };
    connect(m_send, &QPushButton::clicked, this, &ChatInputView::send);
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (onStop)
            onStop();
    });
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] {
        if (m_send->isVisible())
            send();
    });
    keepFocusOnClick(m_send);
    keepFocusOnClick(m_stop);
    m_send->setEnabled(false);
    m_stop->hide();
    setProviderName(displayName(ChatProvider::codex));
    fitComposer();
}

void ChatInputView::send()
{
    if (m_sendEnabled && onSend)
        onSend();
}

void ChatInputView::setText(const QString& text)
{
    m_composer->setText(text);
    fitComposer();
}

void ChatInputView::setProviderName(const QString& name)
{
    const QString placeholder = QStringLiteral("Ask ") + name + QStringLiteral("...");
    if (placeholder == m_composer->placeholderText())
        return;
    m_composer->setPlaceholderText(placeholder);
    // The text edit repaints only when the placeholder appears or goes, not when it changes.
    m_composer->viewport()->update();
}

void ChatInputView::setSendEnabled(bool enabled)
{
    m_sendEnabled = enabled;
    changeButtons([&] { m_send->setEnabled(enabled); });
}

void ChatInputView::setStreaming(bool streaming)
{
    changeButtons([&] {
        m_send->setVisible(!streaming);
        m_stop->setVisible(streaming);
    });
}

// A button reached with Tab and pressed may go or turn off: the keyboard then goes back to the
// composer rather than on to whatever follows the pane.
void ChatInputView::changeButtons(const std::function<void()>& change)
{
    const bool buttonHadFocus = m_send->hasFocus() || m_stop->hasFocus();
    change();
    if (buttonHadFocus && !m_send->hasFocus() && !m_stop->hasFocus())
        m_composer->setFocus(Qt::OtherFocusReason);
}

void ChatInputView::setInputEnabled(bool enabled)
{
    m_composer->setEditable(enabled);
}

QRect ChatInputView::boxRect() const
{
    return rect().adjusted(outerPadding, outerPadding, -outerPadding, -outerPadding);
}

// The composer grows with its lines from the minimum height to the maximum, then scrolls.
void ChatInputView::fitComposer()
{
    const int lines = std::max(1, m_composer->document()->lineCount());
    const int wanted = lines * m_composer->fontMetrics().lineSpacing() + 2 * 10 + 4;
    const int height = std::clamp(wanted, minimumComposerHeight, maximumComposerHeight);
    setFixedHeight(height + 2 * outerPadding);
}

void ChatInputView::resizeEvent(QResizeEvent*)
{
    const QRect box = boxRect();
    m_composer->setGeometry(box.adjusted(1, 1, -composerTrailingRoom, -1));
    for (QPushButton* button : {m_send, m_stop}) {
        const QSize size = button->sizeHint();
        button->setGeometry(box.right() + 1 - buttonInset - size.width(), box.bottom() + 1 - buttonInset - size.height(),
                            size.width(), size.height());
    }
}

void ChatInputView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), style::withOpacity(palette().color(QPalette::Window), 0.85));
    style::paintPanel(painter, boxRect(), palette().color(QPalette::Base),
                      style::withOpacity(style::secondaryText(palette()), 0.35));
}

// Error banner ------------------------------------------------------------------------------------------

ChatErrorBannerView::ChatErrorBannerView(QWidget* parent)
    : QWidget(parent)
    , m_icon(new QLabel)
    , m_message(plainLabel())
    , m_retry(new QPushButton(QStringLiteral("Retry")))
    , m_toggle(new QToolButton)
    , m_detailsView(new QPlainTextEdit)
{
    auto* outer = new QVBoxLayout(this);
    // The banner is inset on the sides and below, and its own content by 12 more.
    outer->setContentsMargins(12 + 12, 12, 12 + 12, 12 + 12);
    outer->setSpacing(8);
    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(m_icon, 0, Qt::AlignTop);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(m_message, 1);
    top->addWidget(m_retry, 0, Qt::AlignVCenter);
    keepFocusOnClick(m_retry);
    outer->addLayout(top);

    m_toggle->setText(QStringLiteral("Details"));
    m_toggle->setCheckable(true);
    m_toggle->setAutoRaise(true);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setArrowType(Qt::RightArrow);
    keepFocusOnClick(m_toggle);
    outer->addWidget(m_toggle, 0, Qt::AlignLeft);
    m_detailsView->setReadOnly(true);
    m_detailsView->setFrameShape(QFrame::NoFrame);
    m_detailsView->setFont(style::caption(font()));
    m_detailsView->viewport()->setAutoFillBackground(false);
    m_detailsView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_detailsView->hide();
    outer->addWidget(m_detailsView);
    // The open box is as tall as its text, wrapped at its width, up to the maximum.
    connect(m_detailsView->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &ChatErrorBannerView::fitDetails);

    connect(m_toggle, &QToolButton::toggled, this, &ChatErrorBannerView::setDetailsExpanded);
    connect(m_retry, &QPushButton::clicked, this, [this] {
        if (onRetry)
            onRetry();
    });
    setDetails(std::nullopt);
    tint();
}

void ChatErrorBannerView::setMessage(const QString& message)
{
    m_message->setText(message);
}

void ChatErrorBannerView::setDetails(const std::optional<QString>& details)
{
    m_details = details.value_or(QString());
    const bool any = !m_details.isEmpty();
    m_toggle->setVisible(any);
    if (!any)
        setDetailsExpanded(false);
    if (m_detailsView->isVisible())
        showDetails();
}

void ChatErrorBannerView::setDetailsExpanded(bool expanded)
{
    if (m_toggle->isChecked() != expanded)
        m_toggle->setChecked(expanded);
    m_toggle->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
    m_detailsView->setVisible(expanded);
    if (expanded)
        showDetails();
}

// The details are put in the text view only while it is open; text that grew at its end is
// appended, so that what the user reads stays where it is.
void ChatErrorBannerView::showDetails()
{
    if (m_details == m_shownDetails)
        return;
    if (!m_shownDetails.isEmpty() && m_details.startsWith(m_shownDetails)) {
        QTextCursor cursor(m_detailsView->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(m_details.mid(m_shownDetails.size()));
    } else {
        m_detailsView->setPlainText(m_details);
    }
    m_shownDetails = m_details;
    fitDetails();
}

void ChatErrorBannerView::fitDetails()
{
    const QTextDocument* document = m_detailsView->document();
    const QAbstractTextDocumentLayout* layout = document->documentLayout();
    int height = 2 * (m_detailsView->frameWidth() + int(std::ceil(document->documentMargin())));
    for (QTextBlock block = document->begin(); block.isValid() && height < maximumDetailsHeight; block = block.next())
        height += int(std::ceil(layout->blockBoundingRect(block).height()));
    m_detailsView->setFixedHeight(std::min(height, maximumDetailsHeight));
}

void ChatErrorBannerView::tint()
{
    const QColor secondary = style::secondaryText(palette());
    QPalette details = m_detailsView->palette();
    details.setColor(QPalette::Text, secondary);
    details.setColor(QPalette::Base, Qt::transparent);
    m_detailsView->setPalette(details);
    m_icon->setPixmap(symbolPixmap(QStringLiteral("exclamationmark.triangle"), palette().color(QPalette::WindowText), 16,
                                   devicePixelRatioF()));
}

void ChatErrorBannerView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        tint();
}

void ChatErrorBannerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF panel = QRectF(rect()).adjusted(12, 0, -12, -12);
    style::paintPanel(painter, panel, style::named(style::Named::red, palette(), 0.08),
                      style::named(style::Named::red, palette(), 0.3), false);
}

} // namespace quillora::chat
