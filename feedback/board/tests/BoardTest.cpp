// The board and its list: when it fetches, the filter and its counts, the layers over the list,
// failures of the fetch, rows that keep their vote state across a refetch, and the header.

#include "BoardFixture.h"

#include "feedback/UserIdentity.h"
#include "feedback/board/BoardButtons.h"
#include "feedback/board/CreateWishView.h"
#include "feedback/board/DetailWishView.h"
#include "feedback/board/WishVoting.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace plendra;
using namespace plendra::testing;
using testsupport::spin;
using testsupport::waitUntil;

namespace {

QStringList pickerEntries(const WishlistContainer& container)
{
    QStringList entries;
    for (int i = 0; i < container.picker()->count(); ++i)
        entries.append(container.picker()->itemText(i));
    return entries;
}

QStringList rowTitles(const WishlistView& list)
{
    QStringList titles;
    for (int row = 0; row < list.rows().rowCount(); ++row)
        titles.append(list.rows().wish(row).title);
    return titles;
}

} // namespace

using Board = BoardTest;

TEST_F(Board, FetchesWhenOpenedAfterEachActionAndNeverWhileIdle)
{
    WishResponse tabs = makeWish(QStringLiteral("Tabs"), WishState::planned, 3);
    service.replyWithList({tabs, makeWish(QStringLiteral("Export"), WishState::inReview, 1)});
    service.reply(FeedbackTestService::votePath, encodeJson(VoteWishResponse{tabs.id, {}}));
    service.reply(FeedbackTestService::createWishPath,
                  encodeJson(CreateWishResponse{QStringLiteral("T"), QStringLiteral("D"), WishState::pending}));

    configure([](Configuration& config) {
        config.buttons.addButton.location = Configuration::AddButton::Location::navigationBar;
    });
    // Opening: the container's fetch, then one more when the rows come on screen.
    auto board = openBoard();
    WishlistView& rows = list(*board);
    EXPECT_EQ(listRequests(), 2);
    EXPECT_EQ(rowTitles(rows), QStringList({QStringLiteral("Tabs"), QStringLiteral("Export")}));

    // A vote adds one, once it has been answered.
    clickVote(rows, 0);
    ASSERT_TRUE(waitUntil([&] { return listRequests() == 3; }));
    EXPECT_EQ(voteRequests(), 1);
    EXPECT_FALSE(rows.detailSheet()) << "the vote button does not open the detail";

    // Opening the detail adds nothing; closing it adds one.
    clickRow(rows, 1);
    ASSERT_TRUE(rows.detailSheet());
    spin(200);
    EXPECT_EQ(listRequests(), 3);
    rows.detailSheet()->reject();
    ASSERT_TRUE(waitUntil([&] { return listRequests() == 4; }));

    // A creation adds one after its success is confirmed; Refresh adds one.
    ASSERT_TRUE(board->container()->createButton());
    board->container()->createButton()->click();
    auto* form = qobject_cast<CreateWishView*>(board->container()->createSheet()->content());
    form->titleField()->setText(QStringLiteral("T"));
    form->descriptionField()->setPlainText(QStringLiteral("D"));
    form->save();
    QMessageBox* success = waitForAlert(form, "resultAlert");
    ASSERT_TRUE(success);
    accept(success);
    ASSERT_TRUE(waitUntil([&] { return listRequests() == 5; }));
    board->container()->refreshButton()->click();
    ASSERT_TRUE(waitUntil([&] { return listRequests() == 6; }));

    // Idle, with the rows repainted and the filter switched to and fro: nothing more.
    board->container()->picker()->setCurrentIndex(3);
    board->container()->picker()->setCurrentIndex(0);
    board->update();
    spin(5000);
    EXPECT_EQ(listRequests(), 6);
}

