#include "feedback/Api.h"
#include "feedback/Plendra.h"
#include "feedback/UserIdentity.h"
#include "feedback/testing/FeedbackTestService.h"
#include "platform/UserDefaults.h"
#include "testsupport/CapturedStdout.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/QtPrinting.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QRegularExpression>

#include <set>
#include <thread>

using namespace plendra;
using namespace std::chrono_literals;
using plendra::testing::FeedbackTestService;
using plendra::testing::awaitResult;
using plendra::testing::makeWish;
using Response = testsupport::HttpServer::Response;
using Reason = ApiError::Reason;

namespace {

const QByteArray validList = encodeJson(ListWishResponse{{makeWish(QStringLiteral("Tabs"), WishState::planned, 2)}, true});

std::optional<ApiResult<ListWishResponse>> fetchList(const Api& api, QObject* context)
{
    const std::optional<ApiRequest> request = api.makeListWishRequest();
    if (!request)
        return std::nullopt;
    return awaitResult<ListWishResponse>([&](auto done) { api.send<ListWishResponse>(*request, context, done); });
}

// The lines of captured output, without the request lines.
QStringList errorLines(const QString& output)
{
    QStringList lines;
    for (const QString& line : output.split(u'\n'))
        if (line.startsWith(QStringLiteral("❌")))
            lines.append(line);
    return lines;
}

} // namespace

