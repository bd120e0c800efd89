#include "feedback/Api.h"

#include "feedback/LogLine.h"
#include "feedback/Plendra.h"
#include "feedback/UserIdentity.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>

#include <mutex>

#ifndef QUILLORA_FEEDBACK_BASE_URL
#error "QUILLORA_FEEDBACK_BASE_URL names the service's built-in base address"
#endif

namespace plendra {

namespace {

const QString typeName = QStringLiteral("Api");

// The numbers each log line carries. The awaited and the completion form of sending number their
// lines apart, so that a log tells which one wrote it.
struct LineNumbers {
    int transportError;
    int decodeError;
    int serviceError;
    int undecodableBody;
};
constexpr LineNumbers awaitedLines{98, 87, 91, 95};
constexpr LineNumbers completionLines{36, 56, 60, 65};
constexpr int refusedBaseLine = 24;
constexpr int bodyTooLargeLine = 52;
constexpr qsizetype maxLoggedBodyCharacters = 64 * 1024;

const LineNumbers& lines(bool awaited)
{
    return awaited ? awaitedLines : completionLines;
}

void logError(int line, const QString& message)
{
    logLine(LogLineLevel::error, line, typeName, message);
}

// Only these can carry the API key and the user identifier anywhere: no file:, data: or relative
// address is ever opened.
bool isServiceAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.isRelative() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    const auto defaultPort = [](const QUrl& url) { return url.scheme().toLower() == u"https" ? 443 : 80; };
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(defaultPort(a)) == b.port(defaultPort(b));
}

QUrl withPathAppended(QUrl url, const QString& segment)
{
    url.setPath(url.path() + segment, QUrl::DecodedMode);
    return url;
}

// Replies that got as far as an HTTP status, complete. Qt reports 4xx and 5xx statuses as
// errors of their own; those still carry the service's body. A reset, a body cut short or a
// broken framing after the status line are failures of the transfer.
bool carriesHttpAnswer(const QNetworkReply& reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    const QNetworkReply::NetworkError error = reply.error();
    return error == QNetworkReply::NoError || error == QNetworkReply::ProtocolInvalidOperationError
        || (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

QString hostDisplayName()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QStringLiteral("none");
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("none") : name;
}

// The one network access manager, on the application thread.
QNetworkAccessManager* session()
{
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return manager;
}

struct SharedApi {
    std::mutex lock;
    std::optional<Api> api;
};

SharedApi& sharedApi()
{
    static SharedApi shared;
    return shared;
}

// Aborts `reply` once it has moved nothing either way for `timeout`, after calling `onTimeOut`.
void abortWhenStalled(QNetworkReply* reply, std::chrono::milliseconds timeout, std::function<void()> onTimeOut)
{
    auto* stall = new QTimer(reply);
    stall->setSingleShot(true);
    stall->setInterval(timeout);
    QObject::connect(stall, &QTimer::timeout, reply, [reply, onTimeOut = std::move(onTimeOut)] {
        onTimeOut();
        reply->abort();
    });
    const auto moved = [stall] { stall->start(); };
    QObject::connect(reply, &QNetworkReply::uploadProgress, stall, moved);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, stall, moved);
    QObject::connect(reply, &QNetworkReply::downloadProgress, stall, moved);
    QObject::connect(reply, &QNetworkReply::finished, stall, &QTimer::stop);
    stall->start();
}

} // namespace

Api::Api(const QString& baseURL, std::chrono::milliseconds transferTimeout)
    : m_baseURL(baseURL)
    , m_transferTimeout(transferTimeout)
{
    const QUrl base(baseURL, QUrl::StrictMode);
    if (!isServiceAddress(base))
        return;
    m_commentURL = withPathAppended(base, QStringLiteral("/comment"));
    m_userURL = withPathAppended(base, QStringLiteral("/user"));
    m_wishURL = withPathAppended(base, QStringLiteral("/wish"));
}

QString Api::baseURL()
{
    return qEnvironmentVariableIsSet("plendra-url") ? qEnvironmentVariable("plendra-url") : defaultBaseURL();
}

