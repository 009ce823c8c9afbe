// Zoom steps and resets animate in the canvas while the model already holds the final values.
#include "app/views/canvas/CanvasViewAnimator.h"
#include "testsupport/QtTestApp.h"
#include "../../shell/ShellFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace ostrel {
namespace {

TEST(CanvasViewAnimator, Curves) {
    using A = ViewAnimation;
    // The spring is critically damped: it never overshoots and is within 0.1 % by half a second.
    double previous = 0;
    for (double t = 0.01; t <= 0.5; t += 0.01) {
        const double p = CanvasViewAnimator::progress(A::zoomReset, t);
        EXPECT_GT(p, previous) << t;
        EXPECT_LT(p, 1) << t;
        previous = p;
    }
    const double omega = 2 * std::numbers::pi / 0.18;
    EXPECT_NEAR(CanvasViewAnimator::progress(A::zoomReset, 0.09), 1 - (1 + omega * 0.09) * std::exp(-omega * 0.09),
                1e-12);
    EXPECT_GT(CanvasViewAnimator::progress(A::zoomReset, 0.499), 0.999);
    EXPECT_EQ(CanvasViewAnimator::progress(A::zoomReset, 0.5), 1);
    // Ease-out over 0.14 s: fast at first, done at the end.
    EXPECT_EQ(CanvasViewAnimator::progress(A::zoomStep, 0), 0);
    EXPECT_GT(CanvasViewAnimator::progress(A::zoomStep, 0.07), 0.6);
    EXPECT_LT(CanvasViewAnimator::progress(A::zoomStep, 0.07), 0.9);
    EXPECT_EQ(CanvasViewAnimator::progress(A::zoomStep, 0.14), 1);
    EXPECT_EQ(CanvasViewAnimator::progress(A::none, 0), 1);
}

TEST(CanvasViewAnimator, FollowsTheModelFromWhereTheDrawingIs) {
    test::ensureQtApp();
    test::RecordingSettingsStore settings;
    AppModel::Environment env;
    env.settings = &settings;
    AppModel model(AppModel::Options{}, env);
    model.setPanOffset({40, 0});
    CanvasViewAnimator animator(model);

    model.zoomIn();  // 1.25, animated
    EXPECT_TRUE(animator.isAnimating());
    EXPECT_EQ(animator.shownZoom(), 1);
    animator.advanceTo(0.07);
    const double halfway = animator.shownZoom();
    EXPECT_GT(halfway, 1);
    EXPECT_LT(halfway, 1.25);
    // A reset mid-way starts from the drawn zoom, not from the model's 1.25.
    model.resetZoom(true);
    EXPECT_EQ(animator.shownZoom(), halfway);
    animator.advanceTo(0.5);
    EXPECT_EQ(animator.shownZoom(), 1);
    EXPECT_EQ(animator.shownPan(), QPointF(0, 0));
    EXPECT_FALSE(animator.isAnimating());

    // A plain change lands at once and ends a running animation.
    model.zoomIn();
    model.applyZoom(3, {0, 0});
    EXPECT_FALSE(animator.isAnimating());
    EXPECT_EQ(animator.shownZoom(), 3);
    // Left to its timer, an animation ends on the model's values.
    model.zoomOut();
    ASSERT_TRUE(test::spinUntil([&] { return !animator.isAnimating(); }));
    EXPECT_EQ(animator.shownZoom(), model.zoomScale());
}

}  // namespace
}  // namespace ostrel