TEST(Api, EveryAnswerBecomesItsResult)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    testsupport::HttpServer elsewhere;
    ASSERT_TRUE(elsewhere.listen());
    elsewhere.setResponse("/api/wish/list", {200, validList});

    Response cutShort{200, validList.left(40)};
    cutShort.declaredLength = validList.size();
    Response tooSlow{200, validList};
    tooSlow.delayMs = 10000;
    Response toOtherPort{302, {}};
    toOtherPort.headers = {{"Location", elsewhere.url(QStringLiteral("/api/wish/list")).toEncoded()}};
    Response toSameOrigin{307, {}};
    toSameOrigin.headers = {{"Location", "/api/wish/list-moved"}};
    service.server().setResponse("/api/wish/list-moved", {200, validList});
    Response overCap{200, QByteArray(Api::maxBodyBytes + 1, ' ')};
    overCap.closeDelimited = true;
    QByteArray wrongCase = validList;
    wrongCase.replace("\"planned\"", "\"Planned\"");

    const struct {
        const char* name;
        Response response;
        std::optional<Reason> reason; // nothing: success
        QStringList logged;           // the error lines' starts, in order
    } cases[] = {
        {"valid body at 200", {200, validList}, std::nullopt, {}},
        {"valid body at 500", {500, validList}, std::nullopt, {}},
        {"error body at 200",
         {200, R"({"reason":"wrongBearerToken"})"},
         Reason::wrongBearerToken,
         {QStringLiteral("❌ Line: 56 | Api | Missing required key at \"list\""),
          QStringLiteral("❌ Line: 60 | Api | Wrong Bearer Token..")}},
        {"error body at 401", {401, R"({"reason":"missingApiHeaderKey"})"}, Reason::missingApiHeaderKey, {}},
        {"error body at 400", {400, R"({"reason":"missingUUIDHeaderKey"})"}, Reason::missingUUIDHeaderKey, {}},
        {"HTML page at 404",
         {404, "<html><body>Not Found</body></html>"},
         Reason::couldNotDecodeBackendResponse,
         {QStringLiteral("❌ Line: 56 | Api | Invalid JSON at offset"),
          QStringLiteral("❌ Line: 65 | Api | <html><body>Not Found</body></html>")}},
        {"truncated JSON sent whole", {200, validList.left(validList.size() / 2)}, Reason::couldNotDecodeBackendResponse, {}},
        {"empty body at 200", {200, {}}, Reason::couldNotDecodeBackendResponse, {}},
        {"state in the wrong case", {200, wrongCase}, Reason::couldNotDecodeBackendResponse, {}},
        {"body that is not UTF-8",
         {200, "\xff\xfe{"},
         Reason::couldNotDecodeBackendResponse,
         {QStringLiteral("❌ Line: 56 | Api | "), QStringLiteral("❌ Line: 65 | Api | ")}},
        {"connection closed mid-body",
         cutShort,
         Reason::requestResultedInError,
         {QStringLiteral("❌ Line: 36 | Api | ")}},
        {"time-out", tooSlow, Reason::requestResultedInError, {QStringLiteral("❌ Line: 36 | Api | The request timed out.")}},
        {"redirect to another port",
         toOtherPort,
         Reason::requestResultedInError,
         {QStringLiteral("❌ Line: 36 | Api | Refused a redirect to another origin: http://127.0.0.1:%1/")
              .arg(elsewhere.port())}},
        {"redirect within the origin", toSameOrigin, std::nullopt, {}},
        {"body over the cap", overCap, Reason::couldNotDecodeBackendResponse, {QStringLiteral("❌ Line: 52 | Api | ")}},
    };

    // A time-out that a loaded machine moving the 16 MB over the cap does not reach.
    const Api api = service.api(3s);
    for (const auto& c : cases) {
        service.server().setResponse(FeedbackTestService::listPath, c.response);
        QObject context;
        std::optional<ApiResult<ListWishResponse>> result;
        const QString output = testsupport::captureStdout([&] { result = fetchList(api, &context); });
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(result->isSuccess(), !c.reason) << c.name;
        if (result->isSuccess()) {
            ASSERT_EQ(result->value().list.size(), 1) << c.name;
            EXPECT_TRUE(result->value().shouldShowWatermark) << c.name;
        } else {
            EXPECT_EQ(result->error().reason, c.reason) << c.name;
        }
        EXPECT_TRUE(output.startsWith(QStringLiteral("🌐 API | GET | http://127.0.0.1:%1/api/wish/list\n")
                                          .arg(service.server().port())))
            << c.name << ": " << output.toStdString();
        const QStringList lines = errorLines(output);
        if (!c.logged.isEmpty()) {
            ASSERT_EQ(lines.size(), c.logged.size()) << c.name << ": " << output.toStdString();
            for (qsizetype i = 0; i < lines.size(); ++i)
                EXPECT_TRUE(lines[i].startsWith(c.logged[i])) << c.name << ": " << lines[i].toStdString();
        }
        EXPECT_EQ(lines.isEmpty(), !c.reason) << c.name << ": " << output.toStdString();
    }
    // Neither the key nor the user identifier reached the other port.
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}

TEST(Api, RefusedConnectionsAndAwaitedCallsLogInTheirOwnForm)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    const Api api = service.api();
    service.reply(FeedbackTestService::commentPath, "<html>Bad Gateway</html>", 502);

    std::optional<ApiResult<CommentResponse>> comment;
    QString output = testsupport::captureStdout([&] {
        comment = awaitResult<CommentResponse>(
            [&](auto done) { api.createComment({QUuid::createUuid(), QStringLiteral("Hi")}, &service.server(), done); });
    });
    ASSERT_TRUE(comment);
    EXPECT_EQ(comment->error().reason, Reason::couldNotDecodeBackendResponse);
    QStringList lines = errorLines(output);
    ASSERT_EQ(lines.size(), 2) << output.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("❌ Line: 87 | Api | Invalid JSON")));
    EXPECT_TRUE(output.contains(QStringLiteral("❌ Line: 95 | Api | Could not decode: \n\n <html>Bad Gateway</html> \n")))
        << output.toStdString();

    // Nothing listens on a port just given up.
    testsupport::HttpServer gone;
    ASSERT_TRUE(gone.listen());
    const Api refused(QStringLiteral("http://127.0.0.1:%1/api").arg(gone.port()));
    gone.close();
    std::optional<ApiResult<UserResponse>> user;
    output = testsupport::captureStdout([&] {
        user = awaitResult<UserResponse>([&](auto done) { refused.updateUser({}, &service.server(), done); });
    });
    ASSERT_TRUE(user);
    EXPECT_EQ(user->error().reason, Reason::requestResultedInError);
    EXPECT_TRUE(output.contains(QStringLiteral("❌ Line: 98 | Api | Connection refused (QNetworkReply::ConnectionRefusedError)")))
        << output.toStdString();

    std::optional<ApiResult<ListWishResponse>> list;
    output = testsupport::captureStdout([&] { list = fetchList(refused, &service.server()); });
    ASSERT_TRUE(list);
    EXPECT_EQ(list->error().reason, Reason::requestResultedInError);
    EXPECT_EQ(errorLines(output), QStringList{QStringLiteral("❌ Line: 36 | Api | Connection refused")});
}

