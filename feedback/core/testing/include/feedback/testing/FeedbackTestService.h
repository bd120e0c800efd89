#pragma once

#include "feedback/Api.h"
#include "feedback/Records.h"
#include "testsupport/EventLoop.h"
#include "testsupport/HttpServer.h"

#include <QCoreApplication>
#include <QList>
#include <QNetworkReply>
#include <QUuid>

#include <optional>

namespace plendra::testing {

// A scripted feedback service on 127.0.0.1 for tests: the endpoints under "/api", answered by
// whatever each test sets, and every request recorded.
class FeedbackTestService {
public:
    static constexpr const char* listPath = "/api/wish/list";
    static constexpr const char* createWishPath = "/api/wish/create";
    static constexpr const char* votePath = "/api/wish/vote";
    static constexpr const char* commentPath = "/api/comment/create";
    static constexpr const char* userPath = "/api/user/update";

    FeedbackTestService() { m_listening = m_server.listen(); }
    // Sees the transfers still under way to their end while the service can answer them: one
    // left when the process ends leaves Qt's transport objects behind (and has crashed its exit).
    ~FeedbackTestService()
    {
        testsupport::waitUntil([] { return QCoreApplication::instance()->findChildren<QNetworkReply*>().isEmpty(); });
    }

    bool isListening() const { return m_listening; }
    testsupport::HttpServer& server() { return m_server; }
    QString baseURL() const { return m_server.url(QStringLiteral("/api")).toString(); }
    Api api(std::chrono::milliseconds transferTimeout = Api::defaultTransferTimeout) const
    {
        return Api(baseURL(), transferTimeout);
    }

    void reply(const char* path, const QByteArray& body, int status = 200, int delayMs = 0)
    {
        testsupport::HttpServer::Response response{status, body};
        response.delayMs = delayMs;
        m_server.setResponse(path, response);
    }
    void replyWithList(const QList<WishResponse>& wishes, bool shouldShowWatermark = false)
    {
        reply(listPath, encodeJson(ListWishResponse{wishes, shouldShowWatermark}));
    }

private:
    testsupport::HttpServer m_server;
    bool m_listening = false;
};

// A request with `votes` voters, created by `creator` (someone else when null).
inline WishResponse makeWish(const QString& title, WishState state, int votes = 0, QUuid creator = {})
{
    WishResponse wish;
    wish.id = QUuid::createUuid();
    wish.userUUID = creator.isNull() ? QUuid::createUuid() : creator;
    wish.title = title;
    wish.description = title + QStringLiteral(" in detail");
    wish.state = state;
    for (int i = 0; i < votes; ++i)
        wish.votingUsers.append(UserResponse{QUuid::createUuid()});
    return wish;
}

// Calls `start` with a completion and spins the event loop until the completion has run.
template <typename T, typename Start>
std::optional<ApiResult<T>> awaitResult(Start start, int timeoutMs = 10000)
{
    std::optional<ApiResult<T>> result;
    start([&](const ApiResult<T>& outcome) { result = outcome; });
    testsupport::waitUntil([&] { return result.has_value(); }, timeoutMs);
    return result;
}

} // namespace plendra::testing
