#include "feedback/Records.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <concepts>
#include <type_traits>

namespace plendra {

namespace {

constexpr std::array<const char*, 8> wishStateNames = {"approved", "implemented", "pending", "inReview",
                                                       "planned",  "inProgress",  "completed", "rejected"};

constexpr std::array<const char*, 7> reasonNames = {
    "requestResultedInError", "wrongBearerToken", "unknown", "couldNotCreateRequest",
    "couldNotDecodeBackendResponse", "missingApiHeaderKey", "missingUUIDHeaderKey"};

template <typename Enum, std::size_t N>
std::optional<Enum> enumFromName(const std::array<const char*, N>& names, QStringView text)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (text == QLatin1StringView(names[i]))
            return Enum(i);
    }
    return std::nullopt;
}

// The fields of each record, in their order, for the encoder and the decoder alike. `R` is the
// record type, const when encoding.
template <typename R, typename T>
concept Is = std::same_as<std::remove_const_t<R>, T>;

template <Is<CreateCommentRequest> R, typename V>
void visitFields(R& r, V& v)
{
    v("wishId", r.wishId);
    v("description", r.description);
}
template <Is<UserRequest> R, typename V>
void visitFields(R& r, V& v)
{
    v("customID", r.customID);
    v("email", r.email);
    v("name", r.name);
    v("paymentPerMonth", r.paymentPerMonth);
}
template <Is<CreateWishRequest> R, typename V>
void visitFields(R& r, V& v)
{
    v("title", r.title);
    v("description", r.description);
    v("email", r.email);
    v("state", r.state);
}
template <Is<VoteWishRequest> R, typename V>
void visitFields(R& r, V& v)
{
    v("wishId", r.wishId);
}
template <Is<CommentResponse> R, typename V>
void visitFields(R& r, V& v)
{
    v("id", r.id);
    v("userId", r.userId);
    v("description", r.description);
    v("createdAt", r.createdAt);
    v("isAdmin", r.isAdmin);
}
template <Is<UserResponse> R, typename V>
void visitFields(R& r, V& v)
{
    v("uuid", r.uuid);
}
template <Is<CreateWishResponse> R, typename V>
void visitFields(R& r, V& v)
{
    v("title", r.title);
    v("description", r.description);
    v("state", r.state);
}
template <Is<ListWishResponse> R, typename V>
void visitFields(R& r, V& v)
{
    v("list", r.list);
    v("shouldShowWatermark", r.shouldShowWatermark);
}
template <Is<VoteWishResponse> R, typename V>
void visitFields(R& r, V& v)
{
    v("wishId", r.wishId);
    v("votingUsers", r.votingUsers);
}
template <Is<WishResponse> R, typename V>
void visitFields(R& r, V& v)
{
    v("id", r.id);
    v("userUUID", r.userUUID);
    v("title", r.title);
    v("description", r.description);
    v("state", r.state);
    v("votingUsers", r.votingUsers);
    v("commentList", r.commentList);
}
template <Is<ApiError> R, typename V>
void visitFields(R& r, V& v)
{
    v("reason", r.reason);
}

template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <typename T>
struct IsList : std::false_type {};
template <typename T>
struct IsList<QList<T>> : std::true_type {};

// Encoding.

QJsonValue toJsonValue(const QString& value) { return value; }
QJsonValue toJsonValue(bool value) { return value; }
QJsonValue toJsonValue(qint64 value) { return value; }
QJsonValue toJsonValue(const QUuid& value) { return uuidText(value); }
QJsonValue toJsonValue(const QDateTime& value) { return dateText(value); }
QJsonValue toJsonValue(WishState value) { return rawValue(value); }
QJsonValue toJsonValue(ApiError::Reason value) { return rawValue(value); }

template <typename Record>
QJsonObject encodeRecord(const Record& record);

template <typename T>
QJsonValue toJsonValue(const QList<T>& list)
{
    QJsonArray array;
    for (const T& element : list)
        array.append(encodeRecord(element));
    return array;
}

struct Encoder {
    QJsonObject object;

    template <typename T>
    void operator()(const char* key, const T& value)
    {
        if constexpr (IsOptional<T>::value) {
            if (value)
                object.insert(QLatin1StringView(key), toJsonValue(*value));
        } else {
            object.insert(QLatin1StringView(key), toJsonValue(value));
        }
    }
};

template <typename Record>
QJsonObject encodeRecord(const Record& record)
{
    Encoder encoder;
    visitFields(record, encoder);
    return encoder.object;
}

// Decoding. The decoder stops at the first failure and keeps where it happened.

struct Decoder {
    const QJsonObject& object;
    QString* failure; // set once; the decoder does nothing after it
    // Where this object stands in the body: the decoder of the enclosing object, the key of the
    // list that holds it and its index there. Spelled out only for a failure.
    const Decoder* parent = nullptr;
    const char* listKey = nullptr;
    qsizetype index = 0;