// The transport ends a stalled transfer as a plain cancel; the client tells its own time-out
// from a cancel of any other origin.
TEST(Api, OnlyTheClientsOwnTimeOutIsLoggedAsATimeOut)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    EXPECT_EQ(service.api().makeListWishRequest()->request.transferTimeout(), 60'000);

    const Api api = service.api(2s);
    service.reply(FeedbackTestService::userPath, encodeJson(UserResponse{QUuid::createUuid()}), 200, 10000);
    std::optional<ApiResult<UserResponse>> user;
    QString output = testsupport::captureStdout([&] {
        user = awaitResult<UserResponse>([&](auto done) { api.updateUser({}, &service.server(), done); });
    });
    ASSERT_TRUE(user);
    EXPECT_EQ(user->error().reason, Reason::requestResultedInError);
    EXPECT_EQ(errorLines(output), QStringList{QStringLiteral("❌ Line: 98 | Api | The request timed out. (QNetworkReply::TimeoutError)")});

    // Longer than the time-out in all, but never still for as long.
    Response paced{200, validList};
    paced.pieces = 16;
    paced.pieceDelayMs = 150;
    service.server().setResponse(FeedbackTestService::listPath, paced);
    std::optional<ApiResult<ListWishResponse>> list;
    output = testsupport::captureStdout([&] { list = fetchList(api, &service.server()); });
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->isSuccess()) << output.toStdString();

    // A transfer cancelled by anything else keeps the transport's own words, in either form.
    const Api patient = service.api();
    // Called just after a send, which reaches the server only once the event loop runs.
    const auto cancelOnArrival = [&] {
        const qsizetype received = service.server().requests().size();
        testsupport::waitUntil([&] { return service.server().requests().size() > received; });
        for (QNetworkReply* reply : QCoreApplication::instance()->findChildren<QNetworkReply*>())
            reply->abort();
    };
    output = testsupport::captureStdout([&] {
        user = awaitResult<UserResponse>([&](auto done) {
            patient.updateUser({}, &service.server(), done);
            cancelOnArrival();
        });
    });
    ASSERT_TRUE(user);
    EXPECT_EQ(user->error().reason, Reason::requestResultedInError);
    EXPECT_EQ(errorLines(output),
              QStringList{QStringLiteral("❌ Line: 98 | Api | Operation canceled (QNetworkReply::OperationCanceledError)")});
    service.reply(FeedbackTestService::listPath, validList, 200, 10000);
    output = testsupport::captureStdout([&] {
        list = awaitResult<ListWishResponse>([&](auto done) {
            patient.send<ListWishResponse>(*patient.makeListWishRequest(), &service.server(), done);
            cancelOnArrival();
        });
    });
    ASSERT_TRUE(list);
    EXPECT_EQ(list->error().reason, Reason::requestResultedInError);
    EXPECT_EQ(errorLines(output), QStringList{QStringLiteral("❌ Line: 36 | Api | Operation canceled")});
}

