#include "feedback/WishModel.h"

#include "feedback/LogLine.h"
#include "feedback/UserIdentity.h"

#include <algorithm>

namespace plendra {

namespace {

void sortByVotes(QList<WishResponse>& list)
{
    std::stable_sort(list.begin(), list.end(), [](const WishResponse& a, const WishResponse& b) {
        return a.votingUsers.size() > b.votingUsers.size();
    });
}

} // namespace

WishLists WishLists::partition(QList<WishResponse> list, const QUuid& currentUser)
{
    sortByVotes(list);
    WishLists lists;
    for (const WishResponse& wish : std::as_const(list)) {
        switch (wish.state) {
        case WishState::pending:
            if (wish.userUUID == currentUser)
                lists.pendingList.append(wish);
            break;
        case WishState::inReview:
        case WishState::approved:
            lists.inReviewList.append(wish);
            break;
        case WishState::planned:
            lists.plannedList.append(wish);
            break;
        case WishState::inProgress:
            lists.inProgressList.append(wish);
            break;
        case WishState::completed:
        case WishState::implemented:
            lists.completedList.append(wish);
            break;
        case WishState::rejected:
            break;
        }
    }
    lists.all.reserve(list.size());
    for (const QList<WishResponse>* group :
         {&lists.pendingList, &lists.inReviewList, &lists.plannedList, &lists.inProgressList, &lists.completedList})
        lists.all.append(*group);
    sortByVotes(lists.all);
    return lists;
}

WishModel::WishModel(QObject* parent)
    : WishModel(Api::shared(), parent)
{
}

WishModel::WishModel(Api api, QObject* parent)
    : QObject(parent)
    , m_api(std::move(api))
{
}

void WishModel::fetchList(std::function<void()> completion)
{
    const quint64 fetch = ++m_fetchesStarted;
    ++m_fetchesRunning;
    if (m_fetchesRunning == 1)
        emit isLoadingChanged();
    const std::optional<ApiRequest> request = m_api.makeListWishRequest();
    if (!request) {
        finish(fetch, ApiError{ApiError::Reason::couldNotCreateRequest}, completion);
        return;
    }
    m_api.send<ListWishResponse>(*request, this, [this, fetch, completion](const ApiResult<ListWishResponse>& result) {
        finish(fetch, result, completion);
    });
}

void WishModel::finish(quint64 fetch, const ApiResult<ListWishResponse>& result, const std::function<void()>& completion)
{
    if (!result.isSuccess())
        logLine(LogLineLevel::error, 69, u"WishModel", description(result.error().reason));
    // A fetch started before the one whose answer is shown has nothing newer to say.
    if (fetch > m_newestApplied) {
        m_newestApplied = fetch;
        if (result.isSuccess()) {
            m_lists = WishLists::partition(result.value().list, userUUID());
            emit listsChanged();
            m_shouldShowWatermark = result.value().shouldShowWatermark;
            emit shouldShowWatermarkChanged();
            if (m_lastFailure) {
                m_lastFailure.reset();
                emit lastFailureChanged();
            }
        } else {
            m_lastFailure = result.error();
            emit lastFailureChanged();
        }
    }
    if (--m_fetchesRunning == 0)
        emit isLoadingChanged();
    if (!m_hasFetched) {
        m_hasFetched = true;
        emit hasFetchedChanged();
    }
    if (completion)
        completion();
}

} // namespace plendra
