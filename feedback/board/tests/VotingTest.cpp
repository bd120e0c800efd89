// A request card's vote: the guards, the minimum pulse, success and failure, the card's own state
// against newer copies of the request, and the vote button's symbol.

#include "BoardFixture.h"

#include "feedback/UserIdentity.h"
#include "feedback/board/BoardStyle.h"
#include "feedback/board/WishCard.h"
#include "feedback/board/WishVoting.h"
#include "testsupport/CapturedStdout.h"

#include <QElapsedTimer>
#include <QPainter>

using namespace plendra;
using namespace plendra::testing;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

WishResponse votedByMe(WishResponse wish)
{
    wish.votingUsers.append(UserResponse{userUUID()});
    return wish;
}

} // namespace

using Voting = BoardTest;

TEST_F(Voting, GuardsRefuseWithTheirAlertOrSendInTheirDirection)
{
    const struct {
        WishState state;
        bool voted;
        bool allowUndo;
        const char* alert; // nothing: the vote is sent
        int countAfter;
    } cases[] = {
        {WishState::implemented, false, false, "You can not vote for a feature that is already implemented.", 2},
        {WishState::implemented, true, true, "You can not vote for a feature that is already implemented.", 3},
        {WishState::planned, true, false, "You can only vote once.", 3},
        {WishState::planned, true, true, nullptr, 2},
        {WishState::completed, false, false, nullptr, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << rawValue(c.state).toStdString() << " voted " << c.voted << " undo " << c.allowUndo);
        configure([&](Configuration& config) { config.allowUndoVote = c.allowUndo; });
        WishResponse wish = makeWish(QStringLiteral("Tabs"), c.state, 2);
        if (c.voted)
            wish = votedByMe(wish);
        service.reply(FeedbackTestService::votePath, encodeJson(VoteWishResponse{wish.id, {}}));
        const int sentBefore = voteRequests();
        WishView card(wish, WishViewKind::list, [] {});
        card.resize(500, card.heightForWidth(500));
        card.show();
        QTest::mouseClick(&card, Qt::LeftButton, {}, card.voteButtonRect().center().toPoint());
        if (c.alert) {
            QMessageBox* alert = waitForAlert(&card, "voteAlert");
            EXPECT_EQ(alertText(alert), QString::fromUtf8(c.alert));
            EXPECT_FALSE(card.voting().isVoting());
            spin(100);
            EXPECT_EQ(voteRequests(), sentBefore);
        } else {
            ASSERT_TRUE(waitUntil([&] { return card.voting().isVoting(); }));
            ASSERT_TRUE(waitUntil([&] { return !card.voting().isVoting(); }));
            EXPECT_EQ(voteRequests(), sentBefore + 1);
            EXPECT_EQ(card.voting().isVotedByCurrentUser(), !c.voted);
        }
        EXPECT_EQ(card.voting().voteCount(), c.countAfter);
    }
}

TEST_F(Voting, AQuickAnswerStillPulsesForTheMinimumThenCountsAndCallsBack)
{
    WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned, 0);
    service.reply(FeedbackTestService::votePath, encodeJson(VoteWishResponse{wish.id, {}}));
    int completions = 0;
    WishVoting voting(wish, [&] { ++completions; });
    QElapsedTimer elapsed;
    elapsed.start();
    voting.vote();
    voting.vote(); // a second press while voting does nothing
    EXPECT_TRUE(voting.isVoting());
    ASSERT_TRUE(waitUntil([&] { return voteRequests() == 1; }));
    spin(100);
    // The pulse ends on a timer of the event loop, which cannot run between these lines; on a
    // machine so loaded that the answer came after the minimum, there is nothing left to see.
    if (elapsed.elapsed() + 25 < WishVoting::minimumVoteMs) {
        EXPECT_TRUE(voting.isVoting());
        EXPECT_EQ(voting.voteCount(), 0) << "the count waits for the pulse";
        EXPECT_LT(voting.voteButtonOpacity(), 1.0) << "the button pulses";
    }
    ASSERT_TRUE(waitUntil([&] { return !voting.isVoting(); }));
    EXPECT_GE(elapsed.elapsed(), WishVoting::minimumVoteMs - 5);
    EXPECT_EQ(voting.voteCount(), 1);
    EXPECT_TRUE(voting.isVotedByCurrentUser());
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(voteRequests(), 1);
    ASSERT_TRUE(waitUntil([&] { return voting.voteButtonOpacity() == 1.0 && voting.voteCountScale() == 1.0; }));
}

TEST_F(Voting, AFailedVoteKeepsTheCountAndTellsWhy)
{
    WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned, 4);
    service.reply(FeedbackTestService::votePath, R"({"reason":"missingUUIDHeaderKey"})", 400);
    int completions = 0;
    WishView card(wish, WishViewKind::detail, [&] { ++completions; });
    card.show();
    card.voting().vote();
    QMessageBox* alert = waitForAlert(&card, "voteAlert");
    EXPECT_EQ(alertText(alert), QStringLiteral("Something went wrong during your vote. Try again later.\n\n"
                                               "The operation could not be completed: Missing user header key."));
    EXPECT_EQ(card.voting().voteCount(), 4);
    EXPECT_FALSE(card.voting().isVotedByCurrentUser());
    EXPECT_EQ(completions, 0);
    // Dismissing it lets the next refusal show again.
    accept(alert);
    EXPECT_FALSE(card.voting().alertModel().showAlert());
}