TEST(Api, OnlyAbsoluteHttpBaseAddressesFormRequests)
{
    for (const char* base : {"", "api", "/api", "127.0.0.1:8080/api", "file:///tmp/api", "data:text/plain,api",
                             "ftp://example.com/api", "http://", "http://[::1/api", "mailto:someone@example.com"}) {
        const Api api{QString::fromUtf8(base)};
        EXPECT_FALSE(api.wishURL()) << base;
        std::optional<ApiResult<CommentResponse>> result;
        bool built = true;
        const QString output = testsupport::captureStdout([&] {
            built = api.makeListWishRequest().has_value();
            api.createComment({}, nullptr, [&](const ApiResult<CommentResponse>& r) { result = r; });
        });
        EXPECT_FALSE(built) << base;
        // At once, with no request line.
        ASSERT_TRUE(result) << base;
        EXPECT_EQ(result->error().reason, Reason::couldNotCreateRequest) << base;
        EXPECT_FALSE(output.contains(QStringLiteral("🌐"))) << base;
        EXPECT_EQ(output.count(QStringLiteral("❌ Line: 24 | Api | Refused the base address \"%1\"").arg(QString::fromUtf8(base))), 2)
            << output.toStdString();
    }

    const struct {
        const char* base;
        const char* list;
    } accepted[] = {
        {"http://127.0.0.1:8080/api", "http://127.0.0.1:8080/api/wish/list"},
        {"HTTPS://Example.com/api", "https://example.com/api/wish/list"},
        {"https://example.com/feedback%20service/api", "https://example.com/feedback%20service/api/wish/list"},
    };
    for (const auto& a : accepted) {
        const Api api{QString::fromUtf8(a.base)};
        ASSERT_TRUE(api.makeListWishRequest()) << a.base;
        EXPECT_EQ(api.makeListWishRequest()->request.url().toEncoded(), QByteArray(a.list));
        EXPECT_EQ(api.makeVoteWishRequest({})->request.url().path(), api.wishURL()->path() + QStringLiteral("/vote"));
    }
}

TEST(Api, TheEnvironmentNamesTheBaseAddress)
{
    qunsetenv("plendra-url");
    EXPECT_EQ(Api::baseURL(), Api::defaultBaseURL());
    EXPECT_TRUE(Api::defaultBaseURL().endsWith(QStringLiteral("/api")));
    EXPECT_TRUE(Api(Api::defaultBaseURL()).wishURL());

    qputenv("plendra-url", "http://127.0.0.1:9/api");
    EXPECT_EQ(Api(Api::baseURL()).makeListWishRequest()->request.url(), QUrl(QStringLiteral("http://127.0.0.1:9/api/wish/list")));
    qputenv("plendra-url", "");
    EXPECT_EQ(Api::baseURL(), QString()); // set but empty: used as it is, and refused
    EXPECT_FALSE(Api(Api::baseURL()).wishURL());
    qunsetenv("plendra-url");

    // The shared client forms its addresses once, from the environment at its first use.
    const int child = testsupport::runInChild([] {
        qputenv("plendra-url", "http://127.0.0.1:9/first");
        const Api first = Api::shared();
        qputenv("plendra-url", "http://127.0.0.1:9/second");
        return first.wishURL()->path() == u"/first/wish" && Api::shared().wishURL()->path() == u"/first/wish" ? 0 : 1;
    });
    EXPECT_EQ(child, 0);
}

