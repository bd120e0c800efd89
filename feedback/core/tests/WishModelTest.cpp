#include "feedback/UserIdentity.h"
#include "feedback/Voting.h"
#include "feedback/WishModel.h"
#include "feedback/testing/FeedbackTestService.h"
#include "testsupport/CapturedStdout.h"

#include <gtest/gtest.h>


using namespace plendra;
using plendra::testing::FeedbackTestService;
using plendra::testing::makeWish;
using Response = testsupport::HttpServer::Response;

namespace {

QStringList titles(const QList<WishResponse>& wishes)
{
    QStringList result;
    for (const WishResponse& wish : wishes)
        result.append(wish.title);
    return result;
}

QStringList split(const char* words)
{
    return QString::fromLatin1(words).split(u' ', Qt::SkipEmptyParts);
}

// Fetches and spins the event loop until the fetch has ended.
void fetch(WishModel& model)
{
    bool done = false;
    model.fetchList([&] { done = true; });
    testsupport::waitUntil([&] { return done; }, 10000);
}

} // namespace

TEST(WishLists, SortedByVotesAndSplitByState)
{
    const QUuid me = QUuid::createUuid();
    const QList<WishResponse> received = {
        makeWish(QStringLiteral("A"), WishState::planned, 3),
        makeWish(QStringLiteral("B"), WishState::planned, 3),
        makeWish(QStringLiteral("C"), WishState::inReview, 3),
        makeWish(QStringLiteral("D"), WishState::approved, 1),
        makeWish(QStringLiteral("E"), WishState::implemented, 5),
        makeWish(QStringLiteral("F"), WishState::completed, 0),
        makeWish(QStringLiteral("G"), WishState::rejected, 9),
        makeWish(QStringLiteral("H"), WishState::pending, 4, me),
        makeWish(QStringLiteral("I"), WishState::pending, 7),
        makeWish(QStringLiteral("J"), WishState::inProgress, 2),
    };
    const WishLists lists = WishLists::partition(received, me);
    EXPECT_EQ(titles(lists.pendingList), split("H"));
    EXPECT_EQ(titles(lists.inReviewList), split("C D"));
    EXPECT_EQ(titles(lists.plannedList), split("A B"));
    EXPECT_EQ(titles(lists.inProgressList), split("J"));
    EXPECT_EQ(titles(lists.completedList), split("E F"));
    // Equal votes stand in group order (in review before planned), and within a group as sent.
    EXPECT_EQ(titles(lists.all), split("E H C A B J D F"));

    const WishLists none = WishLists::partition({}, me);
    EXPECT_TRUE(none.all.isEmpty());
}

TEST(WishModel, FetchPublishesTheListsAndKeepsThemThroughAFailure)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    const QUuid me = userUUID();
    service.replyWithList({makeWish(QStringLiteral("Mine"), WishState::pending, 1, me),
                           makeWish(QStringLiteral("Theirs"), WishState::pending, 2),
                           makeWish(QStringLiteral("Tabs"), WishState::planned, 4)},
                          true);
    WishModel model(service.api());
    int lists = 0;
    int loading = 0;
    int failures = 0;
    QObject::connect(&model, &WishModel::listsChanged, [&] { ++lists; });
    QObject::connect(&model, &WishModel::isLoadingChanged, [&] { ++loading; });
    QObject::connect(&model, &WishModel::lastFailureChanged, [&] { ++failures; });

    EXPECT_FALSE(model.hasFetched());
    testsupport::captureStdout([&] {
        model.fetchList();
        EXPECT_TRUE(model.isLoading());
        testsupport::waitUntil([&] { return model.hasFetched(); });
    });
    EXPECT_FALSE(model.isLoading());
    EXPECT_EQ(loading, 2);
    EXPECT_EQ(lists, 1);
    EXPECT_TRUE(model.shouldShowWatermark());
    EXPECT_EQ(titles(model.all()), split("Tabs Mine"));
    EXPECT_EQ(titles(model.pendingList()), split("Mine"));
    EXPECT_FALSE(model.lastFailure());

    service.reply(FeedbackTestService::listPath, "<html>Internal Server Error</html>", 500);
    const QString output = testsupport::captureStdout([&] { fetch(model); });
    EXPECT_TRUE(output.contains(QStringLiteral("❌ Line: 69 | WishModel | Could not decode backend response.\n")))
        << output.toStdString();
    EXPECT_EQ(titles(model.all()), split("Tabs Mine"));
    EXPECT_TRUE(model.shouldShowWatermark());
    ASSERT_TRUE(model.lastFailure());
    EXPECT_EQ(model.lastFailure()->reason, ApiError::Reason::couldNotDecodeBackendResponse);
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(lists, 1);

    service.replyWithList({}, false);
    testsupport::captureStdout([&] { fetch(model); });
    EXPECT_TRUE(model.all().isEmpty());
    EXPECT_TRUE(model.plannedList().isEmpty());
    EXPECT_FALSE(model.shouldShowWatermark());
    EXPECT_FALSE(model.lastFailure());
    EXPECT_EQ(failures, 2);
}

