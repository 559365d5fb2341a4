// Script recording and playback through the wait loop: the file the recorder writes, the events
// playback delivers, the failures and their log messages, and how the script meets live input.
#include "tests/host/runtime/runtime_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <random>

#include "runtime/pure/script_line.h"

namespace {

const std::string EOF_MESSAGE = "EOF encountered in script file ZEPHA.SCR\n";

// One periodic event, delivered at a tick of the running animation.
Event periodic_event() {
    ZEPHA_set_animation(ANIM_RUN);
    const Event event = next_event();
    ZEPHA_set_animation(ANIM_HALT);
    return event;
}

Event click_event(int x, int y) {
    click_at(x, y);
    return next_event();
}

Event char_event(int code) {
    type(code);
    return next_event();
}

// Plays the rest of the script, waiting for `expected`, and fails at the first difference.
void expect_playback(const std::vector<Event> &expected) {
    for (size_t i = 0; i < expected.size(); i++) {
        const Event got = next_event();
        ASSERT_EQ(expected[i], got) << "event " << i << " of " << expected.size();
    }
}

const char WORKED_EXAMPLE[] = "ZEPHA_PERIODIC(3);\r\n"
                              "ZEPHA_MOUSE(-120, 45);\r\n"
                              "ZEPHA_KBD(97);\r\n"
                              "ZEPHA_KBD(-23);\r\n"
                              "ZEPHA_PERIODIC(12);\r\n";

} // namespace

using Script = StartedRuntime;

TEST_F(Script, RecordingTheWorkedExampleWritesItsFiveLines) {
    start_recording();
    EXPECT_TRUE(checked(IDM_RECORD));
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(PERIODIC, periodic_event());
    ASSERT_EQ(mouse(-120, 45), click_event(-120, 45));
    ASSERT_EQ(key('a'), char_event('a'));
    ASSERT_EQ(key(233), char_event(233));
    for (int i = 0; i < 12; i++)
        ASSERT_EQ(PERIODIC, periodic_event());
    stop_recording();

    EXPECT_FALSE(checked(IDM_RECORD));
    EXPECT_EQ(0, g_periodic_run);
    EXPECT_EQ(WORKED_EXAMPLE, read_script());
}

TEST_F(Script, PlayingTheWorkedExampleDeliversItsEventsThenTheEndOfFile) {
    write_script(WORKED_EXAMPLE);
    std::vector<Event> expected(3, PERIODIC);
    expected.insert(expected.end(), {mouse(-120, 45), key(97), key(233)});
    expected.insert(expected.end(), 12, PERIODIC);

    // The animation is halted: periodic events from the script do not wait for ticks.
    const size_t messages = log_ring().size();
    start_playback();
    EXPECT_TRUE(checked(IDM_PLAYBACK));
    expect_playback(expected);
    EXPECT_EQ(messages, log_ring().size()) << "a message before the end";

    // The wait that meets the end of the file goes on with live input.
    EXPECT_EQ(mouse(5, 6), click_event(5, 6));
    EXPECT_EQ(std::vector<std::string>{EOF_MESSAGE}, last_log_lines(1));
    EXPECT_FALSE(g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));

    // Playback that ended by itself has closed the file: the next one starts from the top.
    start_playback();
    expect_playback(expected);
}

TEST_F(Script, RandomEventsComeBackUnchanged) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> any_int(INT_MIN, INT_MAX);
    std::uniform_int_distribution<int> run_length(1, 40);

    // Groups of events: every key code, clicks anywhere in 32 bits, and periodic runs.
    std::vector<std::vector<Event>> groups;
    for (int code = -128; code <= 127; code++)
        groups.push_back({key(code)});
    for (int x : {INT_MIN, INT_MAX, 0, -1})
        groups.push_back({mouse(x, ~x)});
    for (int i = 0; i < 1500; i++)
        groups.push_back({mouse(any_int(random), any_int(random))});
    for (int i = 0; i < 600; i++)
        groups.push_back(std::vector<Event>(run_length(random), PERIODIC));
    std::shuffle(groups.begin(), groups.end(), random);
    std::vector<Event> events;
    for (const std::vector<Event> &group : groups)
        events.insert(events.end(), group.begin(), group.end());

    // Recorded as the wait loop records delivered events.
    start_recording();
    for (const Event &event : events) {
        if (event.kind == EV_PERIODIC) {
            g_periodic_run++;
            continue;
        }
        if (g_periodic_run > 0) {
            record_event(EV_PERIODIC, 0, 0, 0);
            g_periodic_run = 0;
        }
        record_event(event.kind, event.x, event.y, event.key);
    }
    stop_recording();

    start_playback();
    expect_playback(events);
    EXPECT_EQ(0, replay_next_event()) << "an event after the last one recorded";
    EXPECT_EQ(std::vector<std::string>{EOF_MESSAGE}, last_log_lines(1));
}

