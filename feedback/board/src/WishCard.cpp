#include "feedback/board/WishCard.h"

#include "feedback/Plendra.h"
#include "feedback/UserIdentity.h"
#include "feedback/Voting.h"
#include "feedback/board/BoardStyle.h"
#include "feedback/board/PlainText.h"
#include "feedback/board/WishVoting.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace plendra {

namespace {

constexpr qreal cardPadding = 10; // top, bottom and trailing; none on the leading edge
constexpr qreal buttonLeading = 10;
constexpr qreal buttonTrailing = 8;
constexpr qreal buttonPadding = 8;
constexpr qreal buttonRadius = 12;
constexpr qreal iconSide = 16;
constexpr qreal labelSpacing = 5;
constexpr qreal countMinWidth = 35;
constexpr qreal columnSpacing = 5;
constexpr qreal rowSpacing = 8;
// Room around a card for its shadow.
constexpr qreal shadowMargin = 5;

QFont countFont()
{
    return fonts::system(12, QFont::DemiBold);
}

QFont badgeFont()
{
    return fonts::system(10, QFont::Medium);
}

bool showsBadge(WishViewKind kind, const Configuration& config)
{
    return kind == WishViewKind::list && config.statusBadge == Configuration::Display::show;
}

QString badgeText(const WishResponse& wish)
{
    return description(wish.state).toUpper();
}

QSizeF voteButtonSize(const WishCardLook& look)
{
    const QFontMetricsF metrics(countFont());
    const qreal labelWidth = std::max({iconSide, countMinWidth, metrics.horizontalAdvance(QString::number(look.voteCount))});
    return {labelWidth + 2 * buttonPadding, iconSide + labelSpacing + metrics.height() + 2 * buttonPadding};
}

// The text's height in the column: one line, or as many as it takes.
qreal textHeight(const QString& text, const QFont& font, qreal width, bool wraps)
{
    return wraps ? PlainText::wrappedHeight(text, font, width) : QFontMetricsF(font).height();
}

bool descriptionWraps(WishViewKind kind, const Configuration& config)
{
    return kind == WishViewKind::detail || config.expandDescriptionInList;
}

} // namespace

WishCardLook WishCardLook::of(const WishResponse& wish, const WishVoting* voting)
{
    if (voting)
        return {&wish, voting->voteCount(), voting->isVotedByCurrentUser(), voting->voteCountScale(),
                voting->voteButtonOpacity()};
    return {&wish, int(wish.votingUsers.size()), isVotedBy(wish, userUUID())};
}

namespace {

// The text column's parts at one column width.
struct Column {
    QSizeF badge; // empty without a badge
    qreal titleWidth;
    qreal titleHeight;
    qreal descriptionHeight;

    qreal height() const { return titleHeight + columnSpacing + descriptionHeight; }
};

Column measureColumn(const WishCardLook& look, WishViewKind kind, qreal width, const Configuration& config)
{
    Column column{{}, width, 0, 0};
    if (showsBadge(kind, config)) {
        const QFontMetricsF badge(badgeFont());
        column.badge = QSizeF(badge.horizontalAdvance(badgeText(*look.wish)) + 10, badge.height() + 6);
        column.titleWidth = std::max(1.0, width - column.badge.width() - rowSpacing);
    }
    column.titleHeight = textHeight(look.wish->title, fonts::title(), column.titleWidth, kind == WishViewKind::detail);
    column.descriptionHeight
        = textHeight(look.wish->description, fonts::body(), width, descriptionWraps(kind, config));
    return column;
}

qreal columnWidth(const QSizeF& button, qreal cardWidth)
{
    return std::max(1.0, cardWidth - buttonLeading - button.width() - buttonTrailing - cardPadding);
}

} // namespace

qreal WishCardGeometry::height(const WishCardLook& look, WishViewKind kind, qreal width, const Configuration& config)
{
    const QSizeF button = voteButtonSize(look);
    const Column column = measureColumn(look, kind, columnWidth(button, width), config);
    return std::max(button.height(), column.height()) + 2 * cardPadding;
}

WishCardGeometry WishCardGeometry::place(const WishCardLook& look, WishViewKind kind, const QRectF& card,
                                         const Configuration& config)
{
    WishCardGeometry geometry;
    geometry.card = card;
    const QRectF content = card.adjusted(0, cardPadding, -cardPadding, -cardPadding);
    const QSizeF button = voteButtonSize(look);
    geometry.voteButton = QRectF(QPointF(content.left() + buttonLeading, content.center().y() - button.height() / 2), button);
    const QRectF label = geometry.voteButton.adjusted(buttonPadding, buttonPadding, -buttonPadding, -buttonPadding);
    geometry.icon = QRectF(label.center().x() - iconSide / 2, label.top(), iconSide, iconSide);
    geometry.count = QRectF(label.left(), geometry.icon.bottom() + labelSpacing, label.width(),
                            label.bottom() - geometry.icon.bottom() - labelSpacing);

    const qreal width = columnWidth(button, card.width());
    const Column column = measureColumn(look, kind, width, config);
    const qreal left = geometry.voteButton.right() + buttonTrailing;
    const qreal top = content.center().y() - column.height() / 2;
    geometry.title = QRectF(left, top, column.titleWidth, column.titleHeight);
    if (!column.badge.isEmpty())
        geometry.badge = QRectF(QPointF(left + width - column.badge.width(),
                                        geometry.title.center().y() - column.badge.height() / 2),
                                column.badge);
    geometry.description = QRectF(left, geometry.title.bottom() + columnSpacing, width, column.descriptionHeight);
    return geometry;
}

