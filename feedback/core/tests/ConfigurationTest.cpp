#include "feedback/Configuration.h"
#include "feedback/Plendra.h"
#include "feedback/Theme.h"

#include <gtest/gtest.h>

using namespace plendra;

TEST(Configuration, DefaultsAndTexts)
{
    const Configuration config;
    EXPECT_EQ(config.statusBadge, Configuration::Display::hide);
    EXPECT_FALSE(config.expandDescriptionInList);
    EXPECT_EQ(config.dropShadow, Configuration::Display::show);
    EXPECT_EQ(config.cornerRadius, 16);
    EXPECT_EQ(config.emailField, Configuration::EmailField::optional);
    EXPECT_EQ(config.commentSection, Configuration::Display::show);
    EXPECT_FALSE(config.allowUndoVote);
    EXPECT_EQ(config.buttons.addButton.location, Configuration::AddButton::Location::floating);
    EXPECT_EQ(config.buttons.doneButton.display, Configuration::Display::hide);
    EXPECT_EQ(config.buttons.voteButton.icon.symbolName(), QStringLiteral("arrowtriangle.up.fill"));
    EXPECT_EQ(config.buttons.voteButton.arrowColor, Theme::Scheme::setBoth(colors::gray()));
    EXPECT_EQ(config.tabBar.selectedImage, QStringLiteral("lightbulb.fill"));
    EXPECT_EQ(config.localization, Configuration::Localization::defaults());

    // The texts whose spelling is easy to "correct" by mistake.
    const auto& texts = config.localization;
    EXPECT_EQ(texts.titleOfWish, QStringLiteral("Title of the feature.."));
    EXPECT_EQ(texts.writeAComment, QStringLiteral("Write a comment.."));
    EXPECT_EQ(texts.refreshing, QStringLiteral("Refreshing.."));
    EXPECT_EQ(texts.youCanNotVoteForAnImplementedWish, QStringLiteral("You can not vote for a feature that is already implemented."));
    EXPECT_EQ(texts.youCanNotVoteForYourOwnWish, QStringLiteral("You cannot vote for your own feature request."));
    EXPECT_EQ(texts.noFeatureRequests, QString::fromUtf8("No feature requests, yet \u2728"));
}

TEST(Configuration, StateTitlesFollowTheSharedTexts)
{
    const Configuration saved = Plendra::config();
    EXPECT_EQ(description(WishState::approved), QStringLiteral("In Review"));
    EXPECT_EQ(description(WishState::approved), description(WishState::inReview));
    EXPECT_EQ(description(WishState::implemented), QStringLiteral("Completed"));
    EXPECT_EQ(description(WishState::implemented), description(WishState::completed));
    EXPECT_EQ(description(WishState::rejected), QStringLiteral("Not Supported"));

    Configuration changed = saved;
    changed.localization.planned = QStringLiteral("Geplant");
    Plendra::setConfig(changed);
    EXPECT_EQ(description(WishState::planned), QStringLiteral("Geplant"));
    EXPECT_EQ(description(WishState::rejected), QStringLiteral("Not Supported"));
    Plendra::setConfig(saved);
}

TEST(Theme, DefaultsAndFallbackSchemes)
{
    const Theme theme;
    EXPECT_EQ(theme.primaryColor, colors::green());
    EXPECT_FALSE(theme.secondaryColor);
    EXPECT_FALSE(theme.tertiaryColor);
    EXPECT_FALSE(theme.textColor);
    EXPECT_EQ(theme.secondary().color(Appearance::light), QColor(255, 255, 255));
    EXPECT_EQ(theme.secondary().color(Appearance::dark), QColor(44, 44, 46));
    EXPECT_EQ(theme.tertiary().color(Appearance::light), QColor(242, 242, 247));
    EXPECT_EQ(theme.tertiary().color(Appearance::dark), QColor(28, 28, 30));
    // Nearly cyan, in both appearances.
    EXPECT_EQ(theme.badgeColor.scheme(WishState::inReview), Theme::Scheme::setBoth(QColor(1, 255, 255)));
    EXPECT_EQ(theme.badgeColor.scheme(WishState::rejected).dark, colors::red());

    Theme custom = theme;
    custom.secondaryColor = Theme::Scheme::set(Qt::darkRed, Qt::darkBlue);
    EXPECT_EQ(custom.secondary().color(Appearance::light), QColor(Qt::darkRed));
    EXPECT_EQ(custom.secondary().color(Appearance::dark), QColor(Qt::darkBlue));
    EXPECT_EQ(Theme::Scheme::setBoth(colors::blue()), (Theme::Scheme{colors::blue(), colors::blue()}));

    EXPECT_EQ(PlendraUpvoteIcon::thumbsUpIcon().symbolName(), QStringLiteral("hand.thumbsup.fill"));
    EXPECT_EQ(PlendraUpvoteIcon::systemName(QStringLiteral(" star ")).symbolName(), QStringLiteral(" star "));
}
