// Closing the board, a sheet or a card while its reply is still on the way: the late reply is
// dropped, nothing crashes and nothing opens.

#include "BoardFixture.h"

#include "feedback/board/CreateWishView.h"
#include "feedback/board/DetailWishView.h"
#include "feedback/board/WishCard.h"
#include "feedback/board/WishVoting.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace plendra;
using namespace plendra::testing;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

constexpr int delayMs = 500;

bool anyAlertOpen()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(widget) && widget->isVisible())
            return true;
    }
    return false;
}

} // namespace

using LateReplies = BoardTest;

TEST_F(LateReplies, AreDroppedWhenTheirViewHasClosed)
{
    WishResponse wish = makeWish(QStringLiteral("Tabs"), WishState::planned, 1);
    service.server().setResponse(FeedbackTestService::listPath,
                                 {200, encodeJson(ListWishResponse{{wish}, false}), {}, delayMs});
    service.reply(FeedbackTestService::votePath, encodeJson(VoteWishResponse{wish.id, {}}), 200, delayMs);
    service.reply(FeedbackTestService::commentPath,
                  encodeJson(CommentResponse{QUuid::createUuid(), QUuid::createUuid(), QStringLiteral("c"),
                                             QDateTime::currentDateTimeUtc(), false}),
                  200, delayMs);
    service.reply(FeedbackTestService::createWishPath,
                  encodeJson(CreateWishResponse{QStringLiteral("T"), QStringLiteral("D"), WishState::pending}), 200,
                  delayMs);
    QWidget window;
    window.show();
    const auto closeWhileAnswered = [&](const char* path, const std::function<void()>& close) {
        const int before = service.server().requestCount(path);
        ASSERT_TRUE(waitUntil([&] { return service.server().requestCount(path) == before + 1; })) << path;
        close();
        spin(delayMs + 300);
        EXPECT_FALSE(anyAlertOpen()) << path;
    };

    // The board, while its first list is on the way.
    {
        auto* board = new FeedbackListView(&window);
        board->show();
        closeWhileAnswered(FeedbackTestService::listPath, [&] { delete board; });
    }
    // A row, while its vote is on the way: the board goes.
    {
        service.server().setResponse(FeedbackTestService::listPath, {200, encodeJson(ListWishResponse{{wish}, false})});
        auto* board = new FeedbackListView(&window);
        board->show();
        ASSERT_TRUE(waitUntil([&] { return board->container()->list()->rows().rowCount() == 1; }));
        board->container()->list()->rows().votingFor(0).vote();
        closeWhileAnswered(FeedbackTestService::votePath, [&] { delete board; });
    }
    // The detail, while a vote of its card or a comment is on the way.
    for (const char* path : {FeedbackTestService::votePath, FeedbackTestService::commentPath}) {
        QPointer<BoardSheet> sheet = DetailWishView::present(&window, wish, [] {}, [] {});
        auto* detail = qobject_cast<DetailWishView*>(sheet->content());
        if (path == FeedbackTestService::votePath) {
            detail->card()->voting().vote();
        } else {
            detail->commentModel().setNewCommentValue(QStringLiteral("c"));
            detail->submitComment();
        }
        closeWhileAnswered(path, [&] { sheet->dismiss(); });
        EXPECT_TRUE(sheet.isNull());
    }
    // The create form, while its request is on the way.
    {
        QPointer<BoardSheet> sheet = CreateWishView::present(&window, [] { ADD_FAILURE() << "no creation to report"; });
        auto* form = qobject_cast<CreateWishView*>(sheet->content());
        form->titleField()->setText(QStringLiteral("T"));
        form->descriptionField()->setPlainText(QStringLiteral("D"));
        form->save();
        closeWhileAnswered(FeedbackTestService::createWishPath, [&] { delete sheet.data(); });
    }
    // A card alone, while its vote is on the way.
    {
        auto* card = new WishView(wish, WishViewKind::list, [] { ADD_FAILURE() << "the card is gone"; }, &window);
        card->voting().vote();
        closeWhileAnswered(FeedbackTestService::votePath, [&] { delete card; });
    }
}
