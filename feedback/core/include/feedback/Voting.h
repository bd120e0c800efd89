#pragma once

#include "feedback/AlertModel.h"
#include "feedback/Records.h"

#include <QUuid>

#include <optional>

namespace plendra {

// Whether `user` is among the request's voters.
bool isVotedBy(const WishResponse& wish, const QUuid& user);

// What pressing a request's vote button does: refuse with an alert, or send a vote that counts
// +1, or -1 when it takes the user's vote back.
struct VotePlan {
    std::optional<AlertModel::AlertReason> refusal;
    int direction = 1;
};

// An implemented request takes no votes; a second vote is refused unless votes may be undone.
// Being the request's author plays no part.
VotePlan planVote(WishState state, bool isVotedByCurrentUser, bool allowUndoVote);

} // namespace plendra
