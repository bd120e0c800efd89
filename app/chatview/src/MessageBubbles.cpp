#include "chatview/MessageBubbles.h"

#include "ChatStyle.h"

#include <mddoc/Markdown.h>
#include <mdview/Host.h>
#include <mdview/InlineRendering.h>
#include <mdview/RenderNode.h>
#include <mdview/TextStyle.h>
#include <mdview/Theme.h>

#include <markdown/InlineRewrite.h>

#include <window/ViewParts.h>

#include <QDateTime>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimeZone>

#include <cmath>
#include <numbers>

namespace quillora::chat {

using markdown::InlineNode;

namespace {

constexpr int padding = 10;
constexpr int defaultVisibleHeight = 800;

// Longer texts are cut for display: a label cannot lay out megabytes.
QString displayable(const QString& text)
{
    constexpr qsizetype limit = 20000;
    return text.size() <= limit ? text : text.left(limit) + QStringLiteral("\u2026");
}

// The widest line of a text in a font.
int naturalWidth(const QFontMetrics& metrics, const QString& text)
{
    int width = 0;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n')))
        width = std::max(width, metrics.horizontalAdvance(line.toString()));
    return width;
}

} // namespace

markdown::MarkdownContent imagesAsLinks(const markdown::MarkdownContent& content, bool darkScheme)
{
    const mdview::ColorScheme scheme = darkScheme ? mdview::ColorScheme::dark : mdview::ColorScheme::light;
    const markdown::InlineRewriter rewriter = [scheme](InlineNode node) -> std::vector<InlineNode> {
        if (const auto* image = node.as<InlineNode::Image>()) {
            if (mdview::filterImagesByColorScheme(node, scheme).empty())
                return {};
            std::vector<InlineNode> text = image->children;
            if (markdown::collectInlineText(text).empty())
                text = {InlineNode::text(image->source)};
            return {InlineNode::link(image->source, std::move(text))};
        }
        if (const auto* link = node.as<InlineNode::Link>()) {
            // Links never hold links, so any inside were images: their text goes under this one.
            std::vector<InlineNode> children;
            for (const InlineNode& child : link->children) {
                if (const auto* inner = child.as<InlineNode::Link>())
                    children.insert(children.end(), inner->children.begin(), inner->children.end());
                else
                    children.push_back(child);
            }
            return {InlineNode::link(link->destination, std::move(children))};
        }
        return {std::move(node)};
    };
    return markdown::MarkdownContent(markdown::rewriteInlinesInBlocks(content.blocks(), rewriter));
}

bool MessageBubble::event(QEvent* event)
{
    // A child asked for another size (its content or font changed).
    if (event->type() == QEvent::LayoutRequest)
        emit sizeChanged();
    return QWidget::event(event);
}

// Spinner ---------------------------------------------------------------------------------------

BusyIndicator::BusyIndicator(const QColor& colour, QWidget* parent) : QWidget(parent), m_colour(colour)
{
    setFixedSize(sizeHint());
    setAccessibleName(QStringLiteral("Pending"));
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 8;
        update();
    });
}

void BusyIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < 8; ++i) {
        const double age = (m_step - i + 8) % 8;
        QPen pen(style::withOpacity(m_colour, 1.0 - age * 0.11), 1.6, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        const double angle = i * std::numbers::pi / 4;
        painter.drawLine(QPointF(std::cos(angle) * 3.2, std::sin(angle) * 3.2),
                         QPointF(std::cos(angle) * 6.0, std::sin(angle) * 6.0));
    }
}

void BusyIndicator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void BusyIndicator::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}

// Markdown bubbles ------------------------------------------------------------------------------

ChatMarkdownBubbleView::ChatMarkdownBubbleView(std::function<Look(const QPalette&)> look, QWidget* parent)
    : MessageBubble(parent)
    , m_look(std::move(look))
    , m_markdown(new mddoc::Markdown(mddoc::Markdown::Sizing::heightForWidth, this))
{
    const bool calloutItalic = m_look(palette()).calloutItalic;
    m_markdown->setModifiers([calloutItalic](const mdview::View& view) {
        using namespace mdview;
        View styled = view.markdownTextStyle(&Theme::code, [] {
            return textStyle(FontFamilyVariant(FontProperties::FamilyVariant::monospaced), FontSize(RelativeSize::em(0.95)));
        });
        if (calloutItalic)
            styled = styled.markdownTextStyle([] { return textStyle(FontSize(12.0), FontStyle(FontProperties::Style::italic)); });
        return styled;
    });
    m_markdown->focusProxy()->installEventFilter(this);
    // Heights that settle in the background change the bubble's.
    connect(&m_markdown->host(), &mdview::ViewHost::extentChanged, this, &MessageBubble::sizeChanged);
}