TEST_F(Voting, NewerCopiesChangeTheCardOnlyWhenIdleAndOnlyWhatChanged)
{
    WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned, 2);
    service.reply(FeedbackTestService::votePath, encodeJson(VoteWishResponse{wish.id, {}}), 200, 300);
    WishVoting voting(wish, [] {});
    voting.update(votedByMe(wish));
    EXPECT_EQ(voting.voteCount(), 3);
    EXPECT_TRUE(voting.isVotedByCurrentUser());

    configure([](Configuration& config) { config.allowUndoVote = true; });
    voting.vote(); // takes the vote back
    WishResponse more = votedByMe(wish);
    more.votingUsers.append(UserResponse{QUuid::createUuid()});
    voting.update(more); // 4 voters, arriving while the vote runs: ignored
    EXPECT_EQ(voting.voteCount(), 3);
    ASSERT_TRUE(waitUntil([&] { return !voting.isVoting(); }));
    EXPECT_EQ(voting.voteCount(), 2);
    EXPECT_FALSE(voting.isVotedByCurrentUser());
    // The same copy again changes nothing; a new count is taken.
    voting.update(more);
    EXPECT_EQ(voting.voteCount(), 2);
    more.votingUsers.removeLast();
    voting.update(more);
    EXPECT_EQ(voting.voteCount(), 3);
    EXPECT_FALSE(voting.isVotedByCurrentUser()) << "the voted test's result did not change";
}

TEST_F(Voting, UnusableSymbolNamesFallBackAndSaySoOnce)
{
    const struct {
        QString name;
        QString symbol;
        QString log;
    } cases[] = {
        {QStringLiteral("heart.fill"), QStringLiteral("heart.fill"), {}},
        {QStringLiteral(" \n star.fill \t"), QStringLiteral("star.fill"), {}},
        {QStringLiteral("   "), QStringLiteral("arrowtriangle.up.fill"), QStringLiteral("Reason: Received empty upvote symbol name.")},
        {QStringLiteral(" no.such.symbol "), QStringLiteral("arrowtriangle.up.fill"),
         QStringLiteral("Reason: Received invalid SF Symbol 'no.such.symbol'.")},
        {QStringLiteral("../../etc/passwd"), QStringLiteral("arrowtriangle.up.fill"),
         QStringLiteral("Reason: Received invalid SF Symbol '../../etc/passwd'.")},
    };
    for (const auto& c : cases) {
        QString symbol;
        const QString printed = testsupport::captureStdout([&] {
            symbol = upvoteSymbolName(PlendraUpvoteIcon::systemName(c.name));
            upvoteSymbolName(PlendraUpvoteIcon::systemName(c.name));
        });
        EXPECT_EQ(symbol, c.symbol) << c.name.toStdString();
        if (c.log.isEmpty()) {
            EXPECT_EQ(printed, QString());
        } else {
            EXPECT_EQ(printed.count(u'\n'), 1) << printed.toStdString();
            EXPECT_TRUE(printed.startsWith(QStringLiteral("🐛 Line: "))) << printed.toStdString();
            EXPECT_TRUE(printed.contains(QStringLiteral(" | WishView | "))) << printed.toStdString();
            EXPECT_TRUE(printed.contains(QStringLiteral("Falling back to .arrowUpvoteIcon (arrowtriangle.up.fill). ") + c.log))
                << printed.toStdString();
        }
    }
    EXPECT_EQ(upvoteSymbolName(PlendraUpvoteIcon::thumbsUpIcon()), QStringLiteral("hand.thumbsup.fill"));
}

TEST_F(Voting, CardLookFollowsTheVotedStateAndTheBadgeSetting)
{
    configure([](Configuration& config) { config.statusBadge = Configuration::Display::show; });
    const WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::rejected, 0);
    const WishCardLook look = WishCardLook::of(wish, nullptr);
    const QRectF card(0, 0, 500, 80);
    EXPECT_FALSE(WishCardGeometry::place(look, WishViewKind::list, card, Plendra::config()).badge.isEmpty());
    EXPECT_TRUE(WishCardGeometry::place(look, WishViewKind::detail, card, Plendra::config()).badge.isEmpty());

    // The arrow is the primary colour once voted, the configured arrow colour otherwise.
    const auto arrowPixel = [&](const WishResponse& shown) {
        QImage image(500, 80, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        const WishCardLook shownLook = WishCardLook::of(shown, nullptr);
        paintWishCard(painter, shownLook, WishViewKind::list, card, Plendra::config(), Plendra::theme(),
                      Appearance::light, Qt::black);
        painter.end();
        const QRectF icon = WishCardGeometry::place(shownLook, WishViewKind::list, card, Plendra::config()).icon;
        return image.pixelColor(icon.center().toPoint() + QPoint(0, 3));
    };
    EXPECT_EQ(arrowPixel(votedByMe(wish)).rgb(), Plendra::theme().primaryColor.rgb());
    EXPECT_EQ(arrowPixel(wish).rgb(), colors::gray().rgb());
}
