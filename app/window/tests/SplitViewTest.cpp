#include "window/PersistentHSplitView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cmath>
#include <limits>

using namespace quillora;

namespace {

TEST(SplitFraction, StoredFractionsAreSanitizedAndClampedToTheMinima)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double fraction;
        double usable;
        double expected;
    } cases[] = {
        {0.1, 1000, 0.28},  {0.9, 1000, 0.76}, {0.5, 1000, 0.5},   {nan, 1000, 0.5}, {inf, 1000, 0.5},
        {-inf, 1000, 0.5},  {1.5, 1000, 0.5},  {-0.2, 1000, 0.5},  {0.5, 400, 0.7}, // both minima do not fit: the leading one wins
        {0.9, 0, 0.9},      {0.9, -5, 0.9},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(clampedFraction(c.fraction, c.usable, 280, 240), c.expected, 1e-9) << c.fraction << " of " << c.usable;
    for (const double bad : {nan, inf, -1.0, 2.0})
        EXPECT_EQ(sanitizedFraction(bad), 0.5);
    EXPECT_EQ(sanitizedFraction(0.0), 0.0);
    EXPECT_EQ(sanitizedFraction(1.0), 1.0);
}

struct Split : PersistentHSplitView {
    using PersistentHSplitView::PersistentHSplitView;
    using QSplitter::moveSplitter;
};

TEST(SplitFraction, TheDividerFollowsTheStoredFractionAndStoresCorrectionsAndDrags)
{
    double stored = 0.9;
    std::vector<double> writes;
    Split split({[&] { return stored; }, [&](double value) { stored = value; writes.push_back(value); }}, 280, 240,
                new QWidget, new QWidget);
    split.applyFraction(); // no width yet: nothing moves, nothing is written
    EXPECT_TRUE(writes.empty());

    split.resize(1000 + split.handleWidth(), 300);
    split.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(split.sizes().value(0), 760);
    EXPECT_EQ(writes, std::vector<double>{0.76});

    // Already in place: not moved, and the stored value is left as it is.
    writes.clear();
    stored = 0.7604;
    split.applyFraction();
    EXPECT_TRUE(writes.empty());

    // A drag is stored clamped, and the programmatic placement writes nothing more.
    split.moveSplitter(500, 1);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_NEAR(writes[0], 0.5, 0.002);
    split.moveSplitter(100, 1); // the minimum width stops the divider at 280
    EXPECT_NEAR(stored, 0.28, 0.002);

    // A window resize keeps the share.
    writes.clear();
    split.resize(2000 + split.handleWidth(), 300);
    QCoreApplication::processEvents();
    EXPECT_NEAR(split.sizes().value(0), 560, 1);
    EXPECT_TRUE(writes.empty());
}

} // namespace