TEST_F(Script, TheReaderSkipsBlankLinesAndTakesLongLinesInPieces) {
    std::string long_line = "ZEPHA_KBD(65);";
    long_line.resize(SCRIPT_LINE_BUFFER - 1, ' ');
    write_script("\n\nZEPHA_MOUSE 10 -20\n\n"
                 "ZEPHA_PERIODIC(1);\n"
                 "ZEPHA_PERIODIC(0);\n"
                 "ZEPHA_KBD(-56);\n" +
                 long_line + "ZEPHA_MOUSE(7, 8);\n" + "ZEPHA_KBD(66);");

    start_playback();
    expect_playback({mouse(10, -20), PERIODIC, PERIODIC, key(200), key(65), mouse(7, 8)});
    EXPECT_EQ(0, g_periodic_run) << "a count of 0 left a run behind";
    // The last line lacks its newline: reading it meets the end of the file.
    EXPECT_EQ(mouse(1, 1), click_event(1, 1));
    EXPECT_EQ(std::vector<std::string>{EOF_MESSAGE}, last_log_lines(1));
}

TEST_F(Script, AnUnrecognisedLineEndsPlaybackWithoutAMessage) {
    write_script("ZEPHA_KBD(1);\n ZEPHA_KBD(2);\nZEPHA_KBD(3);\n");
    start_playback();
    ASSERT_EQ(key(1), next_event());
    const size_t messages = log_ring().size();

    EXPECT_EQ(mouse(2, 3), click_event(2, 3));
    EXPECT_EQ(messages, log_ring().size());
    EXPECT_FALSE(g_playing);
    EXPECT_TRUE(checked(IDM_PLAYBACK)) << "the check mark stays";

    // The file was closed: the next playback starts from the first line again.
    start_playback();
    EXPECT_EQ(key(1), next_event());
}

TEST_F(Script, ARecordingOfPeriodicEventsOnlyIsOneRunLine) {
    start_recording();
    stop_recording();
    EXPECT_EQ("(no file)", read_script()) << "a recording without events created the file";

    start_recording();
    for (int i = 0; i < 5; i++)
        ASSERT_EQ(PERIODIC, periodic_event());
    stop_recording();
    EXPECT_EQ("ZEPHA_PERIODIC(5);\r\n", read_script());

    start_playback();
    expect_playback(std::vector<Event>(5, PERIODIC));
    EXPECT_EQ(mouse(0, 0), click_event(0, 0)) << "more periodic events than recorded";
}

TEST_F(Script, PlaybackWithoutAFileLogsAndGoesOnLive) {
    start_playback();
    EXPECT_EQ(mouse(4, 4), click_event(4, 4));
    EXPECT_EQ(std::vector<std::string>{"Cannot open script file ZEPHA.SCR for reading\n"},
              last_log_lines(1));
    EXPECT_FALSE(g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));
}

TEST_F(Script, AFileThatCannotBeCreatedCostsEachEventUntilItCanBe) {
    // A folder of the script's name: the file cannot be created in its place.
    ASSERT_EQ(0, mkdir(SCRIPT_FILE_NAME, 0700));
    const std::string message = "Cannot open script file ZEPHA.SCR for writing\n";
    start_recording();
    ASSERT_EQ(mouse(1, 2), click_event(1, 2));
    EXPECT_EQ(std::vector<std::string>{message}, last_log_lines(1));
    ASSERT_EQ(key('b'), char_event('b'));
    EXPECT_EQ((std::vector<std::string>{message, message}), last_log_lines(2));
    EXPECT_TRUE(g_recording);
    EXPECT_TRUE(checked(IDM_RECORD));

    ASSERT_EQ(0, rmdir(SCRIPT_FILE_NAME));
    const size_t messages = log_ring().size();
    ASSERT_EQ(key('c'), char_event('c'));
    stop_recording();
    EXPECT_EQ(messages, log_ring().size());
    EXPECT_EQ("ZEPHA_KBD(99);\r\n", read_script());
}

TEST_F(Script, PlaybackReplacesALiveClickOfTheSameTurn) {
    write_script("ZEPHA_KBD(1);\nZEPHA_PERIODIC(2);\n");
    start_playback();
    click_at(30, 40);
    EXPECT_EQ(EV_KEY, next_event().kind);
    expect_playback({PERIODIC, PERIODIC});
    // The click is gone: the first live event after the script is the next one queued.
    EXPECT_EQ(key('z'), char_event('z'));
    EXPECT_EQ(std::vector<std::string>{EOF_MESSAGE}, last_log_lines(1));
}

TEST_F(Script, TheQuitRequestEndsTheWaitDuringPlayback) {
    write_script("ZEPHA_KBD(1);\nZEPHA_KBD(2);\n");
    start_playback();
    queue_quit();
    EXPECT_EQ(EV_QUIT, next_event().kind);
    EXPECT_TRUE(g_playing);
    expect_playback({key(1), key(2)});
}

