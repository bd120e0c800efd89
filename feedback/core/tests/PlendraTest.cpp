#include "feedback/Api.h"
#include "feedback/Plendra.h"
#include "feedback/testing/FeedbackTestService.h"
#include "testsupport/CapturedStdout.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

#include <atomic>
#include <thread>
#include <vector>

using plendra::Configuration;
using plendra::Decimal;
using plendra::Payment;
using plendra::Plendra;

TEST(Plendra, StartsWithThePlaceholderKeyAndDefaults)
{
    EXPECT_EQ(Plendra::apiKey(), QStringLiteral("tin-kettle-value"));
    EXPECT_EQ(Plendra::config(), Configuration());
    EXPECT_EQ(Plendra::theme(), Plendra::Theme());
    EXPECT_EQ(Plendra::theme().primaryColor, QColor(52, 199, 89));
}

TEST(Plendra, ReadsAreCopiesAndWritesReplaceTheSharedValue)
{
    auto config = Plendra::config();
    config.buttons.addButton.location = Configuration::AddButton::Location::navigationBar;
    EXPECT_EQ(Plendra::config().buttons.addButton.location, Configuration::AddButton::Location::floating);
    Plendra::setConfig(config);
    EXPECT_EQ(Plendra::config().buttons.addButton.location, Configuration::AddButton::Location::navigationBar);
    Plendra::setConfig({});

    auto theme = Plendra::theme();
    theme.primaryColor = Qt::blue;
    EXPECT_NE(Plendra::theme().primaryColor, QColor(Qt::blue));
    Plendra::setTheme(theme);
    EXPECT_EQ(Plendra::theme().primaryColor, QColor(Qt::blue));
    Plendra::setTheme({});

    Plendra::configure(QStringLiteral("key-1"));
    EXPECT_EQ(Plendra::apiKey(), QStringLiteral("key-1"));
    Plendra::configure(QStringLiteral("tin-kettle-value"));
}

