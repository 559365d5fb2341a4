// The Run menu's commands and the Ctrl shortcuts, queued as the platform queues them and taken
// by the runtime's own pump or wait loop.
#include "tests/host/runtime/runtime_checks.h"

#include <array>

namespace {

// What the user can see of the Run menu's flags: animating, step pending, logging, recording,
// playing, play one, and the check marks of Logging, Record and Playback.
std::array<int, 9> run_flags() {
    return {g_animating, g_step_pending,       g_logging,           g_recording,          g_playing,
            g_play_one,  checked(IDM_LOGGING), checked(IDM_RECORD), checked(IDM_PLAYBACK)};
}

} // namespace

using RunMenu = StartedRuntime;

TEST_F(RunMenu, CommandsSetTheFlagsOfTheCommandTableAndOtherIdsNothing) {
    const std::array<int, 9> before = run_flags();
    for (int id : {0, int{IDM_INFO}, 10, 65, 0x10005})
        queue_input(INPUT_COMMAND, id);
    pump_queued();
    EXPECT_EQ(before, run_flags());

    queue_input(INPUT_COMMAND, IDM_ANIMATE);
    pump_queued();
    EXPECT_EQ(1, g_animating);
    EXPECT_EQ(0, g_step_pending);
    // Advance one frame stops a running animation and requests one frame...
    queue_input(INPUT_COMMAND, IDM_STEP);
    pump_queued();
    EXPECT_EQ(0, g_animating);
    EXPECT_EQ(1, g_step_pending);
    // ...which neither Animate nor Halt takes back.
    queue_input(INPUT_COMMAND, IDM_ANIMATE);
    queue_input(INPUT_COMMAND, IDM_HALT);
    pump_queued();
    EXPECT_EQ(0, g_animating);
    EXPECT_EQ(1, g_step_pending);
}

TEST_F(RunMenu, EachShortcutActsInBothLetterCasesOnlyWhileCtrlIsHeld) {
    const struct {
        char letter;
        bool (*done)(); // the command's effect, from the starting state of this table
    } shortcuts[] = {
        {'A', [] { return g_animating == 1; }},
        {'H', [] { return g_animating == 0; }},
        {'F', [] { return g_step_pending == 1 && g_animating == 0; }},
        {'L', [] { return g_logging == 0 && !checked(IDM_LOGGING); }},
        {'R', [] { return g_recording == 1 && checked(IDM_RECORD); }},
        {'P', [] { return g_playing == 1 && checked(IDM_PLAYBACK); }},
        {'O', [] { return g_play_one == 1 && g_playing == 0; }},
    };
    for (const auto &shortcut : shortcuts) {
        for (char letter : {shortcut.letter, static_cast<char>(shortcut.letter + 'a' - 'A')}) {
            SCOPED_TRACE(std::string("letter ") + letter);
            if (shortcut.letter == 'H')
                g_animating = 1;
            const std::array<int, 9> before = run_flags();

            // Without Ctrl the letter is no shortcut, and neither is it after Ctrl is released.
            queue_input(INPUT_KEY_DOWN, letter);
            queue_input(INPUT_CTRL, 1);
            queue_input(INPUT_CTRL, 0);
            queue_input(INPUT_KEY_DOWN, letter);
            pump_queued();
            EXPECT_EQ(before, run_flags());

            press_ctrl_key(letter);
            queue_input(INPUT_CTRL, 0);
            pump_queued();
            EXPECT_TRUE(shortcut.done()) << "got flags " << testing::PrintToString(run_flags());

            // Whatever the shortcut changed is put back by the command itself or by hand.
            if (g_recording)
                stop_recording();
            if (g_playing)
                stop_playback();
            if (g_logging == 0)
                on_command(IDM_LOGGING);
            g_animating = g_step_pending = g_play_one = 0;
        }
    }
}

TEST_F(RunMenu, WhileCtrlIsHeldOtherKeysChangeNothingAndCharactersMakeNoEvent) {
    const std::array<int, 9> before = run_flags();
    queue_input(INPUT_CTRL, 1);
    for (int key : {int{'B'}, int{'Z'}, 'a' - 1, int{'b'}, 0x7B, 0x10, 'A' + 256})
        queue_input(INPUT_KEY_DOWN, key);
    pump_queued();
    EXPECT_EQ(1, g_ctrl_down);
    EXPECT_EQ(before, run_flags());

    for (int code : {'X' & 0x1F, int{'x'}, int{'A'}})
        type(code);
    queue_input(INPUT_CTRL, 0);
    type('y');
    EXPECT_EQ(key('y'), next_event()) << "the first key event is the one typed after Ctrl is up";
}

TEST_F(RunMenu, CtrlQAndCtrlLowerQEachEndAWaitWithQuitEvent) {
    g_animating = 1;
    press_ctrl_key('Q');
    EXPECT_EQ(EV_QUIT, next_event().kind);
    press_ctrl_key('q');
    EXPECT_EQ(EV_QUIT, next_event().kind);
}

TEST_F(RunMenu, HaltAfterAdvanceOneFrameStillDeliversThePreparedFrame) {
    press_ctrl_key('F');
    queue_input(INPUT_KEY_DOWN, 'H');
    EXPECT_EQ(PERIODIC, next_event());
    EXPECT_EQ(0, g_animating);
    EXPECT_EQ(0, g_step_pending);
}

TEST_F(RunMenu, PlaybackWhileAnimatingHaltsAndDeliversTheScriptedEvents) {
    write_script("ZEPHA_MOUSE(-120, 45);\r\nZEPHA_KBD(97);\r\n");
    press_ctrl_key('A');
    pump_queued();
    queue_input(INPUT_COMMAND, IDM_STEP);
    queue_input(INPUT_COMMAND, IDM_ANIMATE);
    queue_input(INPUT_KEY_DOWN, 'P');
    EXPECT_EQ(mouse(-120, 45), next_event());
    EXPECT_EQ(0, g_animating);
    EXPECT_EQ(0, g_step_pending);
    EXPECT_TRUE(checked(IDM_PLAYBACK));
    EXPECT_EQ(key('a'), next_event());

    // Playback Script again stops it and takes the check mark away.
    queue_input(INPUT_COMMAND, IDM_PLAYBACK);
    pump_queued();
    EXPECT_EQ(0, g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));
}
