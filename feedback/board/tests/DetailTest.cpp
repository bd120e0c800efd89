// A request's detail: its comments, writing one, and what the configuration hides.

#include "BoardFixture.h"

#include "feedback/board/BoardButtons.h"
#include "feedback/board/Comments.h"
#include "feedback/board/DetailWishView.h"
#include "feedback/board/WishCard.h"
#include "feedback/board/WishVoting.h"
#include "testsupport/CapturedStdout.h"

#include <QLabel>
#include <QLineEdit>

using namespace plendra;
using namespace plendra::testing;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

CommentResponse comment(const QString& text, bool isAdmin = false,
                        const QDateTime& createdAt = QDateTime(QDate(2024, 3, 5), QTime(12, 0), Qt::UTC))
{
    return {QUuid::createUuid(), QUuid::createUuid(), text, createdAt, isAdmin};
}

QStringList shownComments(const DetailWishView& detail)
{
    QStringList texts;
    for (const SingleCommentView* card : detail.comments()->cards())
        texts.append(card->text());
    return texts;
}

void type(CommentFieldView& field, const QString& text)
{
    field.lineEdit()->clear();
    QTest::keyClicks(field.lineEdit(), text);
}

} // namespace

using Detail = BoardTest;

TEST_F(Detail, ShowsTheCommentsAsCardsInTheirOrder)
{
    WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned, 1);
    wish.commentList = {comment(QStringLiteral("first"), true), comment(QStringLiteral("second")),
                        comment(QStringLiteral("third"))};
    DetailWishView detail(wish, {}, {});
    const QList<SingleCommentView*> cards = detail.comments()->cards();
    ASSERT_EQ(cards.size(), 3);
    EXPECT_EQ(shownComments(detail), QStringList({"first", "second", "third"}));
    EXPECT_EQ(cards[0]->author(), QStringLiteral("Admin"));
    EXPECT_EQ(cards[1]->author(), QStringLiteral("User"));
    EXPECT_EQ(cards[0]->date(), QStringLiteral("03/05/24"));

    DetailWishView empty(makeWish(QStringLiteral("Quiet"), WishState::planned), {}, {});
    EXPECT_TRUE(empty.commentField());
    EXPECT_TRUE(empty.comments()->cards().isEmpty());
}

TEST_F(Detail, AcceptedCommentsGoOnTopAndEmptyTheField)
{
    WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned, 1);
    wish.commentList = {comment(QStringLiteral("older"))};
    service.server().setResponses(FeedbackTestService::commentPath,
                                  {{200, encodeJson(comment(QStringLiteral("  one  ")))},
                                   {200, encodeJson(comment(QStringLiteral("two")))}});
    DetailWishView detail(wish, {}, {});
    detail.show();
    CommentFieldView& field = *detail.commentField();
    for (const QString& text : {QStringLiteral("  one  "), QStringLiteral("two")}) {
        type(field, text);
        ASSERT_TRUE(field.sendButton()->isEnabled());
        field.sendButton()->click();
        EXPECT_TRUE(detail.commentModel().isLoading());
        EXPECT_TRUE(field.spinner()->isVisible());
        EXPECT_FALSE(field.sendButton()->isVisible()) << "no second send while one runs";
        ASSERT_TRUE(waitUntil([&] { return !detail.commentModel().isLoading(); }));
        EXPECT_EQ(field.lineEdit()->text(), QString());
        EXPECT_FALSE(field.spinner()->isVisible());
    }
    EXPECT_EQ(shownComments(detail), QStringList({"two", "  one  ", "older"}));
    EXPECT_EQ(detail.commentList().size(), 3);
    // Sent exactly as typed, for this request.
    const auto sent = service.server().requests(FeedbackTestService::commentPath);
    ASSERT_EQ(sent.size(), 2);
    const auto body = decodeJson<CreateCommentRequest>(sent[0].body);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->description, QStringLiteral("  one  "));
    EXPECT_EQ(body->wishId, wish.id);
}