QString Api::defaultBaseURL()
{
    return QStringLiteral(QUILLORA_FEEDBACK_BASE_URL);
}

Api Api::shared()
{
    SharedApi& shared = sharedApi();
    std::lock_guard guard(shared.lock);
    if (!shared.api)
        shared.api.emplace(baseURL());
    return *shared.api;
}

void Api::setShared(const Api& api)
{
    SharedApi& shared = sharedApi();
    std::lock_guard guard(shared.lock);
    shared.api = api;
}

std::optional<ApiRequest> Api::makeCreateCommentRequest(const CreateCommentRequest& body) const
{
    return makeRequest(m_commentURL, "create", "POST", encodeJson(body));
}

std::optional<ApiRequest> Api::makeUpdateUserRequest(const UserRequest& body) const
{
    return makeRequest(m_userURL, "update", "POST", encodeJson(body));
}

std::optional<ApiRequest> Api::makeListWishRequest() const
{
    return makeRequest(m_wishURL, "list", "GET", std::nullopt);
}

std::optional<ApiRequest> Api::makeCreateWishRequest(const CreateWishRequest& body) const
{
    return makeRequest(m_wishURL, "create", "POST", encodeJson(body));
}

std::optional<ApiRequest> Api::makeVoteWishRequest(const VoteWishRequest& body) const
{
    return makeRequest(m_wishURL, "vote", "POST", encodeJson(body));
}

void Api::createComment(const CreateCommentRequest& body, QObject* context, Completion<CommentResponse> completion) const
{
    sendAwaited<CommentResponse>(makeCreateCommentRequest(body), context, std::move(completion));
}

void Api::updateUser(const UserRequest& body, QObject* context, Completion<UserResponse> completion) const
{
    sendAwaited<UserResponse>(makeUpdateUserRequest(body), context, std::move(completion));
}

std::optional<ApiRequest> Api::makeRequest(const std::optional<QUrl>& group, const char* component,
                                           const char* method, std::optional<QByteArray> body) const
{
    if (!group) {
        logError(refusedBaseLine,
                 QStringLiteral("Refused the base address \"%1\": requests go only to an absolute http or https "
                                "address. %2")
                     .arg(m_baseURL, description(ApiError::Reason::couldNotCreateRequest)));
        return std::nullopt;
    }
    ApiRequest prepared;
    QNetworkRequest& request = prepared.request;
    request.setUrl(withPathAppended(*group, u'/' + QLatin1StringView(component)));
    request.setTransferTimeout(int(m_transferTimeout.count()));
    // Redirects are followed within the service's origin only (see transfer()).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    prepared.method = method;
    if (body) {
        prepared.body = *body;
        request.setRawHeader("Content-Type", "application/json");
        request.setRawHeader("Accept", "application/json");
    }
    request.setRawHeader("x-plendra-api-key", Plendra::apiKey().toUtf8());
    request.setRawHeader("x-plendra-uuid", uuidText(userUUID()).toLatin1());
    request.setRawHeader("x-plendra-sdk-app-name", hostDisplayName().toUtf8());
    request.setRawHeader("x-plendra-sdk-kind", "ios");
    request.setRawHeader("x-plendra-sdk-version", "4.8.0");
    return prepared;
}

