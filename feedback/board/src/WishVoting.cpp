#include "feedback/board/WishVoting.h"

#include "feedback/Api.h"
#include "feedback/Plendra.h"
#include "feedback/UserIdentity.h"
#include "feedback/Voting.h"
#include "feedback/board/BoardStyle.h"

#include <QEasingCurve>
#include <QMessageBox>
#include <QTimer>

namespace plendra {

QString voteAlertTitle(const AlertModel::AlertReason& reason, const Configuration::Localization& texts)
{
    const QString failed = QStringLiteral("Something went wrong during your vote. Try again later.");
    switch (reason.kind()) {
    case AlertModel::AlertReason::Kind::voteReturnedError:
        return failed + QStringLiteral("\n\n") + reason.text();
    case AlertModel::AlertReason::Kind::alreadyVoted:
        return texts.youCanOnlyVoteOnce;
    case AlertModel::AlertReason::Kind::alreadyImplemented:
        return texts.youCanNotVoteForAnImplementedWish;
    case AlertModel::AlertReason::Kind::none:
        return texts.youCanNotVoteForYourOwnWish;
    case AlertModel::AlertReason::Kind::createReturnedError:
    case AlertModel::AlertReason::Kind::successfullyCreated:
    case AlertModel::AlertReason::Kind::emailRequired:
    case AlertModel::AlertReason::Kind::emailFormatWrong:
        break;
    }
    return failed;
}

WishVoting::WishVoting(const WishResponse& wish, std::function<void()> voteActionCompletion, QObject* parent)
    : QObject(parent)
    , m_wish(wish)
    , m_voteActionCompletion(std::move(voteActionCompletion))
    , m_voteCount(int(wish.votingUsers.size()))
    , m_isVotedByCurrentUser(isVotedBy(wish, userUUID()))
    , m_seenCount(wish.votingUsers.size())
    , m_seenVoted(m_isVotedByCurrentUser)
{
    // The pulse: down to 0.62 and back in 0.22 s each way, easing in and out, until the vote ends.
    m_pulse.setStartValue(0.0);
    m_pulse.setEndValue(1.0);
    m_pulse.setDuration(440);
    m_pulse.setLoopCount(-1);
    connect(&m_pulse, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const qreal t = value.toReal();
        const qreal phase = t < 0.5 ? t * 2 : (1 - t) * 2;
        m_voteButtonOpacity = 1.0 - 0.38 * QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(phase);
        emit changed();
    });
    m_settle.setDuration(200);
    m_settle.setEasingCurve(QEasingCurve::OutQuad);
    connect(&m_settle, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_voteButtonOpacity = value.toReal();
        emit changed();
    });
    // The count pops to 1.15 and springs back, slightly past 1, to rest.
    m_pop.setDuration(430);
    m_pop.setKeyValues({{0.0, 1.0}, {0.23, 1.15}, {0.62, 0.97}, {1.0, 1.0}});
    connect(&m_pop, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_voteCountScale = value.toReal();
        emit changed();
    });
    connect(&m_alertModel, &AlertModel::showAlertChanged, this, &WishVoting::showAlertIfAsked);
}

void WishVoting::update(const WishResponse& fresh)
{
    m_wish = fresh;
    if (fresh.votingUsers.size() != m_seenCount) {
        m_seenCount = fresh.votingUsers.size();
        if (!m_isVoting)
            m_voteCount = int(m_seenCount);
    }
    const bool voted = isVotedBy(fresh, userUUID());
    if (voted != m_seenVoted) {
        m_seenVoted = voted;
        if (!m_isVoting)
            m_isVotedByCurrentUser = voted;
    }
    emit changed();
}

void WishVoting::vote()
{
    if (m_isVoting)
        return;
    const VotePlan plan = planVote(m_wish.state, m_isVotedByCurrentUser, Plendra::config().allowUndoVote);
    if (plan.refusal) {
        m_alertModel.setAlertReason(*plan.refusal);
        m_alertModel.setShowAlert(true);
        return;
    }
    const int direction = plan.direction;
    m_voteStarted.start();
    setVoting(true);
    const Api api = Api::shared();
    const std::optional<ApiRequest> request = api.makeVoteWishRequest(VoteWishRequest{m_wish.id});
    if (!request) {
        QMetaObject::invokeMethod(
            this, [this, direction] { finishVote(ApiError{ApiError::Reason::couldNotCreateRequest}, direction); },
            Qt::QueuedConnection);
        return;
    }
    api.sendVoteWish(*request, this,
                     [this, direction](const ApiResult<VoteWishResponse>& result) { finishVote(result, direction); });
}

void WishVoting::finishVote(const ApiResult<VoteWishResponse>& result, int direction)
{
    const qint64 remaining = minimumVoteMs - m_voteStarted.elapsed();
    if (remaining > 0)
        QTimer::singleShot(remaining, this, [this, result, direction] { applyResult(result, direction); });
    else
        applyResult(result, direction);
}

void WishVoting::applyResult(const ApiResult<VoteWishResponse>& result, int direction)
{
    setVoting(false);
    if (!result.isSuccess()) {
        m_alertModel.setAlertReason(AlertModel::AlertReason::voteReturnedError(errorDescription(result.error())));
        m_alertModel.setShowAlert(true);
        return;
    }
    m_isVotedByCurrentUser = direction > 0;
    m_voteCount += direction;
    m_pop.start();
    emit changed();
    if (m_voteActionCompletion)
        m_voteActionCompletion();
}

void WishVoting::setVoting(bool voting)
{
    m_isVoting = voting;
    if (voting) {
        m_settle.stop();
        m_voteButtonOpacity = 1.0;
        m_pulse.start();
    } else {
        m_pulse.stop();
        m_settle.setStartValue(m_voteButtonOpacity);
        m_settle.setEndValue(1.0);
        m_settle.start();
    }
    emit changed();
}

void WishVoting::showAlertIfAsked()
{
    if (!m_alertModel.showAlert() || !m_alertParent || m_alert)
        return;
    m_alert = makeBoardAlert(m_alertParent, voteAlertTitle(m_alertModel.alertReason(), Plendra::config().localization));
    m_alert->setObjectName(QStringLiteral("voteAlert"));
    connect(m_alert, &QMessageBox::finished, this, [this] { m_alertModel.setShowAlert(false); });
    m_alert->open();
}

} // namespace plendra
