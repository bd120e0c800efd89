#pragma once

#include "feedback/Records.h"

#include <QColor>
#include <QString>

#include <optional>

namespace plendra {

// The standard named colours the board's defaults use.
namespace colors {
QColor black();
QColor white();
QColor gray();
QColor blue();
QColor green();
QColor yellow();
QColor purple();
QColor red();
} // namespace colors

// Which of a scheme's two colours a view takes.
enum class Appearance { light, dark };

// The colours of the feature-request board.
struct Theme {
    // A light and a dark colour.
    struct Scheme {
        QColor light;
        QColor dark;

        static Scheme set(const QColor& light, const QColor& dark) { return {light, dark}; }
        static Scheme setBoth(const QColor& color) { return {color, color}; }
        const QColor& color(Appearance appearance) const { return appearance == Appearance::dark ? dark : light; }

        friend bool operator==(const Scheme&, const Scheme&) = default;
    };

    // One badge colour per request state.
    struct BadgeTheme {
        Scheme approved = Scheme::setBoth(colors::blue());
        Scheme implemented = Scheme::setBoth(colors::green());
        Scheme pending = Scheme::setBoth(colors::yellow());
        Scheme inReview = Scheme::setBoth(QColor(1, 255, 255)); // nearly cyan
        Scheme planned = Scheme::setBoth(colors::purple());
        Scheme inProgress = Scheme::setBoth(colors::blue());
        Scheme completed = Scheme::setBoth(colors::green());
        Scheme rejected = Scheme::setBoth(colors::red());

        const Scheme& scheme(WishState state) const;

        friend bool operator==(const BadgeTheme&, const BadgeTheme&) = default;
    };

    // The surfaces' colours where the theme leaves them unset.
    static const Scheme& defaultSecondaryScheme(); // white; 44, 44, 46 in the dark
    static const Scheme& defaultTertiaryScheme();  // 242, 242, 247; 28, 28, 30 in the dark
    static const QColor& defaultPrimaryColor();    // the system green

    QColor primaryColor = defaultPrimaryColor();
    std::optional<Scheme> secondaryColor;
    std::optional<Scheme> tertiaryColor;
    BadgeTheme badgeColor;
    std::optional<Scheme> textColor;

    // The set scheme, else the default one.
    const Scheme& secondary() const { return secondaryColor ? *secondaryColor : defaultSecondaryScheme(); }
    const Scheme& tertiary() const { return tertiaryColor ? *tertiaryColor : defaultTertiaryScheme(); }

    friend bool operator==(const Theme&, const Theme&) = default;
};

// The symbol on the vote button: a named symbol, or one of the two built-in choices.
class PlendraUpvoteIcon {
public:
    enum class Kind { systemName, thumbsUpIcon, arrowUpvoteIcon };

    static PlendraUpvoteIcon systemName(const QString& name) { return {Kind::systemName, name}; }
    static PlendraUpvoteIcon thumbsUpIcon() { return {Kind::thumbsUpIcon, {}}; }
    static PlendraUpvoteIcon arrowUpvoteIcon() { return {Kind::arrowUpvoteIcon, {}}; }

    Kind kind() const { return m_kind; }
    // The name carried by `systemName`, as given; empty for the other two.
    const QString& name() const { return m_name; }
    // The symbol the icon asks for: the carried name, "hand.thumbsup.fill" or
    // "arrowtriangle.up.fill". Whether a carried name exists is up to the view's icon set.
    QString symbolName() const;

    friend bool operator==(const PlendraUpvoteIcon&, const PlendraUpvoteIcon&) = default;

private:
    PlendraUpvoteIcon(Kind kind, QString name) : m_kind(kind), m_name(std::move(name)) {}

    Kind m_kind;
    QString m_name;
};

} // namespace plendra
