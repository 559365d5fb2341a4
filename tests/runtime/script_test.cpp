// Script recording and playback through the wait loop: the file the recorder writes, the events
// playback delivers, the failures and their log messages, and how the script meets live input.
// Each test runs in its own process and its own fresh current folder, where "ZEPHA.SCR" lives.
// The timer is stopped: periodic events come from posted WM_TIMER messages or from the script.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/pure/script_line.h"
#include "tests/runtime/test_support.h"

namespace {

Event mouse(int x, int y) {
    return {EV_MOUSE, x, y, 0};
}
Event key(int code) {
    return {EV_KEY, 0, 0, static_cast<char>(code)};
}
const Event PERIODIC = {EV_PERIODIC, 0, 0, 0};

const std::string EOF_MESSAGE = "EOF encountered in script file ZEPHA.SCR\n";

void post_logical_click(int x, int y) {
    post_click(g_origin_x + x, g_origin_y - y);
}
void post_char(int code) {
    PostMessageA(g_graphics_window, WM_CHAR, code & 0xFF, 0);
}
void post_command(int id) {
    PostMessageA(g_graphics_window, WM_COMMAND, id, 0);
}

// One periodic event with the animation running: the first timer message is handled before
// the event is prepared, the second delivers it.
Event periodic_event() {
    ZEPHA_set_animation(ANIM_RUN);
    PostMessageA(g_graphics_window, WM_TIMER, TIMER_ID, 0);
    PostMessageA(g_graphics_window, WM_TIMER, TIMER_ID, 0);
    const Event event = next_event();
    ZEPHA_set_animation(ANIM_HALT);
    return event;
}

Event click_event(int x, int y) {
    post_logical_click(x, y);
    return next_event();
}

Event char_event(int code) {
    post_char(code);
    return next_event();
}

void write_script(const std::string &text) {
    FILE *file = fopen(SCRIPT_FILE_NAME, "wt");
    ASSERT_NE(file, nullptr);
    fputs(text.c_str(), file);
    fclose(file);
}

std::string read_script() {
    std::string text;
    FILE *file = fopen(SCRIPT_FILE_NAME, "rt");
    if (file == nullptr)
        return "(no file)";
    for (int c = fgetc(file); c != EOF; c = fgetc(file))
        text += static_cast<char>(c);
    fclose(file);
    return text;
}

bool script_exists() {
    return GetFileAttributesA(SCRIPT_FILE_NAME) != INVALID_FILE_ATTRIBUTES;
}

bool checked(int id) {
    return (GetMenuState(g_run_menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

// Plays the rest of the script, waiting for `expected`, and fails at the first difference.
void expect_playback(const std::vector<Event> &expected) {
    for (size_t i = 0; i < expected.size(); i++) {
        const Event got = next_event();
        ASSERT_EQ(got, expected[i]) << "event " << i << " of " << expected.size();
    }
}

// Once the test has run past its deadline, posts WM_QUIT to the test's thread every second, so
// that waits that would never end fail the test with EV_QUIT instead of hanging it.
class Watchdog {
  public:
    Watchdog()
        : done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_id_(GetCurrentThreadId()) {
        thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(done_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(done_);
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

  private:
    static DWORD WINAPI run(void *self) {
        const Watchdog *watchdog = static_cast<const Watchdog *>(self);
        DWORD timeout_ms = 60000;
        while (WaitForSingleObject(watchdog->done_, timeout_ms) == WAIT_TIMEOUT) {
            PostThreadMessageA(watchdog->thread_id_, WM_QUIT, 0, 0);
            timeout_ms = 1000;
        }
        return 0;
    }
    HANDLE done_;
    DWORD thread_id_;
    HANDLE thread_ = nullptr;
};

class ScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        temp_ = temp;
        folder_ = temp_ + "zepha_script_" + std::to_string(GetCurrentProcessId()) + "_" +
                  std::to_string(GetTickCount());
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
        ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
        start_runtime();
        KillTimer(g_graphics_window, TIMER_ID);
        MSG message;
        for (int i = 0; i < 1000 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); i++)
            DispatchMessageA(&message);
    }
    void TearDown() override {
        close_script();
        DeleteFileA(SCRIPT_FILE_NAME);
        RemoveDirectoryA(SCRIPT_FILE_NAME);
        SetCurrentDirectoryA(temp_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string temp_;
    std::string folder_;
    Watchdog watchdog_;
};

const char WORKED_EXAMPLE[] = "ZEPHA_PERIODIC(3);\n"
                              "ZEPHA_MOUSE(-120, 45);\n"
                              "ZEPHA_KBD(97);\n"
                              "ZEPHA_KBD(-23);\n"
                              "ZEPHA_PERIODIC(12);\n";

} // namespace

TEST_F(ScriptTest, RecordingTheWorkedExampleWritesItsFiveLines) {
    start_recording();
    EXPECT_TRUE(checked(IDM_RECORD));
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(periodic_event(), PERIODIC);
    ASSERT_EQ(click_event(-120, 45), mouse(-120, 45));
    ASSERT_EQ(char_event('a'), key('a'));
    ASSERT_EQ(char_event(233), key(233));
    for (int i = 0; i < 12; i++)
        ASSERT_EQ(periodic_event(), PERIODIC);
    stop_recording();

    EXPECT_FALSE(checked(IDM_RECORD));
    EXPECT_EQ(g_periodic_run, 0);
    EXPECT_EQ(read_script(), WORKED_EXAMPLE);
}

TEST_F(ScriptTest, PlayingTheWorkedExampleDeliversItsEventsThenTheEndOfFile) {
    write_script(WORKED_EXAMPLE);
    std::vector<Event> expected(3, PERIODIC);
    expected.insert(expected.end(), {mouse(-120, 45), key(97), key(233)});
    expected.insert(expected.end(), 12, PERIODIC);

    // No timer runs: periodic events from the script do not wait for ticks.
    const size_t messages = log_ring().size();
    start_playback();
    EXPECT_TRUE(checked(IDM_PLAYBACK));
    expect_playback(expected);
    EXPECT_EQ(log_ring().size(), messages) << "a message before the end";

    // The wait that meets the end of the file goes on with live input.
    EXPECT_EQ(click_event(5, 6), mouse(5, 6));
    EXPECT_EQ(last_log_lines(1), std::vector<std::string>{EOF_MESSAGE});
    EXPECT_FALSE(g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));

    // Playback that ended by itself has closed the file: the next one starts from the top.
    start_playback();
    expect_playback(expected);
}

TEST_F(ScriptTest, RandomEventsComeBackUnchanged) {
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
    EXPECT_EQ(replay_next_event(), 0) << "an event after the last one recorded";
    EXPECT_EQ(last_log_lines(1), std::vector<std::string>{EOF_MESSAGE});
}

TEST_F(ScriptTest, TheReaderSkipsBlankLinesAndTakesLongLinesInPieces) {
    std::string long_line = "ZEPHA_KBD(65);";
    long_line.resize(SCRIPT_LINE_BUFFER - 1, ' ');
    write_script("\n\nZEPHA_MOUSE 10 -20\n\n"
                 "ZEPHA_PERIODIC(1);\n"
                 "ZEPHA_PERIODIC(0);\n"
                 "ZEPHA_KBD(-56);\n" +
                 long_line + "ZEPHA_MOUSE(7, 8);\n" + "ZEPHA_KBD(66);");

    start_playback();
    expect_playback({mouse(10, -20), PERIODIC, PERIODIC, key(200), key(65), mouse(7, 8)});
    EXPECT_EQ(g_periodic_run, 0) << "a count of 0 left a run behind";
    // The last line lacks its newline: reading it meets the end of the file.
    EXPECT_EQ(click_event(1, 1), mouse(1, 1));
    EXPECT_EQ(last_log_lines(1), std::vector<std::string>{EOF_MESSAGE});
}

TEST_F(ScriptTest, AnUnrecognisedLineEndsPlaybackWithoutAMessage) {
    write_script("ZEPHA_KBD(1);\n ZEPHA_KBD(2);\nZEPHA_KBD(3);\n");
    start_playback();
    ASSERT_EQ(next_event(), key(1));
    const size_t messages = log_ring().size();

    EXPECT_EQ(click_event(2, 3), mouse(2, 3));
    EXPECT_EQ(log_ring().size(), messages);
    EXPECT_FALSE(g_playing);
    EXPECT_TRUE(checked(IDM_PLAYBACK)) << "the check mark stays";

    // The file was closed: the next playback starts from the first line again.
    start_playback();
    EXPECT_EQ(next_event(), key(1));
}

TEST_F(ScriptTest, ARecordingOfPeriodicEventsOnlyIsOneRunLine) {
    start_recording();
    stop_recording();
    EXPECT_FALSE(script_exists()) << "a recording without events created the file";

    start_recording();
    for (int i = 0; i < 5; i++)
        ASSERT_EQ(periodic_event(), PERIODIC);
    stop_recording();
    EXPECT_EQ(read_script(), "ZEPHA_PERIODIC(5);\n");

    start_playback();
    expect_playback(std::vector<Event>(5, PERIODIC));
    EXPECT_EQ(click_event(0, 0), mouse(0, 0)) << "more periodic events than recorded";
}

TEST_F(ScriptTest, PlaybackWithoutAFileLogsAndGoesOnLive) {
    start_playback();
    EXPECT_EQ(click_event(4, 4), mouse(4, 4));
    EXPECT_EQ(last_log_lines(1),
              std::vector<std::string>{"Cannot open script file ZEPHA.SCR for reading\n"});
    EXPECT_FALSE(g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));
}

TEST_F(ScriptTest, AFileThatCannotBeCreatedCostsEachEventUntilItCanBe) {
    // A folder of the script's name: the file cannot be created in its place.
    ASSERT_TRUE(CreateDirectoryA(SCRIPT_FILE_NAME, nullptr));
    const std::string message = "Cannot open script file ZEPHA.SCR for writing\n";
    start_recording();
    ASSERT_EQ(click_event(1, 2), mouse(1, 2));
    EXPECT_EQ(last_log_lines(1), std::vector<std::string>{message});
    ASSERT_EQ(char_event('b'), key('b'));
    EXPECT_EQ(last_log_lines(2), (std::vector<std::string>{message, message}));
    EXPECT_TRUE(g_recording);
    EXPECT_TRUE(checked(IDM_RECORD));

    ASSERT_TRUE(RemoveDirectoryA(SCRIPT_FILE_NAME));
    const size_t messages = log_ring().size();
    ASSERT_EQ(char_event('c'), key('c'));
    stop_recording();
    EXPECT_EQ(log_ring().size(), messages);
    EXPECT_EQ(read_script(), "ZEPHA_KBD(99);\n");
}

TEST_F(ScriptTest, PlaybackReplacesALiveClickOfTheSameTurn) {
    write_script("ZEPHA_KBD(1);\nZEPHA_PERIODIC(2);\n");
    start_playback();
    post_logical_click(30, 40);
    EXPECT_EQ(next_event().kind, EV_KEY);
    expect_playback({PERIODIC, PERIODIC});
    // The click is gone: the first live event after the script is the next one posted.
    EXPECT_EQ(char_event('z'), key('z'));
    EXPECT_EQ(last_log_lines(1), std::vector<std::string>{EOF_MESSAGE});
}

TEST_F(ScriptTest, TheQuitRequestEndsTheWaitDuringPlayback) {
    write_script("ZEPHA_KBD(1);\nZEPHA_KBD(2);\n");
    start_playback();
    PostQuitMessage(0);
    EXPECT_EQ(next_event().kind, EV_QUIT);
    EXPECT_TRUE(g_playing);
    expect_playback({key(1), key(2)});
}

TEST_F(ScriptTest, PlayOneReplaysExactlyOneEvent) {
    write_script("ZEPHA_KBD(1);\nZEPHA_PERIODIC(2);\nZEPHA_KBD(3);\n");
    post_command(IDM_PLAY_ONE);
    EXPECT_EQ(next_event(), key(1));
    EXPECT_FALSE(g_play_one);
    EXPECT_FALSE(g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));
    EXPECT_EQ(click_event(9, 9), mouse(9, 9));

    for (const Event &expected : {PERIODIC, PERIODIC, key(3)}) {
        post_command(IDM_PLAY_ONE);
        ASSERT_EQ(next_event(), expected);
    }
    post_command(IDM_PLAY_ONE);
    EXPECT_EQ(click_event(8, 8), mouse(8, 8));
    EXPECT_EQ(last_log_lines(1), std::vector<std::string>{EOF_MESSAGE});
}

TEST_F(ScriptTest, RecordingAQuitWritesThePendingRunAndNoLineForIt) {
    start_recording();
    ASSERT_EQ(periodic_event(), PERIODIC);
    ASSERT_EQ(periodic_event(), PERIODIC);
    PostQuitMessage(0);
    ASSERT_EQ(next_event().kind, EV_QUIT);
    EXPECT_EQ(g_periodic_run, 0);
    ZEPHA_stop_windows();
    EXPECT_EQ(read_script(), "ZEPHA_PERIODIC(2);\n");
}

TEST_F(ScriptTest, StoppingPlaybackDropsTheRestOfAPeriodicRun) {
    write_script("ZEPHA_PERIODIC(5);\nZEPHA_KBD(7);\n");
    start_playback();
    ASSERT_EQ(next_event(), PERIODIC);
    stop_playback();
    EXPECT_FALSE(checked(IDM_PLAYBACK));

    start_playback();
    std::vector<Event> expected(5, PERIODIC);
    expected.push_back(key(7));
    expect_playback(expected);
}

TEST_F(ScriptTest, RecordingIsRefusedDuringPlayback) {
    const char script[] = "ZEPHA_KBD(1);\nZEPHA_KBD(2);\n";
    write_script(script);
    start_playback();
    ASSERT_EQ(next_event(), key(1));
    start_recording();
    EXPECT_EQ(last_log_lines(1),
              std::vector<std::string>{"Cannot record script file ZEPHA.SCR during playback\n"});
    EXPECT_FALSE(g_recording);
    EXPECT_FALSE(checked(IDM_RECORD));
    EXPECT_EQ(next_event(), key(2));
    stop_playback();
    EXPECT_EQ(read_script(), script);

    // A Play One not yet served by the wait loop counts as playback.
    play_one_event();
    start_recording();
    EXPECT_FALSE(g_recording);
    EXPECT_EQ(next_event(), key(1));
}

TEST_F(ScriptTest, PlaybackIsRefusedWhileRecording) {
    const std::vector<std::string> message = {
        "Cannot play script file ZEPHA.SCR while recording it\n"};
    start_recording();
    ASSERT_EQ(click_event(-3, 3), mouse(-3, 3));
    start_playback();
    EXPECT_EQ(last_log_lines(1), message);
    EXPECT_FALSE(g_playing);
    EXPECT_FALSE(checked(IDM_PLAYBACK));
    post_command(IDM_PLAY_ONE);
    ASSERT_EQ(char_event('k'), key('k'));
    EXPECT_EQ(last_log_lines(1), message);
    EXPECT_FALSE(g_play_one);
    stop_recording();
    EXPECT_EQ(read_script(), "ZEPHA_MOUSE(-3, 3);\nZEPHA_KBD(107);\n");
}

TEST_F(ScriptTest, ARecordingAfterPlayOneStartsAFreshFile) {
    write_script("ZEPHA_PERIODIC(5);\nZEPHA_KBD(7);\n");
    post_command(IDM_PLAY_ONE);
    ASSERT_EQ(next_event(), PERIODIC);
    // The file is still open for reading, four periodic events still due.
    start_recording();
    EXPECT_TRUE(g_recording);
    ASSERT_EQ(click_event(1, -1), mouse(1, -1));
    stop_recording();
    EXPECT_EQ(read_script(), "ZEPHA_MOUSE(1, -1);\n");
}