TEST(Api, EveryEndpointSendsItsMethodHeadersAndBody)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    const Api api = service.api();
    Plendra::configure(QStringLiteral("test-key"));
    const QUuid wishId = QUuid::fromString(QStringLiteral("6f1c2d3e-4a5b-4c6d-8e9f-0a1b2c3d4e5f"));
    const QByteArray upperId = "6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F";

    service.replyWithList({});
    service.reply(FeedbackTestService::createWishPath, R"({"title":"T","description":"D","state":"pending"})");
    service.reply(FeedbackTestService::votePath, R"({"wishId":")" + upperId + R"(","votingUsers":[]})");
    service.reply(FeedbackTestService::commentPath,
                  R"({"id":")" + upperId + R"(","userId":")" + upperId
                      + R"(","description":"Hi","createdAt":"2024-05-01T09:30:00Z","isAdmin":false})");
    service.reply(FeedbackTestService::userPath, R"({"uuid":")" + upperId + R"("})");

    QObject context;
    std::vector<bool> succeeded;
    const auto note = [&](const auto& result) { succeeded.push_back(result && result->isSuccess()); };
    testsupport::captureStdout([&] {
        note(fetchList(api, &context));
        note(awaitResult<CreateWishResponse>([&](auto done) {
            api.sendCreateWish(*api.makeCreateWishRequest(
                                   {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("a@b.cd"), WishState::pending}),
                               &context, done);
        }));
        note(awaitResult<VoteWishResponse>(
            [&](auto done) { api.sendVoteWish(*api.makeVoteWishRequest({wishId}), &context, done); }));
        note(awaitResult<CommentResponse>(
            [&](auto done) { api.createComment({wishId, QStringLiteral(" Hi \"there\"\n")}, &context, done); }));
        note(awaitResult<UserResponse>([&](auto done) {
            api.updateUser({std::nullopt, QStringLiteral("a@b.cd"), std::nullopt, 999}, &context, done);
        }));
    });
    Plendra::configure(QStringLiteral("tin-kettle-value"));
    EXPECT_EQ(succeeded, std::vector<bool>(5, true));

    const struct {
        const char* path;
        const char* method;
        QByteArray body; // as JSON; empty for none
    } expected[] = {
        {FeedbackTestService::listPath, "GET", {}},
        {FeedbackTestService::createWishPath, "POST", R"({"title":"T","description":"D","email":"a@b.cd","state":"pending"})"},
        {FeedbackTestService::votePath, "POST", R"({"wishId":")" + upperId + "\"}"},
        {FeedbackTestService::commentPath, "POST", R"({"wishId":")" + upperId + R"(","description":" Hi \"there\"\n"})"},
        {FeedbackTestService::userPath, "POST", R"({"email":"a@b.cd","paymentPerMonth":999})"},
    };
    const QList<testsupport::HttpServer::Request> requests = service.server().requests();
    ASSERT_EQ(requests.size(), 5);
    const QByteArray userId = uuidText(userUUID()).toLatin1();
    const std::set<QByteArray> transportHeaders{"host", "connection", "content-length", "accept-encoding",
                                                "accept-language", "user-agent"};
    for (qsizetype i = 0; i < requests.size(); ++i) {
        const auto& request = requests[i];
        const auto& want = expected[i];
        EXPECT_EQ(request.path, want.path);
        EXPECT_EQ(request.method, want.method) << want.path;
        std::multiset<QByteArray> names;
        for (const auto& [name, value] : request.headerFields)
            if (!transportHeaders.count(name))
                names.insert(name);
        std::multiset<QByteArray> wantNames{"x-plendra-api-key", "x-plendra-uuid", "x-plendra-sdk-app-name",
                                            "x-plendra-sdk-kind", "x-plendra-sdk-version"};
        if (!want.body.isEmpty())
            wantNames.insert({"content-type", "accept"});
        EXPECT_EQ(names, wantNames) << want.path;
        EXPECT_EQ(request.headers.value("x-plendra-api-key"), "test-key");
        EXPECT_EQ(request.headers.value("x-plendra-uuid"), userId);
        EXPECT_EQ(request.headers.value("x-plendra-sdk-app-name"), "none"); // no display name in a core process
        EXPECT_EQ(request.headers.value("x-plendra-sdk-kind"), "ios");
        EXPECT_EQ(request.headers.value("x-plendra-sdk-version"), "4.8.0");
        if (want.body.isEmpty()) {
            EXPECT_TRUE(request.body.isEmpty()) << want.path;
        } else {
            EXPECT_EQ(request.headers.value("content-type"), "application/json");
            EXPECT_EQ(request.headers.value("accept"), "application/json");
            EXPECT_EQ(QJsonDocument::fromJson(request.body), QJsonDocument::fromJson(want.body)) << want.path;
        }
    }
}

