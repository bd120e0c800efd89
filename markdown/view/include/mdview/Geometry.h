#pragma once

#include <QMarginsF>
#include <QRectF>
#include <QSizeF>

#include <cstdint>
#include <limits>
#include <optional>

namespace mdview {

inline constexpr double infinity = std::numeric_limits<double>::infinity();

// What a parent offers a child: an absent dimension asks for the child's ideal size,
// infinity for its largest, 0 for its smallest.
struct ProposedSize {
    std::optional<double> width;
    std::optional<double> height;

    static ProposedSize unspecified() { return {}; }
    friend bool operator==(const ProposedSize&, const ProposedSize&) = default;
};

enum class HorizontalAlignment { leading, center, trailing };
enum class VerticalAlignment { top, center, bottom, firstTextBaseline };

struct Alignment {
    HorizontalAlignment horizontal = HorizontalAlignment::center;
    VerticalAlignment vertical = VerticalAlignment::center;

    static constexpr Alignment center() { return {}; }
    static constexpr Alignment leading() { return {HorizontalAlignment::leading, VerticalAlignment::center}; }
    static constexpr Alignment trailing() { return {HorizontalAlignment::trailing, VerticalAlignment::center}; }
    static constexpr Alignment top() { return {HorizontalAlignment::center, VerticalAlignment::top}; }
    static constexpr Alignment bottom() { return {HorizontalAlignment::center, VerticalAlignment::bottom}; }
    static constexpr Alignment topLeading() { return {HorizontalAlignment::leading, VerticalAlignment::top}; }
    static constexpr Alignment topTrailing() { return {HorizontalAlignment::trailing, VerticalAlignment::top}; }
    static constexpr Alignment bottomLeading() { return {HorizontalAlignment::leading, VerticalAlignment::bottom}; }
    friend bool operator==(const Alignment&, const Alignment&) = default;
};

// The offset of a child of size `inner` inside `outer` for an alignment (baselines align as top).
QPointF alignedOffset(const QSizeF& outer, const QSizeF& inner, Alignment alignment);

enum Edge : std::uint8_t { Top = 1, Leading = 2, Bottom = 4, Trailing = 8 };
using Edges = std::uint8_t;
inline constexpr Edges AllEdges = Top | Leading | Bottom | Trailing;
inline constexpr Edges HorizontalEdges = Leading | Trailing;
inline constexpr Edges VerticalEdges = Top | Bottom;

struct EdgeInsets {
    double top = 0;
    double leading = 0;
    double bottom = 0;
    double trailing = 0;

    static EdgeInsets uniform(Edges edges, double length);
    friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

enum class Axis { horizontal, vertical };

} // namespace mdview