void paintWishCard(QPainter& painter, const WishCardLook& look, WishViewKind kind, const QRectF& card,
                   const Configuration& config, const Theme& theme, Appearance appearance, const QColor& labelColor)
{
    const WishCardGeometry geometry = WishCardGeometry::place(look, kind, card, config);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (config.dropShadow == Configuration::Display::show)
        paintSoftShadow(painter, card, config.cornerRadius, 5, 0.1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(cardColor(theme, appearance));
    painter.drawRoundedRect(card, config.cornerRadius, config.cornerRadius);

    const QColor text = textColor(theme, appearance);
    const QColor arrow = look.isVotedByCurrentUser ? theme.primaryColor
                                                   : config.buttons.voteButton.arrowColor.color(appearance);
    painter.save();
    painter.setOpacity(look.voteButtonOpacity);
    painter.setBrush(withAlpha(arrow, appearance == Appearance::dark ? 0.2 : 0.12));
    painter.drawRoundedRect(geometry.voteButton, buttonRadius, buttonRadius);
    paintBoardSymbol(painter, upvoteSymbolName(config.buttons.voteButton.icon), arrow, geometry.icon);
    painter.translate(geometry.count.center());
    painter.scale(look.voteCountScale, look.voteCountScale);
    painter.setFont(countFont());
    painter.setPen(text);
    painter.drawText(geometry.count.translated(-geometry.count.center()), Qt::AlignCenter,
                     QString::number(look.voteCount));
    painter.restore();

    painter.setPen(text);
    PlainText::draw(painter, look.wish->title, fonts::title(), geometry.title, kind == WishViewKind::detail);
    PlainText::draw(painter, look.wish->description, fonts::body(), geometry.description,
                    descriptionWraps(kind, config));
    if (!geometry.badge.isEmpty()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withAlpha(theme.badgeColor.scheme(look.wish->state).color(appearance), 1.0 / 3));
        painter.drawRoundedRect(geometry.badge, 6, 6);
        painter.setPen(withAlpha(labelColor, 0.8));
        painter.setFont(badgeFont());
        painter.drawText(geometry.badge, Qt::AlignCenter, badgeText(*look.wish));
    }
    painter.restore();
}

WishView::WishView(const WishResponse& wish, WishViewKind kind, std::function<void()> voteActionCompletion,
                   QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
    , m_voting(new WishVoting(wish, std::move(voteActionCompletion), this))
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setMouseTracking(true);
    m_voting->setAlertParent(this);
    connect(m_voting, &WishVoting::changed, this, qOverload<>(&QWidget::update));
}

QRectF WishView::cardRect() const
{
    return QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
}

QRectF WishView::voteButtonRect() const
{
    return WishCardGeometry::place(WishCardLook::of(m_voting->wish(), m_voting), m_kind, cardRect(), Plendra::config())
        .voteButton;
}

int WishView::heightForWidth(int width) const
{
    const qreal card = WishCardGeometry::height(WishCardLook::of(m_voting->wish(), m_voting), m_kind,
                                                width - 2 * shadowMargin, Plendra::config());
    return qCeil(card + 2 * shadowMargin);
}

QSize WishView::sizeHint() const
{
    return {500, heightForWidth(500)};
}

QSize WishView::minimumSizeHint() const
{
    return {200, heightForWidth(200)};
}

void WishView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintWishCard(painter, WishCardLook::of(m_voting->wish(), m_voting), m_kind, cardRect(), Plendra::config(),
                  Plendra::theme(), appearanceOf(palette()), palette().color(QPalette::WindowText));
}

void WishView::mousePressEvent(QMouseEvent* event)
{
    m_pressedOnVote = event->button() == Qt::LeftButton && voteButtonRect().contains(event->position());
    QWidget::mousePressEvent(event);
}

void WishView::mouseReleaseEvent(QMouseEvent* event)
{
    const bool onVote = event->button() == Qt::LeftButton && voteButtonRect().contains(event->position());
    if (m_pressedOnVote && onVote)
        m_voting->vote();
    m_pressedOnVote = false;
    QWidget::mouseReleaseEvent(event);
}

void WishView::mouseMoveEvent(QMouseEvent* event)
{
    setCursor(voteButtonRect().contains(event->position()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QWidget::mouseMoveEvent(event);
}

} // namespace plendra