TEST_F(Board, FilterEntriesCountTheirListsAndShowItsRowsByVotes)
{
    const QUuid me = userUUID();
    service.replyWithList({
        makeWish(QStringLiteral("mine"), WishState::pending, 2, me),
        makeWish(QStringLiteral("theirs"), WishState::pending, 9),
        makeWish(QStringLiteral("review"), WishState::inReview, 1),
        makeWish(QStringLiteral("approved"), WishState::approved, 4),
        makeWish(QStringLiteral("planned"), WishState::planned, 3),
        makeWish(QStringLiteral("progress"), WishState::inProgress, 0),
        makeWish(QStringLiteral("done"), WishState::completed, 5),
        makeWish(QStringLiteral("shipped"), WishState::implemented, 6),
        makeWish(QStringLiteral("rejected"), WishState::rejected, 8),
    });
    auto board = std::make_unique<FeedbackListView>();
    WishlistContainer& container = *board->container();
    EXPECT_EQ(pickerEntries(container),
              QStringList({"All (0)", "Pending (0)", "In Review (0)", "Planned (0)", "In Progress (0)", "Completed (0)"}));
    board->show();
    ASSERT_TRUE(waitUntil([&] { return container.model().hasFetched(); }));
    EXPECT_EQ(pickerEntries(container),
              QStringList({"All (7)", "Pending (1)", "In Review (2)", "Planned (1)", "In Progress (1)", "Completed (2)"}));

    const struct {
        int entry;
        QStringList rows;
    } cases[] = {
        {0, {"shipped", "done", "approved", "planned", "mine", "review", "progress"}},
        {1, {"mine"}},
        {2, {"approved", "review"}},
        {5, {"shipped", "done"}},
    };
    for (const auto& c : cases) {
        container.picker()->setCurrentIndex(c.entry);
        EXPECT_EQ(rowTitles(*container.list()), c.rows) << container.picker()->currentText().toStdString();
    }

    // A text of the configuration renames its entry at the next rebuild; "All" is fixed.
    configure([](Configuration& config) {
        config.localization.planned = QStringLiteral("Soon");
        config.localization.noFeatureRequests = QStringLiteral("nothing");
    });
    board->hide();
    board->show();
    EXPECT_EQ(container.picker()->itemText(3), QStringLiteral("Soon (1)"));
    EXPECT_EQ(container.picker()->itemText(0), QStringLiteral("All (7)"));
}

TEST_F(Board, LayersFollowTheFetchAndTheChosenEntry)
{
    service.server().setResponse(FeedbackTestService::listPath,
                                 {200, encodeJson(ListWishResponse{{makeWish(QStringLiteral("Tabs"), WishState::planned)}, true}), {}, 300});
    FeedbackListView board;
    board.resize(720, 640);
    board.show();
    WishlistView& rows = list(board);
    // Before the first answer: the spinner alone.
    EXPECT_TRUE(rows.loadingIndicator()->isVisible());
    EXPECT_FALSE(rows.emptyText()->isVisible());
    EXPECT_FALSE(rows.listView()->isVisible());
    EXPECT_FALSE(rows.watermark()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return rows.listView()->isVisible(); }));
    EXPECT_FALSE(rows.loadingIndicator()->isVisible());
    EXPECT_TRUE(rows.watermark()->isVisible());
    EXPECT_EQ(rows.watermark()->text(), QStringLiteral("Powered by 127.0.0.1"));

    // An entry without requests shows the empty text once the fetches have ended.
    ASSERT_TRUE(waitUntil([&] { return !board.container()->model().isLoading(); }));
    board.container()->picker()->setCurrentIndex(1);
    EXPECT_FALSE(rows.listView()->isVisible());
    EXPECT_TRUE(rows.emptyText()->isVisible());
    EXPECT_EQ(rows.emptyText()->text(), QStringLiteral("No feature requests, yet ✨"));
    board.container()->picker()->setCurrentIndex(0);
    EXPECT_TRUE(rows.listView()->isVisible());
    EXPECT_FALSE(rows.emptyText()->isVisible());
}

