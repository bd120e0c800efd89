#pragma once

#include "feedback/Configuration.h"
#include "feedback/Records.h"
#include "feedback/Theme.h"

#include <QRectF>
#include <QWidget>

#include <functional>

namespace plendra {

class WishVoting;

// Where a request card is shown: a row of the list (one line each of title and description, the
// optional state badge) or the head of the detail (texts wrap, no badge).
enum class WishViewKind { list, detail };

// What a card shows: the request, and its vote state (from the request while nobody voted on it).
struct WishCardLook {
    const WishResponse* wish = nullptr;
    int voteCount = 0;
    bool isVotedByCurrentUser = false;
    qreal voteCountScale = 1.0;
    qreal voteButtonOpacity = 1.0;

    static WishCardLook of(const WishResponse& wish, const WishVoting* voting);
};

// A card laid out in a rectangle: the vote button on the leading side, beside it the title with
// the optional badge over the description.
struct WishCardGeometry {
    QRectF card;
    QRectF voteButton;
    QRectF icon;
    QRectF count;
    QRectF title;
    QRectF badge; // empty when no badge is shown
    QRectF description;

    // The card's height at `width`.
    static qreal height(const WishCardLook& look, WishViewKind kind, qreal width, const Configuration& config);
    static WishCardGeometry place(const WishCardLook& look, WishViewKind kind, const QRectF& card,
                                  const Configuration& config);
};

// Paints a card into `card`. `labelColor` is the palette's text colour, for the badge.
void paintWishCard(QPainter& painter, const WishCardLook& look, WishViewKind kind, const QRectF& card,
                   const Configuration& config, const Theme& theme, Appearance appearance, const QColor& labelColor);

// The detail's head: one request as a card with its own vote state.
class WishView : public QWidget {
    Q_OBJECT
public:
    WishView(const WishResponse& wish, WishViewKind kind, std::function<void()> voteActionCompletion,
             QWidget* parent = nullptr);

    WishVoting& voting() const { return *m_voting; }
    // The vote button, in this widget's coordinates.
    QRectF voteButtonRect() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QRectF cardRect() const;

    WishViewKind m_kind;
    WishVoting* m_voting;
    bool m_pressedOnVote = false;
};

} // namespace plendra