void ChatMarkdownBubbleView::setText(const QString& text)
{
    if (m_hasContent && text == m_text)
        return;
    m_text = text;
    applyContent();
}

// Parsed here rather than by the widget: images are turned into links before anything could
// fetch them. The whole document goes to the widget at once; each block is laid out once.
void ChatMarkdownBubbleView::applyContent()
{
    const QByteArray utf8 = m_text.toUtf8();
    markdown::MarkdownContent content(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    // Every image starts with "![".
    if (m_text.contains(QStringLiteral("![")))
        content = imagesAsLinks(content, style::isDark(palette()));
    m_hasContent = true;
    const bool lazy = content.blocks().size() > lazyBlockCount;
    if (lazy != m_lazy) {
        m_lazy = lazy;
        // Until the transcript says what it shows: a screen from the top.
        m_markdown->host().setViewportHeight(lazy ? std::optional<double>(defaultVisibleHeight) : std::nullopt);
    }
    fitTextWidth();
    m_markdown->setContent(content);
    layoutContent();
    emit sizeChanged();
}

bool ChatMarkdownBubbleView::isSettled() const
{
    return m_markdown->host().isSettled();
}

bool ChatMarkdownBubbleView::setVisibleRange(int top, int height, bool atEnd)
{
    if (!m_lazy)
        return false;
    mdview::ViewHost& host = m_markdown->host();
    host.setViewportHeight(std::max(1, height));
    return host.scrollTo(top - padding, atEnd);
}

std::optional<int> ChatMarkdownBubbleView::visibleTop() const
{
    if (!m_lazy)
        return std::nullopt;
    return padding + int(std::lround(m_markdown->host().viewportTop()));
}

bool ChatMarkdownBubbleView::holdsSelection() const
{
    return m_markdown->host().hasSelection();
}

// One measurement at the width the bubble may take: the content's own width (the widest line)
// gives the bubble's, and the text stays laid out at that width, so nothing is measured twice.
QSize ChatMarkdownBubbleView::sizeFor(int width) const
{
    const int inner = std::max(1, width - 2 * padding);
    mdview::RenderNode* root = m_markdown->host().root();
    const QSizeF fit = root ? root->measure({double(inner), std::nullopt}) : QSizeF();
    // A lazy text's width is known only for what has been measured: it takes the whole width.
    const int contentWidth = m_lazy ? inner : std::clamp(int(std::ceil(fit.width())), 1, inner);
    return {contentWidth + 2 * padding, int(std::ceil(fit.height())) + 2 * padding};
}

QRect ChatMarkdownBubbleView::panelRect() const
{
    // Measurements are cached: this costs nothing once the text is laid out.
    const int panelWidth = std::min(width(), sizeFor(width()).width());
    return {m_look(palette()).trailing ? width() - panelWidth : 0, 0, panelWidth, height()};
}

void ChatMarkdownBubbleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(m_opacity);
    const Look look = m_look(palette());
    style::paintPanel(painter, panelRect(), look.fill, look.stroke);
}

// The bubble spans the row, its panel hugs the text. The text is laid out at the whole width
// it may take, as it was measured (its lines fit in the narrower panel), so nothing is laid
// out twice.
void ChatMarkdownBubbleView::resizeEvent(QResizeEvent*)
{
    layoutContent();
}

void ChatMarkdownBubbleView::layoutContent()
{
    fitTextWidth();
    m_markdown->move(panelRect().left() + padding, padding);
    update();
}

// The text's host lays its content out at its current width whenever the content changes, so
// it gets its width first, also while hidden, when the widget's own layout has not run yet.
void ChatMarkdownBubbleView::fitTextWidth()
{
    const QSize size(std::max(1, width() - 2 * padding), std::max(1, height() - 2 * padding));
    m_markdown->resize(size);
    m_markdown->focusProxy()->resize(size);
}

void ChatMarkdownBubbleView::setOpacity(double opacity)
{
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
    m_markdown->focusProxy()->update();
}

