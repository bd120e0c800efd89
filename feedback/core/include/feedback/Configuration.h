#pragma once

#include "feedback/Theme.h"

#include <QString>

namespace plendra {

// How the feature-request board looks and behaves, and every text it shows. The host reads it
// from the facade, changes fields and writes it back; board views read a copy each time they
// build.
struct Configuration {
    enum class Display { show, hide };
    enum class EmailField { none, optional, required };

    struct SegmentedControl {
        Display display = Display::show;
        Theme::Scheme defaultTextColor = Theme::Scheme::set(colors::black(), colors::white());
        Theme::Scheme activeTextColor = Theme::Scheme::setBoth(colors::white());
        friend bool operator==(const SegmentedControl&, const SegmentedControl&) = default;
    };
    struct AddButton {
        enum class Padding { small, medium, large };
        enum class Location { floating, navigationBar };
        Display display = Display::show;
        Theme::Scheme textColor = Theme::Scheme::set(colors::black(), colors::white());
        Padding bottomPadding = Padding::small;
        Location location = Location::floating;
        friend bool operator==(const AddButton&, const AddButton&) = default;
    };
    struct VoteButton {
        Theme::Scheme arrowColor = Theme::Scheme::setBoth(colors::gray());
        Theme::Scheme textColor = Theme::Scheme::set(colors::black(), colors::white());
        PlendraUpvoteIcon icon = PlendraUpvoteIcon::arrowUpvoteIcon();
        friend bool operator==(const VoteButton&, const VoteButton&) = default;
    };
    struct SaveButton {
        Theme::Scheme textColor = Theme::Scheme::set(colors::black(), colors::white());
        friend bool operator==(const SaveButton&, const SaveButton&) = default;
    };
    struct DoneButton {
        Display display = Display::hide;
        friend bool operator==(const DoneButton&, const DoneButton&) = default;
    };
    struct Buttons {
        SegmentedControl segmentedControl;
        AddButton addButton;
        VoteButton voteButton;
        SaveButton saveButton;
        DoneButton doneButton;
        friend bool operator==(const Buttons&, const Buttons&) = default;
    };
    // A pair of symbol names for a tab bar.
    struct TabBar {
        QString image = QStringLiteral("lightbulb");
        QString selectedImage = QStringLiteral("lightbulb.fill");
        friend bool operator==(const TabBar&, const TabBar&) = default;
    };

    // Every user-visible text of the board; a default-built value holds the default texts.
    struct Localization {
        QString requested = QStringLiteral("Requested");
        QString pending = QStringLiteral("Pending");
        QString approved = QStringLiteral("In Review");
        QString implemented = QStringLiteral("Completed");
        QString inReview = QStringLiteral("In Review");
        QString planned = QStringLiteral("Planned");
        QString inProgress = QStringLiteral("In Progress");
        QString completed = QStringLiteral("Completed");
        QString wishlist = QStringLiteral("Feature Requests");
        QString save = QStringLiteral("Save");
        QString title = QStringLiteral("Title");
        QString description = QStringLiteral("Description");
        QString upvote = QStringLiteral("Upvote");
        QString info = QStringLiteral("Info");
        QString youCanOnlyVoteOnce = QStringLiteral("You can only vote once.");
        QString youCanNotVoteForAnImplementedWish = QStringLiteral("You can not vote for a feature that is already implemented.");
        QString youCanNotVoteForYourOwnWish = QStringLiteral("You cannot vote for your own feature request.");
        QString poweredBy = QStringLiteral("Powered by");
        QString successfullyCreated = QStringLiteral("Successfully created");
        QString done = QStringLiteral("Done");
        QString detail = QStringLiteral("Detail");
        QString featureWishlist = QStringLiteral("Feature Requests");
        QString confirm = QStringLiteral("Confirm");
        QString cancel = QStringLiteral("Cancel");
        QString ok = QStringLiteral("Ok");
        QString titleOfWish = QStringLiteral("Title of the feature..");
        QString titleDescriptionCannotBeEmpty = QStringLiteral("Title/Description cannot be empty.");
        QString votes = QStringLiteral("Votes");
        QString close = QStringLiteral("Close");
        QString createWish = QStringLiteral("Create Feature");
        QString optional = QStringLiteral("optional");
        QString required = QStringLiteral("required");
        QString emailRequiredText = QStringLiteral("Please enter your email address.");
        QString emailFormatWrongText = QStringLiteral("Wrong email format.");
        QString comments = QStringLiteral("Comments");
        QString writeAComment = QStringLiteral("Write a comment..");
        QString admin = QStringLiteral("Admin");
        QString user = QStringLiteral("User");
        QString noFeatureRequests = QStringLiteral("No feature requests, yet ✨");
        QString emailOptional = QStringLiteral("Email (optional)");
        QString emailRequired = QStringLiteral("Email (required)");
        QString discardEnteredInformation = QStringLiteral("Discard entered information?");
        QString addButtonInNavigationBar = QStringLiteral("Create");
        QString refresh = QStringLiteral("Refresh");
        QString refreshing = QStringLiteral("Refreshing..");

        // The 45 default texts.
        static Localization defaults() { return {}; }

        friend bool operator==(const Localization&, const Localization&) = default;
    };

    Display statusBadge = Display::hide;
    Localization localization;
    Buttons buttons;
    TabBar tabBar;
    bool expandDescriptionInList = false;
    Display dropShadow = Display::show;
    double cornerRadius = 16;
    EmailField emailField = EmailField::optional;
    Display commentSection = Display::show;
    bool allowUndoVote = false;

    friend bool operator==(const Configuration&, const Configuration&) = default;
};

// The text of a state in `localization`; "Not Supported" for `rejected`, whatever it says.
QString displayTitle(WishState state, const Configuration::Localization& localization);

} // namespace plendra