TEST_F(Board, FailedFetchShowsItsReasonAndRefreshThenKeepsTheListWithANote)
{
    testsupport::HttpServer::Response refused{401, R"({"reason":"wrongBearerToken"})"};
    testsupport::HttpServer::Response answer{200, encodeJson(ListWishResponse{{makeWish(QStringLiteral("Tabs"), WishState::planned)}, false})};
    service.server().setResponses(FeedbackTestService::listPath, {refused, answer, answer, refused});
    FeedbackListView board;
    board.resize(720, 640);
    board.show();
    WishlistView& rows = list(board);
    ASSERT_TRUE(waitUntil([&] { return board.container()->model().hasFetched(); }));
    EXPECT_TRUE(rows.failurePage()->isVisible());
    EXPECT_TRUE(rows.failureReason()->text().contains(QStringLiteral("Wrong Bearer Token.")));
    EXPECT_FALSE(rows.emptyText()->isVisible()) << "a failure is not an empty board";

    // The page's Refresh fetches: the list comes, and its rows' appearance fetches once more.
    auto* refresh = rows.failurePage()->findChild<QPushButton*>();
    ASSERT_TRUE(refresh);
    refresh->click();
    ASSERT_TRUE(waitUntil([&] { return listRequests() == 3 && !board.container()->model().isLoading(); }));
    EXPECT_TRUE(rows.listView()->isVisible());
    EXPECT_FALSE(rows.failurePage()->isVisible());
    EXPECT_FALSE(rows.staleNote()->isVisible());

    // A later failure keeps the rows and says so in one line.
    board.container()->refreshButton()->click();
    ASSERT_TRUE(waitUntil([&] { return listRequests() == 4 && !board.container()->model().isLoading(); }));
    EXPECT_TRUE(rows.listView()->isVisible());
    EXPECT_EQ(rows.rows().rowCount(), 1);
    EXPECT_FALSE(rows.failurePage()->isVisible());
    EXPECT_TRUE(rows.staleNote()->isVisible());
    EXPECT_EQ(rows.staleNote()->text(), QStringLiteral("Could not refresh: Wrong Bearer Token."));
}

TEST_F(Board, RefreshSaysRefreshingUntilItsFetchEndsWhateverTheOutcome)
{
    for (const int status : {200, 500}) {
        const QByteArray body = status == 200 ? encodeJson(ListWishResponse{}) : QByteArray("<html>");
        service.server().setResponse(FeedbackTestService::listPath, {status, body, {}, 0});
        auto board = openBoard(1);
        service.server().setResponse(FeedbackTestService::listPath, {status, body, {}, 300});
        QPushButton* refresh = board->container()->refreshButton();
        EXPECT_EQ(refresh->text(), QStringLiteral("Refresh"));
        refresh->click();
        EXPECT_EQ(refresh->text(), QStringLiteral("Refreshing.."));
        ASSERT_TRUE(waitUntil([&] { return refresh->text() == QStringLiteral("Refresh"); })) << status;
        EXPECT_FALSE(board->container()->model().isLoading());
    }
}

TEST_F(Board, ARowKeepsItsVoteInFlightAcrossARefetch)
{
    WishResponse tabs = makeWish(QStringLiteral("Tabs"), WishState::planned, 3);
    service.replyWithList({tabs, makeWish(QStringLiteral("Export"), WishState::planned, 1)});
    auto board = openBoard();
    WishlistView& rows = list(*board);
    service.reply(FeedbackTestService::votePath, encodeJson(VoteWishResponse{tabs.id, {}}), 200, 800);
    clickVote(rows, 0);
    WishVoting* voting = rows.rows().voting(0);
    ASSERT_TRUE(voting);
    EXPECT_TRUE(voting->isVoting());

    // A refetch brings another count and another order while the vote runs: the shown count
    // stays, and the same state follows the request to its new row.
    WishResponse moreVotes = tabs;
    for (int i = 0; i < 4; ++i)
        moreVotes.votingUsers.append(UserResponse{QUuid::createUuid()});
    WishResponse export_ = rows.rows().wish(1);
    for (int i = 0; i < 9; ++i)
        export_.votingUsers.append(UserResponse{QUuid::createUuid()});
    service.replyWithList({moreVotes, export_});
    board->container()->refresh();
    ASSERT_TRUE(waitUntil([&] { return rows.rows().wish(1).id == tabs.id; }));
    EXPECT_EQ(rows.rows().voting(1), voting);
    EXPECT_TRUE(voting->isVoting());
    EXPECT_EQ(voting->voteCount(), 3);

    // The success counts the vote on what was shown; the fetch it starts brings the count.
    WishResponse counted = moreVotes;
    counted.votingUsers.append(UserResponse{userUUID()});
    service.server().setResponse(FeedbackTestService::listPath,
                                 {200, encodeJson(ListWishResponse{{counted, export_}, false}), {}, 300});
    ASSERT_TRUE(waitUntil([&] { return !voting->isVoting(); }));
    EXPECT_EQ(voting->voteCount(), 4);
    EXPECT_TRUE(voting->isVotedByCurrentUser());
    ASSERT_TRUE(waitUntil([&] { return voting->voteCount() == 8; }));
}

