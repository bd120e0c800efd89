#pragma once

// The wire vocabulary of the feedback service: one record per request body the client sends, one
// per response body it receives, and the error body the service answers with instead.

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>

namespace plendra {

// The life-cycle state of a feature request ("wish"). Carried in JSON as its name.
enum class WishState { approved, implemented, pending, inReview, planned, inProgress, completed, rejected };

inline constexpr std::array<WishState, 8> allWishStates = {
    WishState::approved, WishState::implemented, WishState::pending,   WishState::inReview,
    WishState::planned,  WishState::inProgress,  WishState::completed, WishState::rejected};

QString rawValue(WishState state);
// The state whose name is exactly `text` (case-sensitive).
std::optional<WishState> wishStateFromRawValue(QStringView text);

// The failure value of every service call, and the error body of the service.
struct ApiError {
    enum class Reason {
        requestResultedInError,
        wrongBearerToken,
        unknown,
        couldNotCreateRequest,
        couldNotDecodeBackendResponse,
        missingApiHeaderKey,
        missingUUIDHeaderKey,
    };

    Reason reason = Reason::unknown;

    friend bool operator==(const ApiError&, const ApiError&) = default;
};

QString rawValue(ApiError::Reason reason);
std::optional<ApiError::Reason> apiErrorReasonFromRawValue(QStringView text);
// The fixed text of each reason, e.g. "Could not decode backend response."
QString description(ApiError::Reason reason);

// Request records.

struct CreateCommentRequest {
    QUuid wishId;
    QString description;
};

struct UserRequest {
    std::optional<QString> customID;
    std::optional<QString> email;
    std::optional<QString> name;
    // Hundredths of the currency unit per month.
    std::optional<qint64> paymentPerMonth;
};

struct CreateWishRequest {
    QString title;
    QString description;
    std::optional<QString> email;
    WishState state = WishState::pending;
};

struct VoteWishRequest {
    QUuid wishId;
};

// Response records.

struct CommentResponse {
    QUuid id;
    QUuid userId;
    QString description;
    QDateTime createdAt; // UTC
    bool isAdmin = false;
};

struct UserResponse {
    QUuid uuid;
};

struct CreateWishResponse {
    QString title;
    QString description;
    WishState state = WishState::pending;
};

struct WishResponse {
    QUuid id;
    QUuid userUUID; // the creator
    QString title;
    QString description;
    WishState state = WishState::pending;
    QList<UserResponse> votingUsers; // the vote count is its length
    QList<CommentResponse> commentList;
};

struct ListWishResponse {
    QList<WishResponse> list;
    bool shouldShowWatermark = false;
};

struct VoteWishResponse {
    QUuid wishId;
    QList<UserResponse> votingUsers;
};

// JSON forms. Keys are the field names; absent optional fields are left out. UUIDs are written
// in upper case and read in either case; dates are internet date-times (RFC 3339), written in
// UTC to whole seconds and read with any offset and optional fractional seconds.
//
// Decoding fails on the first required key that is missing, null or of the wrong type, and on a
// state or reason that is not one of the names; unknown keys are ignored. `error`, when given,
// receives a text that says what failed where. Defined for every record above and ApiError.
template <typename Record>
QJsonObject toJsonObject(const Record& record);
template <typename Record>
std::optional<Record> fromJsonObject(const QJsonObject& object, QString* error = nullptr);

// Compact JSON text of an object; the object of a JSON text that holds one.
QByteArray jsonText(const QJsonObject& object);
std::optional<QJsonObject> parseJsonObject(const QByteArray& body, QString* error = nullptr);

// Compact JSON text of a record.
template <typename Record>
QByteArray encodeJson(const Record& record)
{
    return jsonText(toJsonObject(record));
}
// Parses `body` as one JSON object and decodes it.
template <typename Record>
std::optional<Record> decodeJson(const QByteArray& body, QString* error = nullptr)
{
    const std::optional<QJsonObject> object = parseJsonObject(body, error);
    return object ? fromJsonObject<Record>(*object, error) : std::nullopt;
}

// The text forms of the two scalar types the records carry.
QString uuidText(const QUuid& uuid);                      // 36 characters, upper case
std::optional<QUuid> uuidFromText(QStringView text);      // the 8-4-4-4-12 form only, either case
QString dateText(const QDateTime& date);                  // e.g. 2024-05-01T09:30:00Z
std::optional<QDateTime> dateFromText(QStringView text); // internet date-time, UTC result

} // namespace plendra
