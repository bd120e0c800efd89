// The feature-request board's budgets, offscreen, with a list answer of 1,000 requests (5
// comments each) from a service on 127.0.0.1, every one of them in the "All" entry:
//
//   open     from the board's first request to its rows painted. Budget: <= 150 ms. Beside it:
//            the share of the views (lists published to rows painted), the model alone (request
//            to lists published) and a bare QListView painting the same 1,000 titles from a
//            QStringListModel.
//   filter   a switch of the state filter to the entry of all 1,000 rows (from "Planned"), until
//            painted. Budget: <= 30 ms. Beside it: the bare QListView given the 1,000 titles.
//            Also with descriptions that wrap in the list (rows of their own heights).
//
// Figures are medians of --runs rounds (default 11), under a temporary HOME.
// Usage: bench_feedback_board [--runs N]

#include <benchsupport/OffscreenRun.h>

#include "../feedback/WishListBody.h"
#include "feedback/Api.h"
#include "feedback/Plendra.h"
#include "feedback/UserIdentity.h"
#include "feedback/WishModel.h"
#include "feedback/board/FeedbackListView.h"
#include "feedback/board/WishListModel.h"
#include "feedback/board/WishlistContainer.h"
#include "feedback/board/WishlistView.h"
#include "testsupport/HttpServer.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QListView>
#include <QStringListModel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace plendra;

namespace {

constexpr int wishCount = 1000;
constexpr int commentsEach = 5;
constexpr int allEntry = 0;
constexpr int plannedEntry = 3;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Notes when a widget has been painted while `ready` holds.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* widget, std::function<bool()> ready)
        : m_ready(std::move(ready))
    {
        widget->installEventFilter(this);
    }
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_ready())
            painted = true;
        return false;
    }

private:
    std::function<bool()> m_ready;
};

// Spins until `done`; the paint the watch saw has finished when processEvents returns.
bool spinUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

double elapsedMs(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

struct Figures {
    std::vector<double> open, views, model, bareOpen, filter, bareFilter, wrappedFilter;
};

bool openBoard(Figures& figures)
{
    QElapsedTimer timer;
    timer.start();
    FeedbackListView board;
    board.resize(720, 640);
    WishlistView& list = *board.container()->list();
    PaintWatch watch(list.listView()->viewport(), [&] { return list.rows().rowCount() == wishCount; });
    double published = 0;
    QObject::connect(&board.container()->model(), &WishModel::listsChanged, &board,
                     [&] { published = published ? published : elapsedMs(timer); });
    board.show();
    if (!spinUntil([&] { return watch.painted; }))
        return false;
    figures.open.push_back(elapsedMs(timer));
    figures.views.push_back(figures.open.back() - published);
    // Let the second fetch (the rows' appearance) end before the next round.
    return spinUntil([&] { return !board.container()->model().isLoading(); });
}

bool fetchModel(Figures& figures)
{
    WishModel model;
    bool done = false;
    QElapsedTimer timer;
    timer.start();
    model.fetchList([&] { done = true; });
    if (!spinUntil([&] { return done; }) || model.all().size() != wishCount)
        return false;
    figures.model.push_back(elapsedMs(timer));
    return true;
}

bool switchFilter(FeedbackListView& board, std::vector<double>& times)
{
    QComboBox& picker = *board.container()->picker();
    WishlistView& list = *board.container()->list();
    picker.setCurrentIndex(plannedEntry);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    PaintWatch watch(list.listView()->viewport(), [&] { return list.rows().rowCount() == wishCount; });
    QElapsedTimer timer;
    timer.start();
    picker.setCurrentIndex(allEntry);
    if (!spinUntil([&] { return watch.painted; }))
        return false;
    times.push_back(elapsedMs(timer));
    return true;
}

void bareList(const QStringList& titles, Figures& figures)
{
    QElapsedTimer timer;
    timer.start();
    QStringListModel model;
    QListView view;
    view.setModel(&model);
    view.setUniformItemSizes(true);
    view.resize(720, 580);
    PaintWatch watch(view.viewport(), [&] { return model.rowCount() == titles.size(); });
    view.show();
    model.setStringList(titles);
    spinUntil([&] { return watch.painted; });
    figures.bareOpen.push_back(elapsedMs(timer));

    model.setStringList(titles.mid(0, 140));
    QCoreApplication::processEvents();
    PaintWatch again(view.viewport(), [&] { return model.rowCount() == titles.size(); });
    timer.restart();
    model.setStringList(titles);
    spinUntil([&] { return again.painted; });
    figures.bareFilter.push_back(elapsedMs(timer));
}

} // namespace

int main(int argc, char** argv)
{
    const benchsupport::OffscreenRun offscreen;
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int runs = benchsupport::runs(arguments, 11);

    using enum WishState;
    const QByteArray body = bench::makeWishListBody(
        wishCount, commentsEach, {pending, inReview, approved, planned, inProgress, completed, implemented}, userUUID());
    testsupport::HttpServer server;
    if (!server.listen()) {
        std::fprintf(stderr, "could not listen on 127.0.0.1\n");
        return 1;
    }
    server.setResponse("/api/wish/list", {200, body});
    Api::setShared(Api(server.url(QStringLiteral("/api")).toString()));
    QStringList titles;
    const std::optional<ListWishResponse> decoded = decodeJson<ListWishResponse>(body);
    for (const WishResponse& wish : decoded->list)
        titles.append(wish.title);
    std::printf("body: %d requests, %d comments each, %.2f MB\n", wishCount, commentsEach, body.size() / 1e6);

    // Rounds interleave the measures, so that a busy moment of the machine weighs on all alike.
    Figures figures;
    auto board = std::make_unique<FeedbackListView>();
    board->resize(720, 640);
    board->show();
    spinUntil([&] { return board->container()->list()->rows().rowCount() == wishCount
                           && !board->container()->model().isLoading(); });
    for (int run = 0; run < runs; ++run) {
        if (!openBoard(figures) || !fetchModel(figures) || !switchFilter(*board, figures.filter)) {
            std::fprintf(stderr, "a round did not finish\n");
            return 1;
        }
        bareList(titles, figures);
    }
    // Rows of their own heights: descriptions wrap.
    Configuration config = Plendra::config();
    config.expandDescriptionInList = true;
    Plendra::setConfig(config);
    board->container()->picker()->setCurrentIndex(plannedEntry);
    for (int run = 0; run < runs; ++run) {
        if (!switchFilter(*board, figures.wrappedFilter)) {
            std::fprintf(stderr, "a round did not finish\n");
            return 1;
        }
    }

    std::printf("open: request to %d rows painted     %7.2f ms median of %d (budget 150)\n", wishCount,
                median(figures.open), runs);
    std::printf("  of which lists published to painted %7.2f ms\n", median(figures.views));
    std::printf("  the model alone, request to lists   %7.2f ms\n", median(figures.model));
    std::printf("  bare QListView, titles painted      %7.2f ms (no request)\n", median(figures.bareOpen));
    std::printf("filter switch to %d rows, painted    %7.2f ms median of %d (budget 30)\n", wishCount,
                median(figures.filter), runs);
    std::printf("  with wrapping descriptions          %7.2f ms\n", median(figures.wrappedFilter));
    std::printf("  bare QListView given the titles     %7.2f ms\n", median(figures.bareFilter));
    Api::setShared(Api(Api::baseURL()));
    return 0;
}