TEST_F(Board, KeysOpenAndVoteTheCurrentRow)
{
    WishResponse tabs = makeWish(QStringLiteral("Tabs"), WishState::planned, 3);
    service.replyWithList({tabs, makeWish(QStringLiteral("Export"), WishState::planned, 1)});
    service.reply(FeedbackTestService::votePath, encodeJson(VoteWishResponse{tabs.id, {}}));
    auto board = openBoard();
    WishlistView& rows = list(*board);
    QListView* view = rows.listView();
    view->setFocus();
    view->setCurrentIndex(rows.rows().index(0));
    QTest::keyClick(view, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return voteRequests() == 1; }));
    EXPECT_FALSE(rows.detailSheet());
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(rows.detailSheet());
    EXPECT_EQ(qobject_cast<DetailWishView*>(rows.detailSheet()->content())->wish().title, QStringLiteral("Export"));
}

TEST_F(Board, ServiceTextsAreShownAsPlainText)
{
    // An image in a title or comment would be fetched if it were read as markup.
    testsupport::HttpServer images;
    ASSERT_TRUE(images.listen());
    const QString image = QStringLiteral("<img src=\"%1\"><b>bold</b>").arg(images.url(QStringLiteral("/pixel.png")).toString());
    WishResponse wish = makeWish(image, WishState::planned, 1);
    wish.description = image;
    wish.commentList = {CommentResponse{QUuid::createUuid(), QUuid::createUuid(), image, QDateTime::currentDateTimeUtc(), false}};
    service.replyWithList({wish});
    auto board = openBoard();
    WishlistView& rows = list(*board);
    EXPECT_EQ(rows.listView()->model()->data(rows.rows().index(0)).toString(), image);
    rows.listView()->viewport()->grab();
    clickRow(rows, 0);
    ASSERT_TRUE(rows.detailSheet());
    rows.detailSheet()->grab();
    const auto labels = rows.detailSheet()->findChildren<QLabel*>();
    ASSERT_FALSE(labels.isEmpty());
    for (const QLabel* label : labels)
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    spin(300);
    EXPECT_EQ(images.requests().size(), 0);
}

TEST_F(Board, HeaderFollowsTheConfiguration)
{
    service.replyWithList({});
    const struct {
        Configuration::Display filter;
        Configuration::AddButton::Location add;
        bool picker, create, floating;
    } cases[] = {
        {Configuration::Display::show, Configuration::AddButton::Location::navigationBar, true, true, false},
        {Configuration::Display::show, Configuration::AddButton::Location::floating, true, false, true},
        {Configuration::Display::hide, Configuration::AddButton::Location::navigationBar, false, true, false},
        {Configuration::Display::hide, Configuration::AddButton::Location::floating, false, false, true},
    };
    for (const auto& c : cases) {
        configure([&](Configuration& config) {
            config.buttons.segmentedControl.display = c.filter;
            config.buttons.addButton.location = c.add;
        });
        FeedbackListView board;
        board.resize(720, 640);
        board.show();
        WishlistContainer& container = *board.container();
        EXPECT_EQ(container.picker() != nullptr, c.picker);
        EXPECT_EQ(container.createButton() != nullptr, c.create);
        EXPECT_EQ(container.list()->addButton()->isVisible(), c.floating);
        if (c.create) {
            EXPECT_EQ(container.createButton()->text(), QStringLiteral("Create"));
        }
        // Either button opens the form.
        if (c.floating)
            QTest::mouseClick(container.list()->addButton(), Qt::LeftButton, {},
                              container.list()->addButton()->circle().center());
        else
            container.createButton()->click();
        BoardSheet* sheet = c.floating ? container.list()->createSheet() : container.createSheet();
        ASSERT_TRUE(sheet);
        EXPECT_TRUE(qobject_cast<CreateWishView*>(sheet->content()));
        sheet->dismiss();
    }
}
