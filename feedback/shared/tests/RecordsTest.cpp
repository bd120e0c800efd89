#include "feedback/Records.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace plendra;

namespace {

QJsonObject object(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object();
}

const QByteArray wishJson = R"({
  "id": "6f1c2d3e-4a5b-4c6d-8e9f-0a1b2c3d4e5f",
  "userUUID": "11111111-2222-3333-4444-555555555555",
  "title": "Dark mode", "description": "Please", "state": "inReview",
  "votingUsers": [{"uuid": "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE", "name": "ignored"}],
  "commentList": [{"id": "00000000-0000-0000-0000-000000000001", "userId": "00000000-0000-0000-0000-000000000002",
                   "description": "Yes!", "createdAt": "2024-05-01T11:30:00.25+02:00", "isAdmin": true,
                   "userName": "extra keys are ignored"}]
})";

} // namespace

TEST(Records, RequestRecordsWriteOnlyPresentFieldsCompactly)
{
    EXPECT_EQ(encodeJson(UserRequest{}), "{}");
    EXPECT_EQ(encodeJson(UserRequest{.email = QStringLiteral("a@b.c")}), R"({"email":"a@b.c"})");
    // Integers travel exactly, beyond the 53 bits a double holds.
    EXPECT_EQ(encodeJson(UserRequest{.name = QStringLiteral("N"), .paymentPerMonth = (qint64(1) << 62) + 1}),
              R"({"name":"N","paymentPerMonth":4611686018427387905})");

    const CreateWishRequest wish{QStringLiteral("T"), QStringLiteral("D"), std::nullopt, WishState::pending};
    EXPECT_EQ(toJsonObject(wish), object(R"({"title":"T","description":"D","state":"pending"})"));
    EXPECT_FALSE(toJsonObject(wish).contains(QStringLiteral("email")));

    const QUuid id = QUuid::fromString(QStringLiteral("6f1c2d3e-4a5b-4c6d-8e9f-0a1b2c3d4e5f"));
    EXPECT_EQ(encodeJson(VoteWishRequest{id}), R"({"wishId":"6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F"})");
    EXPECT_EQ(toJsonObject(CreateCommentRequest{id, QStringLiteral("Nice")}),
              object(R"({"wishId":"6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F","description":"Nice"})"));
}

TEST(Records, DecodesAWishWithItsVotersAndComments)
{
    QString error;
    const auto wish = fromJsonObject<WishResponse>(object(wishJson), &error);
    ASSERT_TRUE(wish) << error.toStdString();
    EXPECT_EQ(uuidText(wish->id), QStringLiteral("6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F"));
    EXPECT_EQ(wish->title, QStringLiteral("Dark mode"));
    EXPECT_EQ(wish->state, WishState::inReview);
    ASSERT_EQ(wish->votingUsers.size(), 1);
    EXPECT_EQ(uuidText(wish->votingUsers[0].uuid), QStringLiteral("AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE"));
    ASSERT_EQ(wish->commentList.size(), 1);
    const CommentResponse& comment = wish->commentList[0];
    EXPECT_TRUE(comment.isAdmin);
    EXPECT_EQ(comment.createdAt, QDateTime(QDate(2024, 5, 1), QTime(9, 30, 0, 250), Qt::UTC));

    // Writing and reading back keeps every field.
    const auto again = decodeJson<WishResponse>(encodeJson(*wish));
    ASSERT_TRUE(again);
    EXPECT_EQ(encodeJson(*again), encodeJson(*wish));

    const auto empty = decodeJson<ListWishResponse>(R"({"list": [], "shouldShowWatermark": true})");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->list.isEmpty());
    EXPECT_TRUE(empty->shouldShowWatermark);

    // A null optional reads as absent, like a missing one.
    const auto user = decodeJson<UserRequest>(R"({"email": null, "name": "N"})");
    ASSERT_TRUE(user);
    EXPECT_FALSE(user->email);
    EXPECT_EQ(user->name, QStringLiteral("N"));
}

