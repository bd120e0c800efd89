// Times decoding and partitioning a list answer of 1,000 requests with 5 comments each (about
// 1.5 MB) beside `jq .` reading the same body, and the whole fetch through the board model from a
// service on 127.0.0.1 (request sent to lists published).
// Usage: bench_feedback [runs]. Needs jq on the PATH (bench/feedback/setup.sh).

#include "WishListBody.h"
#include "feedback/Records.h"
#include "feedback/WishModel.h"
#include "testsupport/HttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace plendra;

namespace {

constexpr int wishCount = 1000;
constexpr int commentsEach = 5;

QByteArray makeBody()
{
    using enum WishState;
    return bench::makeWishListBody(wishCount, commentsEach,
                                   {pending, inReview, approved, planned, inProgress, completed, implemented, rejected});
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const QByteArray body = makeBody();
    std::printf("body: %d requests, %d comments each, %.2f MB\n", wishCount, commentsEach, body.size() / 1e6);

    QTemporaryFile bodyFile;
    if (!bodyFile.open() || bodyFile.write(body) != body.size() || !bodyFile.flush()) {
        std::fprintf(stderr, "could not write the body to a temporary file\n");
        return 1;
    }

    const QUuid me = QUuid::createUuid();
    qsizetype kept = 0;
    const auto decodeAndPartition = [&] {
        QElapsedTimer timer;
        timer.start();
        const std::optional<ListWishResponse> decoded = decodeJson<ListWishResponse>(body);
        if (!decoded)
            return -1.0;
        kept = WishLists::partition(decoded->list, me).all.size();
        return timer.nsecsElapsed() / 1e6;
    };
    const auto parseOnly = [&] {
        QElapsedTimer timer;
        timer.start();
        const bool parsed = parseJsonObject(body).has_value();
        return parsed ? timer.nsecsElapsed() / 1e6 : -1.0;
    };
    const auto runJq = [&] {
        QProcess jq;
        jq.setStandardInputFile(bodyFile.fileName());
        jq.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        jq.start(QStringLiteral("jq"), {QStringLiteral(".")});
        const bool ran = jq.waitForFinished(60000) && jq.exitStatus() == QProcess::NormalExit && jq.exitCode() == 0;
        return ran ? timer.nsecsElapsed() / 1e6 : -1.0;
    };
    // The whole fetch: request out, answer in over HTTP, decoded and published by the model.
    testsupport::HttpServer server;
    if (!server.listen()) {
        std::fprintf(stderr, "could not listen on 127.0.0.1\n");
        return 1;
    }
    server.setResponse("/api/wish/list", {200, body});
    WishModel model(Api(server.url(QStringLiteral("/api")).toString()));
    const auto fetch = [&] {
        bool done = false;
        QElapsedTimer timer;
        timer.start();
        model.fetchList([&] { done = true; });
        const QDeadlineTimer deadline(30000);
        while (!done && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return done && !model.lastFailure() ? timer.nsecsElapsed() / 1e6 : -1.0;
    };

    // Rounds interleave the measures, so that a busy moment of the machine weighs on all alike.
    std::vector<double> decodeTimes, parseTimes, jqTimes, fetchTimes;
    for (int run = 0; run < runs; ++run) {
        decodeTimes.push_back(decodeAndPartition());
        parseTimes.push_back(parseOnly());
        jqTimes.push_back(runJq());
        fetchTimes.push_back(fetch());
        for (const auto* times : {&decodeTimes, &parseTimes, &jqTimes, &fetchTimes}) {
            if (times->back() < 0) {
                std::fprintf(stderr, "%s failed\n",
                             times == &jqTimes      ? "jq (bench/feedback/setup.sh installs it)"
                                 : times == &fetchTimes ? "the fetch from the local service"
                                                        : "decoding the body");
                return 1;
            }
        }
    }

    const double decode = median(decodeTimes);
    const double jq = median(jqTimes);
    const double whole = median(fetchTimes);
    std::printf("decode + partition: %8.2f ms median of %d (%lld requests in the lists)\n", decode, runs,
                static_cast<long long>(kept));
    std::printf("  of which parsing: %8.2f ms median of %d\n", median(parseTimes), runs);
    std::printf("jq . on the body:   %8.2f ms median of %d (process included)\n", jq, runs);
    std::printf("fetch from 127.0.0.1 to published lists: %8.2f ms median of %d\n", whole, runs);
    std::printf("jq / decode: %.2fx; jq / whole fetch: %.2fx\n", jq / decode, jq / whole);
    return 0;
}
