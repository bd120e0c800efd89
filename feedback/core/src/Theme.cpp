#include "feedback/Theme.h"

namespace plendra {

namespace colors {
QColor black() { return QColor(0, 0, 0); }
QColor white() { return QColor(255, 255, 255); }
QColor gray() { return QColor(142, 142, 147); }
QColor blue() { return QColor(0, 122, 255); }
QColor green() { return QColor(52, 199, 89); }
QColor yellow() { return QColor(255, 204, 0); }
QColor purple() { return QColor(175, 82, 222); }
QColor red() { return QColor(255, 59, 48); }
} // namespace colors

const Theme::Scheme& Theme::BadgeTheme::scheme(WishState state) const
{
    switch (state) {
    case WishState::approved:
        return approved;
    case WishState::implemented:
        return implemented;
    case WishState::pending:
        return pending;
    case WishState::inReview:
        return inReview;
    case WishState::planned:
        return planned;
    case WishState::inProgress:
        return inProgress;
    case WishState::completed:
        return completed;
    case WishState::rejected:
        break;
    }
    return rejected;
}

const Theme::Scheme& Theme::defaultSecondaryScheme()
{
    static const Scheme scheme{colors::white(), QColor(44, 44, 46)};
    return scheme;
}

const Theme::Scheme& Theme::defaultTertiaryScheme()
{
    static const Scheme scheme{QColor(242, 242, 247), QColor(28, 28, 30)};
    return scheme;
}

const QColor& Theme::defaultPrimaryColor()
{
    static const QColor color = colors::green();
    return color;
}

QString PlendraUpvoteIcon::symbolName() const
{
    switch (m_kind) {
    case Kind::systemName:
        return m_name;
    case Kind::thumbsUpIcon:
        return QStringLiteral("hand.thumbsup.fill");
    case Kind::arrowUpvoteIcon:
        break;
    }
    return QStringLiteral("arrowtriangle.up.fill");
}

} // namespace plendra
