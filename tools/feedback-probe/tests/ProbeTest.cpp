#include "feedback/testing/FeedbackTestService.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QProcess>

using plendra::testing::FeedbackTestService;

namespace {

struct ProbeRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the probe against `service` while the event loop serves it.
ProbeRun probe(FeedbackTestService& service, const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("plendra-url"), service.baseURL());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(FEEDBACK_PROBE), arguments);
    testsupport::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 20000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(FeedbackProbe, SendsOneRequestAndPrintsTheResultOrTheReason)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    service.replyWithList({plendra::testing::makeWish(QStringLiteral("Tabs"), plendra::WishState::planned, 1)}, true);
    service.reply(FeedbackTestService::votePath, R"({"reason":"wrongBearerToken"})", 401);
    service.reply(FeedbackTestService::createWishPath, R"({"title":"T","description":"D","state":"pending"})");

    const ProbeRun list = probe(service, {QStringLiteral("list")});
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.startsWith(QStringLiteral("🌐 API | GET | %1/wish/list\n").arg(service.baseURL())));
    const QString json = list.out.section(u'\n', 1);
    EXPECT_EQ(QJsonDocument::fromJson(json.toUtf8()).object().value(QStringLiteral("shouldShowWatermark")), true)
        << list.out.toStdString();

    const ProbeRun vote = probe(service, {QStringLiteral("vote"), QStringLiteral("6f1c2d3e-4a5b-4c6d-8e9f-0a1b2c3d4e5f")});
    EXPECT_EQ(vote.exitCode, 1);
    EXPECT_EQ(vote.err, QStringLiteral("feedback-probe: wrongBearerToken: Wrong Bearer Token.\n"));
    EXPECT_TRUE(vote.out.contains(QStringLiteral("❌ Line: 60 | Api | Wrong Bearer Token..\n")));

    const ProbeRun create = probe(service, {QStringLiteral("create"), QStringLiteral("T"), QStringLiteral("D")});
    EXPECT_EQ(create.exitCode, 0) << create.err.toStdString();
    const auto created = service.server().requests(FeedbackTestService::createWishPath);
    ASSERT_EQ(created.size(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(created[0].body), QJsonDocument::fromJson(R"({"title":"T","description":"D","state":"pending"})"));

    const int sent = service.server().requests().size();
    for (const QStringList& bad : {QStringList{}, QStringList{QStringLiteral("comment"), QStringLiteral("42"), QStringLiteral("hi")},
                                   QStringList{QStringLiteral("list"), QStringLiteral("extra")}, QStringList{QStringLiteral("frob")}}) {
        const ProbeRun refused = probe(service, bad);
        EXPECT_EQ(refused.exitCode, 2) << bad.join(u' ').toStdString();
        EXPECT_EQ(refused.err.count(u'\n'), 1) << refused.err.toStdString();
    }
    EXPECT_EQ(service.server().requests().size(), sent);

    const ProbeRun help = probe(service, {QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: feedback-probe list\n")));
}
