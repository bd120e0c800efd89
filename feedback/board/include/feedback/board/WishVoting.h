#pragma once

#include "feedback/AlertModel.h"
#include "feedback/ApiResult.h"
#include "feedback/Configuration.h"
#include "feedback/Records.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QVariantAnimation>

#include <functional>

namespace plendra {

// The title of a request card's vote alert for `reason`.
QString voteAlertTitle(const AlertModel::AlertReason& reason, const Configuration::Localization& texts);

// One request card's vote: the count and voted look it shows, the guards that refuse a vote, the
// request, at least 0.45 s of pulsing while it runs, the count's pop on success, the alert on a
// refusal or failure, and the call back to the presenter after a success.
//
// The state is the card's own: a newer copy of the request from the board model changes the
// count or the voted look only when that value itself changed, and not while a vote runs. A
// result that arrives after the card is gone is dropped.
class WishVoting : public QObject {
    Q_OBJECT
public:
    static constexpr int minimumVoteMs = 450;

    WishVoting(const WishResponse& wish, std::function<void()> voteActionCompletion, QObject* parent = nullptr);

    const WishResponse& wish() const { return m_wish; }
    // A newer copy of the same request.
    void update(const WishResponse& fresh);

    int voteCount() const { return m_voteCount; }
    bool isVotedByCurrentUser() const { return m_isVotedByCurrentUser; }
    bool isVoting() const { return m_isVoting; }
    qreal voteCountScale() const { return m_voteCountScale; }
    qreal voteButtonOpacity() const { return m_voteButtonOpacity; }
    AlertModel& alertModel() { return m_alertModel; }

    // Where the vote alert opens; without one the alert model is set but nothing is shown.
    void setAlertParent(QWidget* parent) { m_alertParent = parent; }
    QMessageBox* alert() const { return m_alert; }

    // The vote button's action.
    void vote();

signals:
    // Something the card shows changed.
    void changed();

private:
    void finishVote(const ApiResult<VoteWishResponse>& result, int direction);
    void applyResult(const ApiResult<VoteWishResponse>& result, int direction);
    void setVoting(bool voting);
    void showAlertIfAsked();

    WishResponse m_wish;
    std::function<void()> m_voteActionCompletion;
    AlertModel m_alertModel;
    int m_voteCount;
    bool m_isVotedByCurrentUser;
    bool m_isVoting = false;
    qreal m_voteCountScale = 1.0;
    qreal m_voteButtonOpacity = 1.0;
    // The values the card last took from the request; a change of either is taken when idle.
    qsizetype m_seenCount;
    bool m_seenVoted;
    QElapsedTimer m_voteStarted;
    QVariantAnimation m_pulse;
    QVariantAnimation m_settle;
    QVariantAnimation m_pop;
    QPointer<QWidget> m_alertParent;
    QPointer<QMessageBox> m_alert;
};

} // namespace plendra