bool ChatMarkdownBubbleView::eventFilter(QObject* watched, QEvent* event)
{
    // The text drawn at the bubble's opacity.
    if (event->type() == QEvent::Paint && m_opacity < 1 && watched == m_markdown->focusProxy()) {
        auto* surface = static_cast<QWidget*>(watched);
        QPainter painter(surface);
        painter.setOpacity(m_opacity);
        m_markdown->host().layout(surface->width());
        m_markdown->host().paint(painter, static_cast<QPaintEvent*>(event)->rect());
        return true;
    }
    return MessageBubble::eventFilter(watched, event);
}

void ChatMarkdownBubbleView::changeEvent(QEvent* event)
{
    MessageBubble::changeEvent(event);
    // The scheme decides which images are left out.
    if (event->type() == QEvent::PaletteChange && m_hasContent && m_text.contains(QStringLiteral("![")))
        applyContent();
}

ThinkingMessageBubbleView::ThinkingMessageBubbleView(QWidget* parent)
    : ChatMarkdownBubbleView(
          [](const QPalette& palette) {
              return Look{style::named(style::Named::gray, palette, 0.1), style::named(style::Named::gray, palette, 0.25), true};
          },
          parent)
{
    m_pulse.setInterval(33);
    connect(&m_pulse, &QTimer::timeout, this, &ThinkingMessageBubbleView::pulse);
}

double ThinkingMessageBubbleView::pulseOpacity(const QDateTime& time)
{
    static const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    const double t = double(reference.msecsTo(time)) / 1000.0;
    return (std::sin(t * 2 * std::numbers::pi / 1.1) * 0.5 + 0.5) * 0.65 + 0.35;
}

void ThinkingMessageBubbleView::setMessage(const ChatMessageModel& message)
{
    setText(message.content);
    setPending(message.isPending);
}

bool ThinkingMessageBubbleView::isPulsing() const
{
    return m_pulse.isActive();
}

// A pending bubble is redrawn on a timer at the opacity of the moment; a closed one has none.
void ThinkingMessageBubbleView::setPending(bool pending)
{
    if (pending == m_pending)
        return;
    m_pending = pending;
    if (pending) {
        m_pulse.start();
        pulse();
    } else {
        m_pulse.stop();
        setOpacity(1);
    }
}

void ThinkingMessageBubbleView::pulse()
{
    if (isVisible())
        setOpacity(pulseOpacity(QDateTime::currentDateTimeUtc()));
}

// Tool calls -----------------------------------------------------------------------------------

namespace {

constexpr int markSize = 14;

// The status of a finished call: a filled circle with a tick, or a dotted circle.
class StatusMark : public QWidget {
public:
    explicit StatusMark(QWidget* parent) : QWidget(parent) { setFixedSize(markSize, markSize); }
    void setCompleted(bool completed)
    {
        m_completed = completed;
        setAccessibleName(completed ? QStringLiteral("Completed") : QStringLiteral("No result"));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF circle = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        if (m_completed) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(style::named(style::Named::green, palette(), 0.9));
            painter.drawEllipse(circle);
            QPen tick(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            painter.setPen(tick);
            const QPointF c = circle.center();
            painter.drawPolyline(QPolygonF{c + QPointF(-3, 0), c + QPointF(-1, 2.2), c + QPointF(3.2, -2.4)});
        } else {
            QPen dots(style::withOpacity(Qt::white, 0.65), 1.4, Qt::DotLine, Qt::RoundCap);
            painter.setPen(dots);
            painter.drawEllipse(circle);
        }
    }

private:
    bool m_completed = false;
};

// Tool labels and the processing caption.
QFont captionCode(const QFont& base)
{
    QFont font = style::monospaced(style::caption(base));
    font.setWeight(QFont::DemiBold);
    return font;
}

} // namespace