void Api::transfer(const ApiRequest& prepared, Form form, std::function<void(const Transfer&)> deliver)
{
    printLine(QStringLiteral("🌐 API | ") + QString::fromLatin1(prepared.method) + QStringLiteral(" | ")
              + (prepared.request.url().isEmpty() ? QStringLiteral("nil") : prepared.request.url().toString()));
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        logError(lines(form == Form::awaited).transportError, QStringLiteral("There is no application to send from."));
        deliver({ApiError{ApiError::Reason::requestResultedInError}, {}});
        return;
    }

    auto start = [prepared, form, deliver = std::move(deliver)] {
        struct State {
            QByteArray body;
            bool overBodyCap = false;
            bool timedOut = false;
            QUrl refusedRedirect;
        };
        const auto state = std::make_shared<State>();
        // The client keeps the request's transfer time-out itself: the transport would end the
        // transfer as a plain cancel, which nothing could tell from any other.
        QNetworkRequest request = prepared.request;
        const std::chrono::milliseconds timeout{request.transferTimeout()};
        request.setTransferTimeout(0);
        QNetworkAccessManager* manager = session();
        // A GET goes without a body, not even an empty one.
        QNetworkReply* reply = prepared.method == "GET" ? manager->get(request)
                                                        : manager->sendCustomRequest(request, prepared.method, prepared.body);
        if (timeout > std::chrono::milliseconds::zero())
            abortWhenStalled(reply, timeout, [state] { state->timedOut = true; });

        const QUrl origin = prepared.request.url();
        QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, state, origin](const QUrl& target) {
            const QUrl resolved = origin.resolved(target);
            if (sameOrigin(origin, resolved)) {
                emit reply->redirectAllowed();
                return;
            }
            state->refusedRedirect = resolved;
            reply->abort();
        });
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, state] {
            if (state->overBodyCap)
                return;
            state->body += reply->read(maxBodyBytes + 1 - state->body.size());
            if (state->body.size() > maxBodyBytes) {
                state->overBodyCap = true;
                state->body.clear();
                reply->abort();
            }
        });
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, form, deliver] {
            reply->deleteLater();
            const bool awaited = form == Form::awaited;
            if (!state->overBodyCap && reply->isOpen())
                state->body += reply->read(maxBodyBytes + 1 - state->body.size());
            if (state->overBodyCap || state->body.size() > maxBodyBytes) {
                logError(bodyTooLargeLine, QStringLiteral("The response passed %1 bytes and was abandoned. %2")
                                               .arg(maxBodyBytes)
                                               .arg(description(ApiError::Reason::couldNotDecodeBackendResponse)));
                deliver({ApiError{ApiError::Reason::couldNotDecodeBackendResponse}, {}});
                return;
            }
            if (!state->refusedRedirect.isEmpty()) {
                logError(lines(awaited).transportError,
                         QStringLiteral("Refused a redirect to another origin: %1").arg(state->refusedRedirect.toString()));
                deliver({ApiError{ApiError::Reason::requestResultedInError}, {}});
                return;
            }
            if (!carriesHttpAnswer(*reply)) {
                // The awaited form logs the error's full description: its text and its kind.
                QString text = state->timedOut ? QStringLiteral("The request timed out.") : reply->errorString();
                if (awaited) {
                    const auto error = state->timedOut ? QNetworkReply::TimeoutError : reply->error();
                    const char* kind = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
                    text += QStringLiteral(" (QNetworkReply::%1)").arg(QLatin1StringView(kind));
                }
                logError(lines(awaited).transportError, text);
                deliver({ApiError{ApiError::Reason::requestResultedInError}, {}});
                return;
            }
            deliver({std::nullopt, std::exchange(state->body, {})});
        });
    };
    if (QThread::currentThread() == app->thread())
        start();
    else
        QMetaObject::invokeMethod(app, std::move(start), Qt::QueuedConnection);
}

ApiError Api::undecodable(const QByteArray& body, const QString& decodeError, Form form)
{
    const bool awaited = form == Form::awaited;
    logError(lines(awaited).decodeError, decodeError);
    if (const std::optional<ApiError> error = decodeJson<ApiError>(body)) {
        logError(lines(awaited).serviceError, description(error->reason) + u'.');
        return *error;
    }
    // The body as text, empty when it is not UTF-8; a huge one is shown in part.
    QString shown = QString::fromUtf8(body);
    if (shown.toUtf8() != body)
        shown.clear();
    else if (shown.size() > maxLoggedBodyCharacters)
        shown = shown.first(maxLoggedBodyCharacters)
            + QStringLiteral(" … (%1 more characters)").arg(shown.size() - maxLoggedBodyCharacters);
    logError(lines(awaited).undecodableBody,
             awaited ? QStringLiteral("Could not decode: \n\n ") + shown + QStringLiteral(" \n") : shown);
    return ApiError{ApiError::Reason::couldNotDecodeBackendResponse};
}

} // namespace plendra
