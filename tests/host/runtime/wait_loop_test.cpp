// The wait loop: periodic events paced by the tick, a click that replaces a prepared one, the
// quit request, and the animation modes.
#include "tests/host/runtime/runtime_checks.h"

using Pacing = StartedRuntime;
using Quit = StartedRuntime;
using Animation = FreshRuntime;

TEST_F(Pacing, StepWhileHaltedGivesExactlyOnePeriodicEvent) {
    ZEPHA_set_animation(ANIM_STEP);
    EXPECT_EQ(PERIODIC, next_event());
    EXPECT_EQ(0, g_step_pending);
    // A tick taken while halted makes no periodic event: with nothing else to come, the wait
    // ends with Quit.
    queue_timer_tick();
    EXPECT_EQ(EV_QUIT, next_event().kind);
}

TEST_F(Pacing, ClickReplacesAPreparedPeriodicEvent) {
    ZEPHA_set_animation(ANIM_STEP);
    // The first input (Ctrl released) lets the wait prepare the periodic event; the click after
    // it arrives before any tick could deliver it.
    queue_input(INPUT_CTRL, 0);
    queue_input(INPUT_CLICK, 100, 50);
    EXPECT_EQ(mouse(100 - g_origin_x, g_origin_y - 50), next_event());
    EXPECT_EQ(0, g_step_pending) << "the step request is used up by the preparation";
}

TEST_F(Quit, AnimQuitEndsEveryLaterWaitAfterAnEvent) {
    EXPECT_EQ(1, ZEPHA_set_animation(ANIM_QUIT));
    queue_input(INPUT_CLICK, 10, 20);
    EXPECT_EQ((Event{EV_QUIT, 10 - g_origin_x, g_origin_y - 20, 0}), next_event())
        << "the quit carries the ending event's point";
    type('k');
    EXPECT_EQ((Event{EV_QUIT, 0, 0, 'k'}), next_event());
}

TEST_F(Animation, ModesBeforeStartUpAndWithoutEffect) {
    for (int mode : {ANIM_HALT, ANIM_STEP, ANIM_RUN, ANIM_QUIT})
        EXPECT_EQ(0, ZEPHA_set_animation(mode));
    EXPECT_EQ(0, g_animating + g_step_pending + g_quit_pending);

    start_runtime();
    for (int mode : {3, 4, 6, -1}) {
        EXPECT_EQ(1, ZEPHA_set_animation(mode));
        EXPECT_EQ(0, g_animating + g_step_pending + g_quit_pending) << "mode " << mode;
    }
    ZEPHA_set_animation(ANIM_RUN);
    ZEPHA_set_animation(ANIM_STEP);
    EXPECT_EQ(1, g_animating) << "a step leaves a running animation running";
    ZEPHA_set_animation(ANIM_HALT);
    EXPECT_EQ(0, g_animating);
    EXPECT_EQ(0, g_step_pending) << "halt drops a requested frame";
}