ToolMessageBubbleView::ToolMessageBubbleView(QWidget* parent)
    : MessageBubble(parent)
    , m_spinner(new BusyIndicator(style::withOpacity(Qt::white, 0.85), this))
    , m_mark(new StatusMark(this))
{
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void ToolMessageBubbleView::setMessage(const ChatMessageModel& message)
{
    const QString label = message.toolLabel.value_or(QStringLiteral("Tool"));
    const bool bodyChanged = !m_content.isSharedWith(message.content) && m_content != message.content;
    m_label = label;
    m_content = message.content;
    m_pending = message.isPending;
    m_hasResult = message.toolHasResult;
    setAccessibleName(m_label);
    m_spinner->setVisible(m_pending);
    m_mark->setVisible(!m_pending);
    static_cast<StatusMark*>(m_mark)->setCompleted(m_hasResult);
    if (m_body && bodyChanged) {
        m_body->setPlainText(displayedBody());
        emit sizeChanged();
    }
    update();
}

QString ToolMessageBubbleView::displayedBody() const
{
    const QString trimmed = m_content.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("(empty)") : trimmed;
}

QString ToolMessageBubbleView::statusName() const
{
    return m_pending ? QStringLiteral("Pending") : m_hasResult ? QStringLiteral("Completed") : QStringLiteral("No result");
}

void ToolMessageBubbleView::setExpanded(bool expanded)
{
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    if (expanded && !m_body) {
        m_body = new QPlainTextEdit(this);
        m_body->setReadOnly(true);
        m_body->setFrameShape(QFrame::NoFrame);
        m_body->setLineWrapMode(QPlainTextEdit::NoWrap);
        m_body->setFont(style::monospaced(style::callout(font())));
        m_body->viewport()->setAutoFillBackground(false);
        m_body->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; color: rgba(255, 255, 255, 235); }"));
        m_body->document()->setDocumentMargin(0);
        m_body->setPlainText(displayedBody());
    }
    if (m_body)
        m_body->setVisible(expanded);
    layoutChildren();
    update();
    emit sizeChanged();
}

int ToolMessageBubbleView::headerHeight() const
{
    return collapsedHeight(font()) - 2 * padding;
}

int ToolMessageBubbleView::collapsedHeight(const QFont& font)
{
    return padding + std::max(markSize, QFontMetrics(captionCode(font)).height()) + padding;
}

bool ToolMessageBubbleView::holdsSelection() const
{
    return m_body && m_body->textCursor().hasSelection();
}

int ToolMessageBubbleView::bodyHeight() const
{
    if (!m_expanded || !m_body)
        return 0;
    const int lines = m_body->document()->blockCount();
    const int scrollBar = m_body->horizontalScrollBar()->isVisible() ? m_body->horizontalScrollBar()->sizeHint().height() : 0;
    return std::min(maxBodyHeight, lines * m_body->fontMetrics().lineSpacing() + 4 + scrollBar);
}

QSize ToolMessageBubbleView::sizeFor(int width) const
{
    const int height = padding + headerHeight() + (m_expanded ? 6 + bodyHeight() : 0) + padding;
    return {std::min(width, maxWidth), height};
}

void ToolMessageBubbleView::layoutChildren()
{
    const int header = headerHeight();
    const QRect markRect(width() - padding - markSize, padding + (header - markSize) / 2, markSize, markSize);
    m_spinner->setGeometry(markRect);
    m_mark->setGeometry(markRect);
    if (m_body && m_expanded)
        m_body->setGeometry(padding, padding + header + 6, width() - 2 * padding, bodyHeight());
}

void ToolMessageBubbleView::resizeEvent(QResizeEvent*)
{
    layoutChildren();
}

void ToolMessageBubbleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style::paintPanel(painter, rect(), style::withOpacity(Qt::black, 0.56), style::withOpacity(Qt::white, 0.14));
    const int header = headerHeight();
    // The disclosure chevron, then the label on one line.
    painter.setRenderHint(QPainter::Antialiasing);
    QPen chevron(style::withOpacity(Qt::white, 0.7), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(chevron);
    const QPointF c(padding + 4, padding + header / 2.0);
    if (m_expanded)
        painter.drawPolyline(QPolygonF{c + QPointF(-3.5, -1.8), c + QPointF(0, 1.8), c + QPointF(3.5, -1.8)});
    else
        painter.drawPolyline(QPolygonF{c + QPointF(-1.8, -3.5), c + QPointF(1.8, 0), c + QPointF(-1.8, 3.5)});
    const QFont font = captionCode(this->font());
    painter.setFont(font);
    painter.setPen(style::withOpacity(Qt::white, 0.86));
    const int labelLeft = padding + 8 + 8;
    const int labelWidth = std::max(0, width() - labelLeft - 8 - markSize - padding);
    const QString elided = QFontMetrics(font).elidedText(m_label, Qt::ElideRight, labelWidth);
    painter.drawText(QRect(labelLeft, padding, labelWidth, header), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                     elided);
}

void ToolMessageBubbleView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->position().y() < padding + headerHeight() + padding)
        setExpanded(!m_expanded);
    else
        MessageBubble::mousePressEvent(event);
}

