#include "feedback/Voting.h"

#include <algorithm>

namespace plendra {

bool isVotedBy(const WishResponse& wish, const QUuid& user)
{
    return std::any_of(wish.votingUsers.begin(), wish.votingUsers.end(),
                       [&](const UserResponse& voter) { return voter.uuid == user; });
}

VotePlan planVote(WishState state, bool isVotedByCurrentUser, bool allowUndoVote)
{
    if (state == WishState::implemented)
        return {AlertModel::AlertReason::alreadyImplemented(), 0};
    if (isVotedByCurrentUser && !allowUndoVote)
        return {AlertModel::AlertReason::alreadyVoted(), 0};
    return {std::nullopt, isVotedByCurrentUser ? -1 : 1};
}

} // namespace plendra