TEST(WishModel, AnOlderReplyNeverReplacesANewerOne)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    Response older{200, encodeJson(ListWishResponse{{makeWish(QStringLiteral("Old"), WishState::planned)}, false})};
    older.delayMs = 400;
    Response olderFailure{500, "<html>busy</html>"};
    olderFailure.delayMs = 400;
    const Response newer{200, encodeJson(ListWishResponse{{makeWish(QStringLiteral("New"), WishState::planned)}, true})};

    for (const Response& first : {older, olderFailure}) {
        service.server().setResponses(FeedbackTestService::listPath, {first, newer});
        WishModel model(service.api());
        int ended = 0;
        bool loadingAfterNewer = false;
        testsupport::captureStdout([&] {
            model.fetchList([&] { ++ended; });
            // The second request leaves only once the first has reached the service, so that the
            // service answers them in this order.
            testsupport::waitUntil([&] { return service.server().requestCount(FeedbackTestService::listPath) >= 1; });
            model.fetchList([&] {
                ++ended;
                loadingAfterNewer = model.isLoading();
            });
            testsupport::waitUntil([&] { return ended == 2; });
        });
        EXPECT_EQ(ended, 2);
        EXPECT_TRUE(loadingAfterNewer); // the older fetch was still under way
        EXPECT_FALSE(model.isLoading());
        EXPECT_EQ(titles(model.all()), split("New"));
        EXPECT_TRUE(model.shouldShowWatermark());
        EXPECT_FALSE(model.lastFailure());
    }
}

TEST(WishModel, ARefusedBaseEndsTheFetchAtOnceAndALateReplyFindsNoModel)
{
    WishModel refused(Api(QStringLiteral("file:///api")));
    bool ended = false;
    testsupport::captureStdout([&] { refused.fetchList([&] { ended = true; }); });
    EXPECT_TRUE(ended);
    EXPECT_TRUE(refused.hasFetched());
    EXPECT_FALSE(refused.isLoading());
    ASSERT_TRUE(refused.lastFailure());
    EXPECT_EQ(refused.lastFailure()->reason, ApiError::Reason::couldNotCreateRequest);

    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    service.reply(FeedbackTestService::listPath, encodeJson(ListWishResponse{}), 200, 300);
    bool called = false;
    testsupport::captureStdout([&] {
        auto model = std::make_unique<WishModel>(service.api());
        model->fetchList([&] { called = true; });
        testsupport::waitUntil([&] { return service.server().requestCount(FeedbackTestService::listPath) == 1; });
        model.reset();
        testsupport::spin(600);
    });
    EXPECT_FALSE(called);
}

TEST(Voting, GuardsAndDirection)
{
    using Kind = AlertModel::AlertReason::Kind;
    const struct {
        WishState state;
        bool voted;
        bool allowUndo;
        std::optional<Kind> refusal;
        int direction;
    } cases[] = {
        {WishState::implemented, false, false, Kind::alreadyImplemented, 0},
        {WishState::implemented, true, true, Kind::alreadyImplemented, 0},
        {WishState::completed, false, false, std::nullopt, 1},
        {WishState::pending, true, false, Kind::alreadyVoted, 0},
        {WishState::pending, true, true, std::nullopt, -1},
        {WishState::rejected, false, true, std::nullopt, 1},
    };
    for (const auto& c : cases) {
        const VotePlan plan = planVote(c.state, c.voted, c.allowUndo);
        EXPECT_EQ(plan.refusal ? std::optional(plan.refusal->kind()) : std::nullopt, c.refusal) << rawValue(c.state).toStdString();
        if (!plan.refusal) {
            EXPECT_EQ(plan.direction, c.direction) << rawValue(c.state).toStdString();
        }
    }

    const QUuid me = QUuid::createUuid();
    WishResponse wish = makeWish(QStringLiteral("Mine"), WishState::planned, 2, me);
    EXPECT_FALSE(isVotedBy(wish, me)); // authors do not vote by creating
    wish.votingUsers.append(UserResponse{me});
    EXPECT_TRUE(isVotedBy(wish, me));
}