void ToolMessageBubbleView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        setExpanded(!m_expanded);
    else
        MessageBubble::keyPressEvent(event);
}

// Processing ----------------------------------------------------------------------------------

ProcessingMessageBubbleView::ProcessingMessageBubbleView(QWidget* parent)
    : MessageBubble(parent)
    , m_spinner(new BusyIndicator(style::withOpacity(Qt::white, 0.9), this))
{
}

void ProcessingMessageBubbleView::setMessage(const ChatMessageModel& message)
{
    m_text = message.content;
    setAccessibleName(m_text);
    update();
}

QSize ProcessingMessageBubbleView::sizeFor(int width) const
{
    const QFontMetrics metrics(captionCode(font()));
    const int natural = padding + m_spinner->width() + 8 + metrics.horizontalAdvance(m_text) + padding;
    return {std::min(width, natural), padding + std::max(m_spinner->height(), metrics.height()) + padding};
}

void ProcessingMessageBubbleView::resizeEvent(QResizeEvent*)
{
    m_spinner->move(padding, (height() - m_spinner->height()) / 2);
}

void ProcessingMessageBubbleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style::paintPanel(painter, rect(), style::withOpacity(Qt::black, 0.46), style::withOpacity(Qt::white, 0.12));
    painter.setFont(captionCode(font()));
    painter.setPen(style::withOpacity(Qt::white, 0.9));
    const int left = padding + m_spinner->width() + 8;
    painter.drawText(QRect(left, 0, width() - left - padding, height()), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}

// Parsing errors ---------------------------------------------------------------------------------

ParsingErrorBubbleView::ParsingErrorBubbleView(QWidget* parent)
    : MessageBubble(parent)
    , m_title(plainLabel(QStringLiteral("Parsing error"), this))
    , m_text(plainLabel(QString(), this))
{
    QFont title = style::caption(font());
    title.setWeight(QFont::DemiBold);
    m_title->setFont(title);
    m_text->setFont(style::callout(font()));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void ParsingErrorBubbleView::setMessage(const ChatMessageModel& message)
{
    m_text->setText(displayable(message.content));
    emit sizeChanged();
}

bool ParsingErrorBubbleView::holdsSelection() const
{
    return m_text->hasSelectedText();
}

QSize ParsingErrorBubbleView::sizeFor(int width) const
{
    const int natural = std::max(naturalWidth(m_title->fontMetrics(), m_title->text()),
                                 naturalWidth(m_text->fontMetrics(), m_text->text()));
    const int inner = std::clamp(natural + 1, 1, std::max(1, width - 2 * padding));
    return {inner + 2 * padding, padding + m_title->sizeHint().height() + 6 + m_text->heightForWidth(inner) + padding};
}

void ParsingErrorBubbleView::resizeEvent(QResizeEvent*)
{
    const int inner = width() - 2 * padding;
    const int titleHeight = m_title->sizeHint().height();
    m_title->setGeometry(padding, padding, inner, titleHeight);
    m_text->setGeometry(padding, padding + titleHeight + 6, inner, height() - 2 * padding - titleHeight - 6);
}

void ParsingErrorBubbleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style::paintPanel(painter, rect(), style::named(style::Named::orange, palette(), 0.12),
                      style::named(style::Named::orange, palette(), 0.35), false);
}

// Notices ----------------------------------------------------------------------------------------

SystemNoticeView::SystemNoticeView(QWidget* parent) : MessageBubble(parent), m_label(plainLabel(QString(), this))
{
    m_label->setFont(style::caption(font()));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    changeEvent(nullptr);
}

void SystemNoticeView::setMessage(const ChatMessageModel& message)
{
    m_label->setText(displayable(message.content));
    emit sizeChanged();
}

QSize SystemNoticeView::sizeFor(int width) const
{
    return {width, 8 + m_label->heightForWidth(width) + 8};
}

void SystemNoticeView::resizeEvent(QResizeEvent*)
{
    m_label->setGeometry(rect().adjusted(0, 8, 0, -8));
}

void SystemNoticeView::changeEvent(QEvent* event)
{
    if (event)
        MessageBubble::changeEvent(event);
    if (!event || event->type() == QEvent::PaletteChange) {
        QPalette labelPalette = m_label->palette();
        labelPalette.setColor(QPalette::WindowText, style::secondaryText(palette()));
        m_label->setPalette(labelPalette);
    }
}

} // namespace quillora::chat
