#pragma once

#include <QEasingCurve>

#include <chrono>
#include <optional>

namespace mdview {

// How content that replaces other content comes in: faded in from transparent over the
// duration, its opacity following the curve.
struct Animation {
    std::chrono::milliseconds duration{350};
    QEasingCurve curve{QEasingCurve::InOutQuad};
};

// The settings a change of state is shown with: with no animation, at once.
struct Transaction {
    std::optional<Animation> animation;
};

} // namespace mdview
