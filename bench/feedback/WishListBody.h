#pragma once

// A list answer of the feedback service for benchmarks: `count` requests with titles of five
// words, descriptions of 22 and `commentsEach` comments of eight, their states taken in turn from
// `states`, up to a dozen voters each; the same every time.

#include "feedback/Records.h"

#include <QRandomGenerator>
#include <QStringList>

#include <initializer_list>
#include <iterator>

namespace bench {

inline QString words(QRandomGenerator& random, int count)
{
    static const char* const vocabulary[] = {"board", "dark",   "mode",  "please", "export", "tabs",  "sync",
                                             "would", "love",   "a",     "way",    "to",     "see",   "the",
                                             "files", "faster", "when",  "I",      "open",   "large", "folders"};
    QStringList chosen;
    for (int i = 0; i < count; ++i)
        chosen.append(QLatin1StringView(vocabulary[random.bounded(int(std::size(vocabulary)))]));
    return chosen.join(u' ');
}

// Pending requests are created by `pendingCreator` when it is set, else by someone else each.
inline QByteArray makeWishListBody(int count, int commentsEach, std::initializer_list<plendra::WishState> states,
                                   const QUuid& pendingCreator = {})
{
    using namespace plendra;
    QRandomGenerator random(25);
    ListWishResponse response;
    response.shouldShowWatermark = true;
    for (int i = 0; i < count; ++i) {
        WishResponse wish;
        wish.id = QUuid::createUuid();
        wish.state = std::data(states)[i % states.size()];
        wish.userUUID = wish.state == WishState::pending && !pendingCreator.isNull() ? pendingCreator : QUuid::createUuid();
        wish.title = words(random, 5);
        wish.description = words(random, 22);
        for (int v = random.bounded(12); v > 0; --v)
            wish.votingUsers.append({QUuid::createUuid()});
        for (int c = 0; c < commentsEach; ++c)
            wish.commentList.append({QUuid::createUuid(), QUuid::createUuid(), words(random, 8),
                                     QDateTime::fromSecsSinceEpoch(1700000000 + i * 60 + c, Qt::UTC), c == 0});
        response.list.append(wish);
    }
    return encodeJson(response);
}

} // namespace bench