TEST_F(Detail, AFailedCommentKeepsItsTextAndShowsTheReasonUnderTheField)
{
    service.reply(FeedbackTestService::commentPath, "not json", 502);
    DetailWishView detail(makeWish(QStringLiteral("Tabs"), WishState::planned), {}, {});
    detail.show();
    CommentFieldView& field = *detail.commentField();
    type(field, QStringLiteral("keep me"));
    const QString printed = testsupport::captureStdout([&] {
        field.sendButton()->click();
        waitUntil([&] { return !detail.commentModel().isLoading(); });
    });
    EXPECT_EQ(field.lineEdit()->text(), QStringLiteral("keep me"));
    EXPECT_FALSE(field.spinner()->isVisible());
    EXPECT_TRUE(field.sendButton()->isVisible());
    EXPECT_TRUE(detail.commentFailure()->isVisible());
    EXPECT_EQ(detail.commentFailure()->text(), QStringLiteral("Could not send the comment. Could not decode backend response."));
    EXPECT_TRUE(printed.contains(QStringLiteral("\n❌ The operation could not be completed: Could not decode backend response.\n")))
        << printed.toStdString();
    EXPECT_TRUE(detail.comments()->cards().isEmpty());

    // The next send takes the note away.
    service.reply(FeedbackTestService::commentPath, encodeJson(comment(QStringLiteral("keep me"))));
    field.sendButton()->click();
    EXPECT_FALSE(detail.commentFailure()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return detail.comments()->cards().size() == 1; }));
}

TEST_F(Detail, TheSendButtonWantsMoreThanBlanksAndReturnSendsNothing)
{
    DetailWishView detail(makeWish(QStringLiteral("Tabs"), WishState::planned), {}, {});
    detail.show();
    CommentFieldView& field = *detail.commentField();
    const struct {
        QString text;
        bool enabled;
    } cases[] = {{QString(), false}, {QStringLiteral("   "), false}, {QStringLiteral("\t"), true},
                 {QStringLiteral(" a "), true}};
    for (const auto& c : cases) {
        detail.commentModel().setNewCommentValue(c.text);
        EXPECT_EQ(field.lineEdit()->text(), c.text);
        EXPECT_EQ(field.sendButton()->isEnabled(), c.enabled) << '"' << c.text.toStdString() << '"';
    }
    // A line feed cannot be typed in one line; it still counts as something when it is the text.
    detail.commentModel().setNewCommentValue(QStringLiteral("\n"));
    EXPECT_TRUE(field.sendButton()->isEnabled());

    type(field, QStringLiteral("hello"));
    EXPECT_EQ(detail.commentModel().newCommentValue(), QStringLiteral("hello"));
    QTest::keyClick(field.lineEdit(), Qt::Key_Return);
    spin(200);
    EXPECT_EQ(service.server().requestCount(FeedbackTestService::commentPath), 0);
}

TEST_F(Detail, HiddenCommentSectionShowsTheCardAlone)
{
    configure([](Configuration& config) { config.commentSection = Configuration::Display::hide; });
    WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned);
    wish.commentList = {comment(QStringLiteral("not shown"))};
    DetailWishView detail(wish, {}, {});
    EXPECT_TRUE(detail.card());
    EXPECT_FALSE(detail.commentField());
    EXPECT_FALSE(detail.comments());
    EXPECT_FALSE(detail.findChild<SeparatorView*>());
}

TEST_F(Detail, CloseButtonAndVoteGoToThePresenter)
{
    WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned);
    service.reply(FeedbackTestService::votePath, encodeJson(VoteWishResponse{wish.id, {}}));
    int closes = 0, votes = 0;
    DetailWishView detail(wish, [&] { ++votes; }, [&] { ++closes; });
    detail.show();
    detail.findChild<CloseButton*>()->click();
    EXPECT_EQ(closes, 1);
    detail.card()->voting().vote();
    ASSERT_TRUE(waitUntil([&] { return votes == 1; }));

    DetailWishView withoutClose(wish, {}, {});
    withoutClose.findChild<CloseButton*>()->click(); // does nothing, and does not crash
}
