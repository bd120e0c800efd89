#pragma once

#include "mdview/FontProperties.h"

#include <optional>

namespace mdview {

// A length relative to the font in force: em follows size × scale, rem the base size alone.
struct RelativeSize {
    enum class Unit { em, rem };
    constexpr RelativeSize(double v, Unit u) : value(v), unit(u) {}
    double value = 0;
    Unit unit = Unit::rem;

    static RelativeSize em(double value) { return {value, Unit::em}; }
    static RelativeSize rem(double value) { return {value, Unit::rem}; }
    static RelativeSize zero() { return {0, Unit::rem}; }

    // Whole points against the font; the defaults (13 points, scale 1) when none is given.
    double points(const std::optional<FontProperties>& font) const;

    friend bool operator==(const RelativeSize& a, const RelativeSize& b)
    {
        return a.value == b.value && a.unit == b.unit;
    }
};

// The space a block asks for above and below itself. An absent side states no wish.
struct BlockMargin {
    std::optional<double> top;
    std::optional<double> bottom;

    // Merges side by side, keeping the larger present value.
    BlockMargin merged(const BlockMargin& next) const;
    bool isEmpty() const { return !top && !bottom; }

    friend bool operator==(const BlockMargin&, const BlockMargin&) = default;
};

} // namespace mdview
