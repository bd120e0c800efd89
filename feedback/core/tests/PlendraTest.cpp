#include "feedback/Plendra.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using plendra::Configuration;
using plendra::Plendra;

TEST(Plendra, StartsWithThePlaceholderKeyAndDefaults)
{
    EXPECT_EQ(Plendra::apiKey(), QStringLiteral("tin-kettle-value"));
    EXPECT_EQ(Plendra::config().buttons.addButton.location, Configuration::AddButton::Location::floating);
    EXPECT_EQ(Plendra::theme().primaryColor, QColor(52, 199, 89));
}

TEST(Plendra, ReadsAreCopiesAndWritesReplaceTheSharedValue)
{
    auto config = Plendra::config();
    config.buttons.addButton.location = Configuration::AddButton::Location::navigationBar;
    EXPECT_EQ(Plendra::config().buttons.addButton.location, Configuration::AddButton::Location::floating);
    Plendra::setConfig(config);
    EXPECT_EQ(Plendra::config().buttons.addButton.location, Configuration::AddButton::Location::navigationBar);

    auto theme = Plendra::theme();
    theme.primaryColor = Qt::blue;
    EXPECT_NE(Plendra::theme().primaryColor, QColor(Qt::blue));
    Plendra::setTheme(theme);
    EXPECT_EQ(Plendra::theme().primaryColor, QColor(Qt::blue));

    Plendra::configure(QStringLiteral("key-1"));
    EXPECT_EQ(Plendra::apiKey(), QStringLiteral("key-1"));
}

TEST(Plendra, ConcurrentReadersAndWritersSeeWholeValues)
{
    const QColor colors[] = {QColor(1, 2, 3), QColor(200, 100, 50)};
    Plendra::setTheme({colors[0]});
    Plendra::configure(QStringLiteral("even-key"));
    std::vector<std::thread> threads;
    std::atomic<bool> torn{false};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if (t % 2 == 0) {
                    Plendra::setTheme({colors[i % 2]});
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
}
