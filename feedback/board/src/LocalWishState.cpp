#include "feedback/board/LocalWishState.h"

#include "feedback/Plendra.h"

namespace plendra {

QString LocalWishState::id() const
{
    return m_state ? description(*m_state) : QStringLiteral("All");
}

const std::array<LocalWishState, 6>& filterEntries()
{
    static const std::array<LocalWishState, 6> entries = {
        LocalWishState::all(),
        LocalWishState::library(WishState::pending),
        LocalWishState::library(WishState::inReview),
        LocalWishState::library(WishState::planned),
        LocalWishState::library(WishState::inProgress),
        LocalWishState::library(WishState::completed),
    };
    return entries;
}

const QList<WishResponse>& stateList(const WishModel& model, const LocalWishState& state)
{
    static const QList<WishResponse> none;
    if (state.isAll())
        return model.all();
    switch (*state.state()) {
    case WishState::pending:
        return model.pendingList();
    case WishState::approved:
    case WishState::inReview:
        return model.inReviewList();
    case WishState::planned:
        return model.plannedList();
    case WishState::inProgress:
        return model.inProgressList();
    case WishState::implemented:
    case WishState::completed:
        return model.completedList();
    case WishState::rejected:
        break;
    }
    return none;
}

QString filterEntryTitle(const LocalWishState& state, qsizetype count)
{
    return QStringLiteral("%1 (%2)").arg(state.id()).arg(count);
}

} // namespace plendra
