#pragma once

#include "feedback/ApiResult.h"
#include "feedback/Records.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace plendra {

// One prepared call of the feedback service.
struct ApiRequest {
    QNetworkRequest request; // address, headers, transfer time-out, redirect policy
    QByteArray method;
    QByteArray body; // empty for the list
};

// The feedback service's client. Forms the endpoint addresses once from a base address, builds
// one request per service operation with the client's identifying headers, sends it and turns
// the answer into an ApiResult. Every request and failure is logged to standard output.
//
// Sending happens on the application thread, through one network access manager; a call from
// another thread hops there. Completions run on the thread of their context object, and only
// while it exists: a result for a requester that is gone is dropped. A null context sends without
// listening for the result.
//
// How an answer becomes a result: a reply that carries an HTTP status is decided by its body
// alone, whatever the status (a body that decodes as the response is a success, one that decodes
// as an error body is that error, anything else, empty included, is couldNotDecodeBackendResponse).
// A transfer that fails below HTTP (refused, reset, cut short, timed out, TLS, a redirect to
// another origin) is requestResultedInError; the transfer time-out is logged as "The request
// timed out.", the other failures with the transport's text. A body over maxBodyBytes is
// abandoned as undecodable.
class Api {
public:
    static constexpr std::chrono::milliseconds defaultTransferTimeout{60'000};
    static constexpr qint64 maxBodyBytes = 16LL * 1024 * 1024;

    template <typename T>
    using Completion = std::function<void(const ApiResult<T>&)>;

    // Forms the three endpoint groups from `baseURL`. Only an absolute http or https address with
    // a host forms them; with anything else every builder refuses, logging why. A transfer that
    // stalls for `transferTimeout` fails.
    explicit Api(const QString& baseURL, std::chrono::milliseconds transferTimeout = defaultTransferTimeout);

    // The environment's "plendra-url" when it is set (even to nothing), else the built-in default.
    static QString baseURL();
    static QString defaultBaseURL();

    // The client requests go through: formed from baseURL() at first use, unless replaced.
    static Api shared();
    static void setShared(const Api& api);

    const std::optional<QUrl>& commentURL() const { return m_commentURL; }
    const std::optional<QUrl>& userURL() const { return m_userURL; }
    const std::optional<QUrl>& wishURL() const { return m_wishURL; }

    // Nothing when the base address formed no endpoints.
    std::optional<ApiRequest> makeCreateCommentRequest(const CreateCommentRequest& body) const;
    std::optional<ApiRequest> makeUpdateUserRequest(const UserRequest& body) const;
    std::optional<ApiRequest> makeListWishRequest() const;
    std::optional<ApiRequest> makeCreateWishRequest(const CreateWishRequest& body) const;
    std::optional<ApiRequest> makeVoteWishRequest(const VoteWishRequest& body) const;

    // Sends `request` and decodes the answer as T.
    template <typename T>
    void send(const ApiRequest& request, QObject* context, Completion<T> completion) const
    {
        sendAs<T>(request, context, std::move(completion), Form::completion);
    }
    void sendCreateWish(const ApiRequest& request, QObject* context, Completion<CreateWishResponse> completion) const
    {
        send<CreateWishResponse>(request, context, std::move(completion));
    }
    void sendVoteWish(const ApiRequest& request, QObject* context, Completion<VoteWishResponse> completion) const
    {
        send<VoteWishResponse>(request, context, std::move(completion));
    }

    // Build and send in one step; when nothing can be built the completion gets
    // couldNotCreateRequest at once and nothing is sent. Their log lines are worded as the
    // awaited calls' of the comment form and the user updates.
    void createComment(const CreateCommentRequest& body, QObject* context, Completion<CommentResponse> completion) const;
    void updateUser(const UserRequest& body, QObject* context, Completion<UserResponse> completion) const;

private:
    // The two ways of sending differ only in how they word their log lines.
    enum class Form { awaited, completion };

    // What came back from one transfer: the body, or the failure that left none.
    struct Transfer {
        std::optional<ApiError> failure;
        QByteArray body;
    };

    template <typename T>
    void sendAs(const ApiRequest& request, QObject* context, Completion<T> completion, Form form) const
    {
        // The answer is decoded and its failures logged whether or not anybody still listens.
        auto deliver = [context = QPointer<QObject>(context), completion = std::move(completion),
                        form](const Transfer& transfer) {
            const ApiResult<T> result = decoded<T>(transfer, form);
            if (context && completion)
                QMetaObject::invokeMethod(
                    context.data(), [completion, result] { completion(result); },
                    Qt::QueuedConnection);
        };
        transfer(request, form, std::move(deliver));
    }

    template <typename T>
    static ApiResult<T> decoded(const Transfer& transfer, Form form)
    {
        if (transfer.failure)
            return *transfer.failure;
        QString error;
        if (std::optional<T> value = decodeJson<T>(transfer.body, &error))
            return std::move(*value);
        return undecodable(transfer.body, error, form);
    }

    template <typename T>
    void sendAwaited(const std::optional<ApiRequest>& request, QObject* context, Completion<T> completion) const
    {
        if (!request) {
            if (completion)
                completion(ApiError{ApiError::Reason::couldNotCreateRequest});
            return;
        }
        sendAs<T>(*request, context, std::move(completion), Form::awaited);
    }

    std::optional<ApiRequest> makeRequest(const std::optional<QUrl>& group, const char* component,
                                          const char* method, std::optional<QByteArray> body) const;
    // Sends on the application thread and hands `deliver` what came back, there.
    static void transfer(const ApiRequest& request, Form form, std::function<void(const Transfer&)> deliver);
    // The error an undecodable body stands for, logged: the service's own error body, else
    // couldNotDecodeBackendResponse.
    static ApiError undecodable(const QByteArray& body, const QString& decodeError, Form form);

    QString m_baseURL;
    std::optional<QUrl> m_commentURL;
    std::optional<QUrl> m_userURL;
    std::optional<QUrl> m_wishURL;
    std::chrono::milliseconds m_transferTimeout;
};

} // namespace plendra
