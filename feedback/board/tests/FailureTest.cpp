// Every reason a call can fail for, as each of the board's surfaces shows it: the list's
// failure page, the vote alert, the line under the comment field and the create form's alert.

#include "BoardFixture.h"

#include "feedback/board/Comments.h"
#include "feedback/board/CreateWishView.h"
#include "feedback/board/DetailWishView.h"
#include "feedback/board/WishCard.h"
#include "feedback/board/WishVoting.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace plendra;
using namespace plendra::testing;
using testsupport::waitUntil;
using Reason = ApiError::Reason;

class FailureReasons : public BoardTest, public ::testing::WithParamInterface<Reason> {
protected:
    // Every endpoint fails for the reason under test.
    void SetUp() override
    {
        BoardTest::SetUp();
        const Reason reason = GetParam();
        if (reason == Reason::couldNotCreateRequest) {
            Api::setShared(Api(QStringLiteral("feedback/api")));
            return;
        }
        testsupport::HttpServer::Response response;
        if (reason == Reason::requestResultedInError) {
            response = {200, "{\"list\":"};
            response.declaredLength = 4096; // cut short
        } else if (reason == Reason::couldNotDecodeBackendResponse) {
            response = {500, "<html><body>Internal error</body></html>"};
        } else {
            response = {401, "{\"reason\":\"" + rawValue(reason).toUtf8() + "\"}"};
        }
        for (const char* path : {FeedbackTestService::listPath, FeedbackTestService::votePath,
                                 FeedbackTestService::commentPath, FeedbackTestService::createWishPath})
            service.server().setResponse(path, response);
    }
};

TEST_P(FailureReasons, EverySurfaceShowsTheReason)
{
    const QString reason = description(GetParam());
    {
        FeedbackListView board;
        board.show();
        ASSERT_TRUE(waitUntil([&] { return board.container()->model().hasFetched(); }));
        WishlistView& rows = list(board);
        EXPECT_TRUE(rows.failurePage()->isVisible());
        EXPECT_FALSE(rows.emptyText()->isVisible());
        EXPECT_EQ(rows.failureReason()->text(), QStringLiteral("Could not load the feature requests.\n") + reason);
    }
    const WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned, 2);
    {
        WishView card(wish, WishViewKind::list, [] {});
        card.show();
        card.voting().vote();
        EXPECT_EQ(alertText(waitForAlert(&card, "voteAlert")),
                  QStringLiteral("Something went wrong during your vote. Try again later.\n\n"
                                 "The operation could not be completed: ")
                      + reason);
        EXPECT_EQ(card.voting().voteCount(), 2);
    }
    {
        DetailWishView detail(wish, {}, {});
        detail.show();
        detail.commentModel().setNewCommentValue(QStringLiteral("hello"));
        detail.submitComment();
        ASSERT_TRUE(waitUntil([&] { return !detail.commentModel().isLoading(); }));
        EXPECT_EQ(detail.commentFailure()->text(), QStringLiteral("Could not send the comment. ") + reason);
        EXPECT_EQ(detail.commentField()->lineEdit()->text(), QStringLiteral("hello"));
    }
    {
        CreateWishView form({}, {});
        form.show();
        form.titleField()->setText(QStringLiteral("Tabs"));
        form.descriptionField()->setPlainText(QStringLiteral("Please"));
        form.save();
        EXPECT_EQ(alertText(waitForAlert(&form, "resultAlert")), QStringLiteral("Info|") + reason);
        EXPECT_EQ(form.titleField()->text(), QStringLiteral("Tabs"));
    }
}

INSTANTIATE_TEST_SUITE_P(, FailureReasons,
                         ::testing::Values(Reason::requestResultedInError, Reason::wrongBearerToken, Reason::unknown,
                                           Reason::couldNotCreateRequest, Reason::couldNotDecodeBackendResponse,
                                           Reason::missingApiHeaderKey, Reason::missingUUIDHeaderKey),
                         [](const ::testing::TestParamInfo<Reason>& info) { return rawValue(info.param).toStdString(); });