TEST(Api, RequestsBuiltBeforeConfiguringCarryThePlaceholderKey)
{
    const int child = testsupport::runInChild([] {
        const auto request = Api(QStringLiteral("http://127.0.0.1:9/api")).makeListWishRequest();
        return request && request->request.rawHeader("x-plendra-api-key") == "tin-kettle-value" ? 0 : 1;
    });
    EXPECT_EQ(child, 0);
}

TEST(Api, ResultsForRequestersThatAreGoneAreDropped)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    service.reply(FeedbackTestService::listPath, validList, 200, 200);
    const Api api = service.api();
    bool called = false;
    testsupport::captureStdout([&] {
        auto context = std::make_unique<QObject>();
        api.send<ListWishResponse>(*api.makeListWishRequest(), context.get(),
                                   [&](const ApiResult<ListWishResponse>&) { called = true; });
        testsupport::waitUntil([&] { return service.server().requestCount(FeedbackTestService::listPath) == 1; });
        context.reset();
        testsupport::spin(500);
    });
    EXPECT_FALSE(called);
}

TEST(Api, SendsFromOtherThreadsOnTheApplicationThread)
{
    FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    service.replyWithList({});
    const Api api = service.api();
    QObject context;
    std::optional<bool> onMainThread;
    testsupport::captureStdout([&] {
        std::thread([&] {
            api.send<ListWishResponse>(*api.makeListWishRequest(), &context, [&](const ApiResult<ListWishResponse>& r) {
                onMainThread = r.isSuccess() && QThread::currentThread() == QCoreApplication::instance()->thread();
            });
        }).join();
        testsupport::waitUntil([&] { return onMainThread.has_value(); });
    });
    EXPECT_EQ(onMainThread, true);
}

TEST(UserIdentity, CreatedOnceStoredInUpperCaseAndRenewedWhenUnreadable)
{
    const auto defaults = platform::UserDefaults::standard();
    const QString key = QStringLiteral("plendra-user-uuid");
    defaults->remove(key);

    // Concurrent first uses agree on one identifier.
    std::vector<QUuid> seen(8);
    std::vector<std::thread> threads;
    for (auto& uuid : seen)
        threads.emplace_back([&uuid] { uuid = userUUID(); });
    for (auto& thread : threads)
        thread.join();
    for (const QUuid& uuid : seen)
        EXPECT_EQ(uuid, seen.front());
    EXPECT_EQ(defaults->string(key), uuidText(seen.front()));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                    .match(*defaults->string(key))
                    .hasMatch());

    defaults->setString(key, QStringLiteral("6f1c2d3e-4a5b-4c6d-8e9f-0a1b2c3d4e5f"));
    EXPECT_EQ(uuidText(userUUID()), QStringLiteral("6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F"));

    for (const QString& unreadable : {QStringLiteral("not a uuid"), QStringLiteral("{6f1c2d3e-4a5b-4c6d-8e9f-0a1b2c3d4e5f}")}) {
        defaults->setString(key, unreadable);
        const QUuid renewed = userUUID();
        EXPECT_NE(renewed, seen.front());
        EXPECT_EQ(defaults->string(key), uuidText(renewed));
        EXPECT_EQ(userUUID(), renewed);
    }
    defaults->setBoolean(key, true); // a value of another type is unreadable too
    const QUuid fromBoolean = userUUID();
    EXPECT_EQ(defaults->string(key), uuidText(fromBoolean));
}
