#include "mdview/RelativeSize.h"

#include <algorithm>

namespace mdview {

double RelativeSize::points(const std::optional<FontProperties>& font) const
{
    const FontProperties properties = font.value_or(FontProperties{});
    const double base = unit == Unit::em ? properties.scaledSize() : properties.size;
    return roundHalfAwayFromZero(base * value);
}

BlockMargin BlockMargin::merged(const BlockMargin& next) const
{
    auto side = [](std::optional<double> a, std::optional<double> b) -> std::optional<double> {
        if (a && b)
            return std::max(*a, *b);
        return a ? a : b;
    };
    return {side(top, next.top), side(bottom, next.bottom)};
}

} // namespace mdview