    bool failed() const { return !failure->isEmpty(); }

    QString path() const
    {
        if (!parent)
            return {};
        return parent->pathTo(listKey) + QStringLiteral("[%1]").arg(index);
    }
    QString pathTo(const char* key) const
    {
        const QString base = path();
        return base.isEmpty() ? QString::fromLatin1(key) : base + u'.' + QLatin1StringView(key);
    }

    void fail(const char* key, const QString& what) { *failure = QStringLiteral("%1 at \"%2\"").arg(what, pathTo(key)); }

    template <typename T>
    void operator()(const char* key, T& out)
    {
        if (failed())
            return;
        const QJsonValue value = object.value(QLatin1StringView(key));
        if constexpr (IsOptional<T>::value) {
            if (value.isUndefined() || value.isNull()) {
                out.reset();
                return;
            }
            typename T::value_type inner{};
            if (read(key, value, inner))
                out = std::move(inner);
        } else {
            if (value.isUndefined() || value.isNull()) {
                fail(key, QStringLiteral("Missing required key"));
                return;
            }
            read(key, value, out);
        }
    }

    bool read(const char* key, const QJsonValue& value, QString& out)
    {
        if (!value.isString())
            return wrongType(key, "a string");
        out = value.toString();
        return true;
    }
    bool read(const char* key, const QJsonValue& value, bool& out)
    {
        if (!value.isBool())
            return wrongType(key, "a Boolean");
        out = value.toBool();
        return true;
    }
    bool read(const char* key, const QJsonValue& value, qint64& out)
    {
        // toInteger gives its default for anything that is not an integer in range: two
        // different defaults tell that case apart from a real value.
        const qint64 first = value.toInteger(0);
        if (!value.isDouble() || first != value.toInteger(1))
            return wrongType(key, "a 64-bit integer");
        out = first;
        return true;
    }
    bool read(const char* key, const QJsonValue& value, QUuid& out)
    {
        const std::optional<QUuid> uuid = value.isString() ? uuidFromText(value.toString()) : std::nullopt;
        if (!uuid)
            return wrongType(key, "a UUID");
        out = *uuid;
        return true;
    }
    bool read(const char* key, const QJsonValue& value, QDateTime& out)
    {
        const std::optional<QDateTime> date = value.isString() ? dateFromText(value.toString()) : std::nullopt;
        if (!date)
            return wrongType(key, "an internet date-time");
        out = *date;
        return true;
    }
    bool read(const char* key, const QJsonValue& value, WishState& out)
    {
        const auto state = value.isString() ? wishStateFromRawValue(value.toString()) : std::nullopt;
        if (!state)
            return wrongType(key, "a wish state");
        out = *state;
        return true;
    }
    bool read(const char* key, const QJsonValue& value, ApiError::Reason& out)
    {
        const auto reason = value.isString() ? apiErrorReasonFromRawValue(value.toString()) : std::nullopt;
        if (!reason)
            return wrongType(key, "an error reason");
        out = *reason;
        return true;
    }
    template <typename T>
    bool read(const char* key, const QJsonValue& value, QList<T>& out)
    {
        if (!value.isArray())
            return wrongType(key, "an array");
        const QJsonArray array = value.toArray();
        out.clear();
        out.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QJsonValue element = array.at(i);
            if (!element.isObject()) {
                *failure = QStringLiteral("Expected an object at \"%1[%2]\"").arg(pathTo(key)).arg(i);
                return false;
            }
            const QJsonObject child = element.toObject();
            Decoder decoder{child, failure, this, key, i};
            T record{};
            visitFields(record, decoder);
            if (failed())
                return false;
            out.append(std::move(record));
        }
        return true;
    }

    bool wrongType(const char* key, const char* expected)
    {
        fail(key, QStringLiteral("Expected %1").arg(QLatin1StringView(expected)));
        return false;
    }
};

int twoDigits(QStringView text, qsizetype at)
{
    const auto digit = [&](qsizetype i) { return text[i].isDigit() && text[i].unicode() < 128 ? text[i].unicode() - '0' : -1; };
    const int high = digit(at);
    const int low = digit(at + 1);
    return high < 0 || low < 0 ? -1 : high * 10 + low;
}

} // namespace

QString rawValue(WishState state)
{
    return QLatin1StringView(wishStateNames[std::size_t(state)]);
}

std::optional<WishState> wishStateFromRawValue(QStringView text)
{
    return enumFromName<WishState>(wishStateNames, text);
}

QString rawValue(ApiError::Reason reason)
{
    return QLatin1StringView(reasonNames[std::size_t(reason)]);
}

std::optional<ApiError::Reason> apiErrorReasonFromRawValue(QStringView text)
{
    return enumFromName<ApiError::Reason>(reasonNames, text);
}