TEST(Plendra, ConcurrentReadersAndWritersSeeWholeValues)
{
    const QColor colors[] = {QColor(1, 2, 3), QColor(200, 100, 50)};
    const auto themed = [&](int i) {
        Plendra::Theme theme;
        theme.primaryColor = colors[i % 2];
        return theme;
    };
    Plendra::setTheme(themed(0));
    Plendra::configure(QStringLiteral("even-key"));
    std::vector<std::thread> threads;
    std::atomic<bool> torn{false};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (t % 2 == 0) {
                    Plendra::setTheme(themed(i));
                    Plendra::configure(i % 2 ? QStringLiteral("odd-key") : QStringLiteral("even-key"));
                } else {
                    const auto color = Plendra::theme().primaryColor;
                    const auto key = Plendra::apiKey();
                    if ((color != colors[0] && color != colors[1])
                        || (key != QStringLiteral("odd-key") && key != QStringLiteral("even-key")))
                        torn = true;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(torn);
    Plendra::setTheme({});
    Plendra::configure(QStringLiteral("tin-kettle-value"));
}

TEST(Payment, ConvertsToMonthlyCentsExactly)
{
    const auto decimal = [](const char* text) { return *Decimal::fromString(QString::fromLatin1(text)); };
    const struct {
        const char* amount;
        std::optional<Payment> (*convert)(const Decimal&);
        std::optional<qint64> cents;
    } cases[] = {
        {"10", Payment::weekly, 4000},
        {"2.999", Payment::weekly, 1196}, // the fraction of a cent goes before the 4 weeks
        {"9.99", Payment::monthly, 999},
        {"0.29", Payment::monthly, 29},
        {"4.35", Payment::monthly, 435},
        {"5", Payment::monthly, 500},
        {"120", Payment::yearly, 1000},
        {"100", Payment::yearly, 834}, // 833.33… rounded up
        {"0.01", Payment::yearly, 1},
        {"0.000000000000000000000000000000000000000001", Payment::yearly, 1},
        {"0.000000000000000000000000000000000000000001", Payment::monthly, 0},
        {"-100", Payment::yearly, -833},
        {"-2.999", Payment::monthly, -299},
        {"92233720368547758.07", Payment::monthly, std::numeric_limits<qint64>::max()},
        {"922337203685477581", Payment::monthly, std::nullopt},
        {"23058430092136939.52", Payment::weekly, std::nullopt}, // fits until the 4 weeks
        {"23058430092136939.51", Payment::weekly, 9223372036854775804},
        {"9223372036854775807", Payment::yearly, std::nullopt},
        {"1106804644422573097", Payment::yearly, std::nullopt},
        {"1106804644422573096", Payment::yearly, 9223372036854775800},
    };
    for (const auto& c : cases) {
        const std::optional<Payment> payment = c.convert(decimal(c.amount));
        EXPECT_EQ(payment.has_value(), c.cents.has_value()) << c.amount;
        if (payment && c.cents) {
            EXPECT_EQ(payment->amount, *c.cents) << c.amount;
        }
    }
    EXPECT_EQ(Payment::monthly(Decimal{999, 2})->amount, 999);
    EXPECT_EQ(Payment::monthly(Decimal{5, -3})->amount, 500000);
    EXPECT_FALSE(Payment::monthly(Decimal{1, -30}));
    // Cents beyond 64 bits before the 4 weeks, or beyond 128 bits, are refused, not wrapped; a
    // twelfth of 10^20 cents still fits.
    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    EXPECT_FALSE(Payment::weekly(Decimal{largest, -17}));
    EXPECT_FALSE(Payment::monthly(Decimal{largest, -19}));
    EXPECT_FALSE(Payment::yearly(Decimal{largest, -18}));
    EXPECT_FALSE(Payment::yearly(Decimal{-largest - 1, -40}));
    EXPECT_EQ(Payment::yearly(Decimal{1, -18})->amount, 8333333333333333334);
    EXPECT_EQ(Payment::yearly(Decimal{-1, -18})->amount, -8333333333333333333);
    EXPECT_EQ(Payment::monthly(Decimal{0, -30})->amount, 0);

    for (const char* bad : {"", "-", ".", "1.2.3", "1e3", "1,5", " 1", "abc", "99999999999999999999", "٣"})
        EXPECT_FALSE(Decimal::fromString(QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(Decimal::fromString(u".5")->mantissa, 5);
    EXPECT_EQ(Decimal::fromString(u"+1.50")->scale, 2);
}

TEST(Plendra, UserUpdatesSendTheWholeRecordAsItStandsWhenSent)
{
    plendra::testing::FeedbackTestService service;
    ASSERT_TRUE(service.isListening());
    service.reply(plendra::testing::FeedbackTestService::userPath, R"({"uuid":"6F1C2D3E-4A5B-4C6D-8E9F-0A1B2C3D4E5F"})");
    plendra::Api::setShared(service.api());
    const auto bodies = [&] {
        QList<QJsonDocument> sent;
        for (const auto& request : service.server().requests(plendra::testing::FeedbackTestService::userPath))
            sent.append(QJsonDocument::fromJson(request.body));
        return sent;
    };
    const auto json = [](const char* text) { return QJsonDocument::fromJson(text); };

    testsupport::captureStdout([&] {
        Plendra::updateUserEmail(QStringLiteral("not checked"));
        testsupport::waitUntil([&] { return bodies().size() == 1; });
        Plendra::updateUser(*Payment::monthly(Decimal{5, 0}));
        Plendra::updateUserName(QStringLiteral("Ada"));
        Plendra::updateUserCustomID(QStringLiteral("c-1"));
        testsupport::waitUntil([&] { return bodies().size() == 4; });
    });
    ASSERT_EQ(bodies().size(), 4);
    EXPECT_EQ(bodies()[0], json(R"({"email":"not checked"})"));
    // The three quick changes are each sent with the record as it stands once the loop runs.
    const QJsonDocument whole = json(R"({"email":"not checked","paymentPerMonth":500,"name":"Ada","customID":"c-1"})");
    EXPECT_EQ(bodies()[3], whole);
    EXPECT_EQ(bodies()[1], whole);
    plendra::Api::setShared(plendra::Api(plendra::Api::baseURL()));
}