TEST_F(Script, PlayOneHaltsTheAnimationAndReplaysExactlyOneEvent) {
    write_script("ZEPHA_KBD(1);\nZEPHA_PERIODIC(2);\nZEPHA_KBD(3);\n");
    g_animating = 1;
    press_ctrl_key('O');
    queue_input(INPUT_CTRL, 0);
    EXPECT_EQ(key(1), next_event());
    EXPECT_EQ(0, g_animating);
    EXPECT_FALSE(g_play_one);
    EXPECT_FALSE(g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));
    EXPECT_EQ(mouse(9, 9), click_event(9, 9));

    for (const Event &expected : {PERIODIC, PERIODIC, key(3)}) {
        queue_input(INPUT_COMMAND, IDM_PLAY_ONE);
        ASSERT_EQ(expected, next_event());
    }
    queue_input(INPUT_COMMAND, IDM_PLAY_ONE);
    EXPECT_EQ(mouse(8, 8), click_event(8, 8));
    EXPECT_EQ(std::vector<std::string>{EOF_MESSAGE}, last_log_lines(1));
}

TEST_F(Script, RecordingAQuitWritesThePendingRunAndNoLineForIt) {
    start_recording();
    ASSERT_EQ(PERIODIC, periodic_event());
    ASSERT_EQ(PERIODIC, periodic_event());
    queue_quit();
    ASSERT_EQ(EV_QUIT, next_event().kind);
    EXPECT_EQ(0, g_periodic_run);
    ZEPHA_stop_windows();
    EXPECT_EQ("ZEPHA_PERIODIC(2);\r\n", read_script());
}

TEST_F(Script, StoppingPlaybackDropsTheRestOfAPeriodicRun) {
    write_script("ZEPHA_PERIODIC(5);\nZEPHA_KBD(7);\n");
    start_playback();
    ASSERT_EQ(PERIODIC, next_event());
    stop_playback();
    EXPECT_FALSE(checked(IDM_PLAYBACK));

    start_playback();
    std::vector<Event> expected(5, PERIODIC);
    expected.push_back(key(7));
    expect_playback(expected);
}

TEST_F(Script, RecordingIsRefusedDuringPlayback) {
    const char script[] = "ZEPHA_KBD(1);\nZEPHA_KBD(2);\n";
    write_script(script);
    start_playback();
    ASSERT_EQ(key(1), next_event());
    start_recording();
    EXPECT_EQ(std::vector<std::string>{"Cannot record script file ZEPHA.SCR during playback\n"},
              last_log_lines(1));
    EXPECT_FALSE(g_recording);
    EXPECT_FALSE(checked(IDM_RECORD));
    EXPECT_EQ(key(2), next_event());
    stop_playback();
    EXPECT_EQ(script, read_script());

    // A Play One not yet served by the wait loop counts as playback.
    play_one_event();
    start_recording();
    EXPECT_FALSE(g_recording);
    EXPECT_EQ(key(1), next_event());
}

// The shortcuts: Ctrl+R twice starts and stops the recording, and neither Ctrl+P nor Play One
// may read the file being written: refused with a message, no check mark.
TEST_F(Script, PlaybackIsRefusedWhileRecording) {
    const std::vector<std::string> message = {
        "Cannot play script file ZEPHA.SCR while recording it\n"};
    press_ctrl_key('R');
    queue_input(INPUT_CTRL, 0);
    ASSERT_EQ(mouse(-3, 3), click_event(-3, 3));
    EXPECT_TRUE(checked(IDM_RECORD));
    press_ctrl_key('p');
    queue_input(INPUT_CTRL, 0);
    pump_queued();
    EXPECT_EQ(message, last_log_lines(1));
    EXPECT_FALSE(g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));
    queue_input(INPUT_COMMAND, IDM_PLAY_ONE);
    ASSERT_EQ(key('k'), char_event('k'));
    EXPECT_EQ(message, last_log_lines(1));
    EXPECT_FALSE(g_play_one);
    press_ctrl_key('r');
    pump_queued();
    EXPECT_FALSE(g_recording);
    EXPECT_FALSE(checked(IDM_RECORD));
    EXPECT_EQ("ZEPHA_MOUSE(-3, 3);\r\nZEPHA_KBD(107);\r\n", read_script());
}

TEST_F(Script, ARecordingAfterPlayOneStartsAFreshFile) {
    write_script("ZEPHA_PERIODIC(5);\nZEPHA_KBD(7);\n");
    queue_input(INPUT_COMMAND, IDM_PLAY_ONE);
    ASSERT_EQ(PERIODIC, next_event());
    // The file is still open for reading, four periodic events still due.
    start_recording();
    EXPECT_TRUE(g_recording);
    ASSERT_EQ(mouse(1, -1), click_event(1, -1));
    stop_recording();
    EXPECT_EQ("ZEPHA_MOUSE(1, -1);\r\n", read_script());
}