QString description(ApiError::Reason reason)
{
    switch (reason) {
    case ApiError::Reason::requestResultedInError:
        return QStringLiteral("Backend responded with an error.");
    case ApiError::Reason::wrongBearerToken:
        return QStringLiteral("Wrong Bearer Token.");
    case ApiError::Reason::unknown:
        return QStringLiteral("An unknown error occured.");
    case ApiError::Reason::couldNotCreateRequest:
        return QStringLiteral("Could not create request.");
    case ApiError::Reason::couldNotDecodeBackendResponse:
        return QStringLiteral("Could not decode backend response.");
    case ApiError::Reason::missingApiHeaderKey:
        return QStringLiteral("Missing api header key.");
    case ApiError::Reason::missingUUIDHeaderKey:
        return QStringLiteral("Missing user header key.");
    }
    return {};
}

template <typename Record>
QJsonObject toJsonObject(const Record& record)
{
    return encodeRecord(record);
}

template <typename Record>
std::optional<Record> fromJsonObject(const QJsonObject& object, QString* error)
{
    QString failure;
    Decoder decoder{object, &failure};
    Record record{};
    visitFields(record, decoder);
    if (!failure.isEmpty()) {
        if (error)
            *error = failure;
        return std::nullopt;
    }
    return record;
}

#define PLENDRA_JSON_RECORD(Record)                                                                                    \
    template QJsonObject toJsonObject<Record>(const Record&);                                                          \
    template std::optional<Record> fromJsonObject<Record>(const QJsonObject&, QString*);

PLENDRA_JSON_RECORD(CreateCommentRequest)
PLENDRA_JSON_RECORD(UserRequest)
PLENDRA_JSON_RECORD(CreateWishRequest)
PLENDRA_JSON_RECORD(VoteWishRequest)
PLENDRA_JSON_RECORD(CommentResponse)
PLENDRA_JSON_RECORD(UserResponse)
PLENDRA_JSON_RECORD(CreateWishResponse)
PLENDRA_JSON_RECORD(ListWishResponse)
PLENDRA_JSON_RECORD(VoteWishResponse)
PLENDRA_JSON_RECORD(WishResponse)
PLENDRA_JSON_RECORD(ApiError)

#undef PLENDRA_JSON_RECORD

QByteArray jsonText(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<QJsonObject> parseJsonObject(const QByteArray& body, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = QStringLiteral("Invalid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (error)
            *error = QStringLiteral("Expected a JSON object");
        return std::nullopt;
    }
    return document.object();
}

QString uuidText(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    std::array<uchar, 16> bytes{};
    std::size_t nibble = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-')
                return std::nullopt;
            continue;
        }
        int value;
        if (c >= u'0' && c <= u'9')
            value = c - u'0';
        else if (c >= u'a' && c <= u'f')
            value = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            value = c - u'A' + 10;
        else
            return std::nullopt;
        bytes[nibble / 2] = uchar(bytes[nibble / 2] << 4 | value);
        ++nibble;
    }
    return QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

QString dateText(const QDateTime& date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

std::optional<QDateTime> dateFromText(QStringView text)
{
    // yyyy-MM-ddTHH:mm:ss[.fraction](Z|±hh:mm)
    if (text.size() < 20 || text[4] != u'-' || text[7] != u'-' || (text[10] != u'T' && text[10] != u't')
        || text[13] != u':' || text[16] != u':')
        return std::nullopt;
    const int century = twoDigits(text, 0);
    const int yearInCentury = twoDigits(text, 2);
    const int month = twoDigits(text, 5);
    const int day = twoDigits(text, 8);
    const int hour = twoDigits(text, 11);
    const int minute = twoDigits(text, 14);
    const int second = twoDigits(text, 17);
    if (century < 0 || yearInCentury < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(century * 100 + yearInCentury, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;

    qsizetype at = 19;
    int milliseconds = 0;
    if (text[at] == u'.') {
        const qsizetype start = ++at;
        while (at < text.size() && text[at].isDigit() && text[at].unicode() < 128) {
            if (at - start < 3)
                milliseconds = milliseconds * 10 + (text[at].unicode() - '0');
            ++at;
        }
        if (at == start)
            return std::nullopt;
        for (qsizetype digits = at - start; digits < 3; ++digits)
            milliseconds *= 10;
    }
    int offsetSeconds = 0;
    const QStringView zone = text.sliced(at);
    if (zone == u"Z" || zone == u"z") {
        offsetSeconds = 0;
    } else if (zone.size() == 6 && (zone[0] == u'+' || zone[0] == u'-') && zone[3] == u':') {
        const int offsetHours = twoDigits(zone, 1);
        const int offsetMinutes = twoDigits(zone, 4);
        if (offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59)
            return std::nullopt;
        offsetSeconds = (zone[0] == u'-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
    } else {
        return std::nullopt;
    }
    return QDateTime(date, time.addMSecs(milliseconds), Qt::UTC).addSecs(-offsetSeconds);
}

} // namespace plendra