TEST(Records, UndecodableBodiesSayWhatFailedWhere)
{
    const auto list = [](const QByteArray& wish) { return R"({"shouldShowWatermark": false, "list": [)" + wish + "]}"; };
    QByteArray approvedUpper = wishJson;
    approvedUpper.replace("\"inReview\"", "\"InReview\"");
    QByteArray notAState = wishJson;
    notAState.replace("\"inReview\"", "\"shipped\"");
    QByteArray noCreatedAt = wishJson;
    noCreatedAt.replace(R"("createdAt": "2024-05-01T11:30:00.25+02:00",)", "");
    QByteArray nullTitle = wishJson;
    nullTitle.replace(R"("Dark mode")", "null");
    QByteArray stringBool = wishJson;
    stringBool.replace("\"isAdmin\": true", "\"isAdmin\": \"true\"");
    QByteArray bracedId = wishJson;
    bracedId.replace("\"6f1c2d3e-4a5b-4c6d-8e9f-0a1b2c3d4e5f\"", "\"{6f1c2d3e-4a5b-4c6d-8e9f-0a1b2c3d4e5f}\"");
    QByteArray localDate = wishJson;
    localDate.replace("2024-05-01T11:30:00.25+02:00", "2024-05-01T11:30:00");

    const struct {
        const char* name;
        QByteArray body;
        const char* errorHas;
    } cases[] = {
        {"state differing in case", list(approvedUpper), "\"list[0].state\""},
        {"state that is no state", list(notAState), "wish state"},
        {"comment without createdAt", list(noCreatedAt), "\"list[0].commentList[0].createdAt\""},
        {"null required key", list(nullTitle), "\"list[0].title\""},
        {"Boolean as text", list(stringBool), "Boolean"},
        {"UUID in braces", list(bracedId), "UUID"},
        {"date without zone", list(localDate), "date-time"},
        {"list that is an object", R"({"list": {}, "shouldShowWatermark": false})", "array"},
        {"element that is no object", R"({"list": [1], "shouldShowWatermark": false})", "\"list[0]\""},
        {"missing flag", R"({"list": []})", "shouldShowWatermark"},
        {"JSON cut short", R"({"list": [], "shouldShow)", "offset"},
        {"array at the top", "[]", "object"},
        {"empty body", "", "offset"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(decodeJson<ListWishResponse>(c.body, &error)) << c.name;
        EXPECT_TRUE(error.contains(QLatin1StringView(c.errorHas))) << c.name << ": " << error.toStdString();
    }
}

TEST(Records, ErrorBodiesCarryOneOfTheSevenReasons)
{
    const struct {
        ApiError::Reason reason;
        const char* raw;
        const char* text;
    } reasons[] = {
        {ApiError::Reason::requestResultedInError, "requestResultedInError", "Backend responded with an error."},
        {ApiError::Reason::wrongBearerToken, "wrongBearerToken", "Wrong Bearer Token."},
        {ApiError::Reason::unknown, "unknown", "An unknown error occured."},
        {ApiError::Reason::couldNotCreateRequest, "couldNotCreateRequest", "Could not create request."},
        {ApiError::Reason::couldNotDecodeBackendResponse, "couldNotDecodeBackendResponse",
         "Could not decode backend response."},
        {ApiError::Reason::missingApiHeaderKey, "missingApiHeaderKey", "Missing api header key."},
        {ApiError::Reason::missingUUIDHeaderKey, "missingUUIDHeaderKey", "Missing user header key."},
    };
    for (const auto& r : reasons) {
        EXPECT_EQ(rawValue(r.reason), QLatin1StringView(r.raw));
        EXPECT_EQ(description(r.reason), QString::fromUtf8(r.text));
        const auto error = decodeJson<ApiError>(QByteArray(R"({"reason":")") + r.raw + "\"}");
        ASSERT_TRUE(error) << r.raw;
        EXPECT_EQ(error->reason, r.reason);
    }
    EXPECT_FALSE(decodeJson<ApiError>(R"({"reason":"MissingApiHeaderKey"})"));
    EXPECT_FALSE(decodeJson<ApiError>(R"({"error":"wrongBearerToken"})"));
}

TEST(Records, StatesInTheirFixedOrderByName)
{
    ASSERT_EQ(allWishStates.size(), 8u);
    EXPECT_EQ(allWishStates.front(), WishState::approved);
    EXPECT_EQ(allWishStates.back(), WishState::rejected);
    QStringList names;
    for (WishState state : allWishStates) {
        names.append(rawValue(state));
        EXPECT_EQ(wishStateFromRawValue(rawValue(state)), state);
    }
    EXPECT_EQ(names.join(u' '), QStringLiteral("approved implemented pending inReview planned inProgress completed rejected"));
    EXPECT_FALSE(wishStateFromRawValue(u"Approved"));
    EXPECT_FALSE(wishStateFromRawValue(u""));
}

TEST(Records, InternetDateTimes)
{
    const QDateTime noon(QDate(2024, 2, 29), QTime(12, 0), Qt::UTC);
    const struct {
        const char* text;
        std::optional<QDateTime> date;
    } cases[] = {
        {"2024-02-29T12:00:00Z", noon},
        {"2024-02-29t12:00:00z", noon},
        {"2024-02-29T17:30:00+05:30", noon},
        {"2024-02-29T11:00:00-01:00", noon},
        {"2024-02-29T12:00:00.5Z", noon.addMSecs(500)},
        {"2024-02-29T12:00:00.123456789Z", noon.addMSecs(123)},
        {"2023-02-29T12:00:00Z", std::nullopt},
        {"2024-02-29T24:00:00Z", std::nullopt},
        {"2024-02-29T12:00:00", std::nullopt},
        {"2024-02-29 12:00:00Z", std::nullopt},
        {"2024-02-29T12:00:00.Z", std::nullopt},
        {"2024-02-29T12:00:00+0530", std::nullopt},
        {"2024-02-29T12:00:00Z ", std::nullopt},
        {"２024-02-29T12:00:00Z", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dateFromText(QString::fromUtf8(c.text)), c.date) << c.text;
    EXPECT_EQ(dateText(noon.toOffsetFromUtc(3600)), QStringLiteral("2024-02-29T12:00:00Z"));
}
