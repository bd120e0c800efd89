#pragma once

#include <QColor>
#include <QString>

namespace plendra {

// How the feature-request board looks and behaves.
struct Configuration {
    struct AddButton {
        enum class Location { floating, navigationBar };
        Location location = Location::floating;
    };
    struct Buttons {
        AddButton addButton;
    };

    Buttons buttons;
};

// The feedback client's process-wide state. The host sets it once at start-up; every request and
// board view reads it. Reads return copies; writes replace the whole value under one lock.
class Plendra {
public:
    struct Theme {
        QColor primaryColor;
    };

    Plendra() = delete;

    // Replaces the API key sent with every later request.
    static void configure(const QString& apiKey);
    static QString apiKey();

    static Configuration config();
    static void setConfig(const Configuration& config);

    static Theme theme();
    static void setTheme(const Theme& theme);
};

} // namespace plendra
