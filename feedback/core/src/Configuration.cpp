#include "feedback/Configuration.h"

namespace plendra {

QString displayTitle(WishState state, const Configuration::Localization& localization)
{
    switch (state) {
    case WishState::approved:
        return localization.approved;
    case WishState::implemented:
        return localization.implemented;
    case WishState::pending:
        return localization.pending;
    case WishState::inReview:
        return localization.inReview;
    case WishState::planned:
        return localization.planned;
    case WishState::inProgress:
        return localization.inProgress;
    case WishState::completed:
        return localization.completed;
    case WishState::rejected:
        break;
    }
    return QStringLiteral("Not Supported");
}

} // namespace plendra
