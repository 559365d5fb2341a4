// The Run menu as the user sees it, its commands and the Ctrl shortcuts, fed as posted window
// messages and taken by the runtime's own pump or wait loop. Every test opens the windows, so
// each runs in a process of its own.
#include "tests/runtime/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr WPARAM KEY_CTRL = VK_CONTROL; // 17

// ---- Driving the runtime ----

void post_key_down(HWND window, WPARAM key) {
    PostMessageA(window, WM_KEYDOWN, key, 1);
}
void post_key_up(HWND window, WPARAM key) {
    PostMessageA(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

// Ctrl and a key pressed and held. The releases are posted separately, once the pump has taken
// the key-down: the character that its translation queues then comes before them, while Ctrl
// is still down, as it does with a real keyboard.
void press_ctrl_key(WPARAM key, HWND window = g_graphics_window) {
    post_key_down(window, KEY_CTRL);
    post_key_down(window, key);
}
void release_ctrl_key(WPARAM key, HWND window = g_graphics_window) {
    post_key_up(window, key);
    post_key_up(window, KEY_CTRL);
}

void post_command(int id) {
    PostMessageA(g_graphics_window, WM_COMMAND, id, 0);
}

// Lets the runtime's pump take every message now queued, forwarded ones included.
void pump_queued() {
    while (pump_one_message()) {
    }
}

// Turns the runtime's pump until the condition holds or the time is up; true if it held.
template <typename Condition>
bool pump_runtime_until(Condition condition, DWORD timeout_ms = 5000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeout_ms)
            return false;
        if (!pump_one_message())
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// Posts a click at a sentinel corner of the client area unless cancelled within the deadline,
// so that a wait which would otherwise never return ends with a mouse event the test rejects.
class Watchdog {
  public:
    explicit Watchdog(DWORD deadline_ms) : deadline_ms_(deadline_ms) {
        cancel_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &Watchdog::run, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(cancel_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(cancel_);
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    static constexpr int SENTINEL_CX = 1, SENTINEL_CY = 1;

  private:
    static DWORD WINAPI run(void *self) {
        auto *watchdog = static_cast<Watchdog *>(self);
        if (WaitForSingleObject(watchdog->cancel_, watchdog->deadline_ms_) == WAIT_TIMEOUT)
            post_click(SENTINEL_CX, SENTINEL_CY);
        return 0;
    }
    DWORD deadline_ms_;
    HANDLE cancel_;
    HANDLE thread_;
};

// A fresh current folder for the script file, removed with what the test left in it.
class ScratchFolder {
  public:
    ScratchFolder() {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        GetCurrentDirectoryA(sizeof previous_, previous_);
        snprintf(path_, sizeof path_, "%szepha_menu_%lu", temp, GetCurrentProcessId());
        CreateDirectoryA(path_, nullptr);
        SetCurrentDirectoryA(path_);
    }
    ~ScratchFolder() {
        close_script();
        DeleteFileA(SCRIPT_FILE_NAME);
        SetCurrentDirectoryA(previous_);
        RemoveDirectoryA(path_);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

  private:
    char previous_[MAX_PATH];
    char path_[MAX_PATH];
};

void write_script(const char *text) {
    std::ofstream(SCRIPT_FILE_NAME) << text;
}

std::string read_script() {
    std::ifstream file(SCRIPT_FILE_NAME);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// ---- What the user can see of the runtime's flags ----

UINT check_mark(int id) {
    return GetMenuState(g_run_menu, id, MF_BYCOMMAND) & MF_CHECKED;
}

struct RunFlags {
    int animating, step_pending, logging, recording, playing, play_one;
    UINT logging_mark, record_mark, playback_mark;

    static RunFlags now() {
        return {g_animating,
                g_step_pending,
                g_logging,
                g_recording,
                g_playing,
                g_play_one,
                check_mark(IDM_LOGGING),
                check_mark(IDM_RECORD),
                check_mark(IDM_PLAYBACK)};
    }
    bool operator==(const RunFlags &o) const {
        return animating == o.animating && step_pending == o.step_pending && logging == o.logging &&
               recording == o.recording && playing == o.playing && play_one == o.play_one &&
               logging_mark == o.logging_mark && record_mark == o.record_mark &&
               playback_mark == o.playback_mark;
    }
};

void PrintTo(const RunFlags &f, std::ostream *out) {
    *out << "{animating " << f.animating << ", step " << f.step_pending << ", logging " << f.logging
         << ", recording " << f.recording << ", playing " << f.playing << ", play_one "
         << f.play_one << ", marks L/R/P " << (f.logging_mark != 0) << "/" << (f.record_mark != 0)
         << "/" << (f.playback_mark != 0) << "}";
}

class RunMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        start_runtime();
        pump_queued();
    }
};

// ---- The menu as built ----

TEST_F(RunMenu, BarHoldsOnePopupRunWithSixteenItemsInOrder) {
    HMENU bar = GetMenu(g_graphics_window);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    char title[64] = {};
    GetMenuStringA(bar, 0, title, sizeof title, MF_BYPOSITION);
    EXPECT_STREQ(title, "&Run");
    EXPECT_EQ(GetSubMenu(bar, 0), g_run_menu);
    EXPECT_TRUE(GetMenuState(bar, 0, MF_BYPOSITION) & MF_POPUP);

    const struct {
        const char *text; // nullptr for a separator
        UINT id;
        UINT state; // MF_SEPARATOR, MF_CHECKED and MF_GRAYED bits
    } expected[] = {
        {"&Animate\tCtrl+A", IDM_ANIMATE, 0},
        {"&Halt animation\tCtrl+H", IDM_HALT, 0},
        {"Advance one &frame\tCtrl+F", IDM_STEP, 0},
        {nullptr, 0, MF_SEPARATOR},
        {"&Logging\tCtrl+L", IDM_LOGGING, MF_CHECKED},
        {nullptr, 0, MF_SEPARATOR},
        {"&Record Script\tCtrl+R", IDM_RECORD, 0},
        {"&Playback Script\tCtrl+P", IDM_PLAYBACK, 0},
        {"Play &One Script\tCtrl+O", IDM_PLAY_ONE, 0},
        {nullptr, 0, MF_SEPARATOR},
        {"&Quit\tCtrl+Q", IDM_QUIT, 0},
        {nullptr, 0, MF_SEPARATOR},
        {"ZEPHA graphics runtime", IDM_INFO, MF_GRAYED},
        {"MAC: zepha@example.org", IDM_INFO, MF_GRAYED},
        {"WINDOWS: zepha@example.org", IDM_INFO, MF_GRAYED},
        {"UPDATES: zepha@example.org", IDM_INFO, MF_GRAYED},
    };
    const int count = static_cast<int>(sizeof expected / sizeof expected[0]);
    ASSERT_EQ(GetMenuItemCount(g_run_menu), count);
    for (int position = 0; position < count; position++) {
        SCOPED_TRACE("item at position " + std::to_string(position + 1));
        const UINT state = GetMenuState(g_run_menu, position, MF_BYPOSITION);
        if (expected[position].text == nullptr) {
            // The platform may report a separator as grayed as well; it is never checked.
            EXPECT_EQ(state & (MF_SEPARATOR | MF_CHECKED), static_cast<UINT>(MF_SEPARATOR));
            EXPECT_EQ(GetMenuItemID(g_run_menu, position), 0u);
            continue;
        }
        EXPECT_EQ(state & (MF_SEPARATOR | MF_CHECKED | MF_GRAYED), expected[position].state);
        char text[128] = {};
        GetMenuStringA(g_run_menu, position, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, expected[position].text);
        EXPECT_EQ(GetMenuItemID(g_run_menu, position), expected[position].id);
    }
}

// ---- Commands ----

TEST_F(RunMenu, AnimationCommandsSetTheFlagsOfTheCommandTable) {
    post_command(IDM_ANIMATE);
    ASSERT_TRUE(pump_runtime_until([] { return g_animating == 1; }));
    EXPECT_EQ(g_step_pending, 0);

    // Advance one frame stops a running animation and requests one frame...
    post_command(IDM_STEP);
    ASSERT_TRUE(pump_runtime_until([] { return g_step_pending == 1; }));
    EXPECT_EQ(g_animating, 0);

    // ...which neither Animate nor Halt takes back.
    post_command(IDM_ANIMATE);
    ASSERT_TRUE(pump_runtime_until([] { return g_animating == 1; }));
    EXPECT_EQ(g_step_pending, 1);
    post_command(IDM_HALT);
    ASSERT_TRUE(pump_runtime_until([] { return g_animating == 0; }));
    EXPECT_EQ(g_step_pending, 1);
}

TEST_F(RunMenu, LoggingTogglesFlagAndCheckMarkWithoutShowingTheLogWindow) {
    ShowWindow(g_log_window, SW_HIDE);
    post_command(IDM_LOGGING);
    ASSERT_TRUE(pump_runtime_until([] { return g_logging == 0; }));
    EXPECT_EQ(check_mark(IDM_LOGGING), 0u);

    post_command(IDM_LOGGING);
    ASSERT_TRUE(pump_runtime_until([] { return g_logging == 1; }));
    EXPECT_EQ(check_mark(IDM_LOGGING), static_cast<UINT>(MF_CHECKED));
    EXPECT_FALSE(IsWindowVisible(g_log_window))
        << "turning logging on from the menu showed the log";

    // Every key-down counts: three auto-repeated Ctrl+L presses toggle three times.
    post_key_down(g_graphics_window, KEY_CTRL);
    for (int repeat = 0; repeat < 3; repeat++)
        PostMessageA(g_graphics_window, WM_KEYDOWN, 'L', 0x40000001);
    post_key_up(g_graphics_window, KEY_CTRL);
    pump_queued();
    EXPECT_EQ(g_logging, 0);
    EXPECT_EQ(check_mark(IDM_LOGGING), 0u);
}

TEST_F(RunMenu, IdsOutsideTheCommandsAndTheGrayedInformationIdChangeNothing) {
    const RunFlags before = RunFlags::now();
    for (int id : {0, int{IDM_INFO}, 10, 65, 0x10005})
        post_command(id);
    pump_queued();
    EXPECT_EQ(RunFlags::now(), before);
}

TEST_F(RunMenu, QuitCommandEndsTheWaitWithQuitEvent) {
    post_command(IDM_ANIMATE);
    post_command(IDM_QUIT);
    EXPECT_EQ(next_event().kind, EV_QUIT);
}

// ---- Shortcuts ----

TEST_F(RunMenu, EachShortcutActsInBothLetterCasesOnlyWhileCtrlIsHeld) {
    ScratchFolder folder;
    const struct {
        char letter;
        bool (*done)(); // the command's effect, from the starting state of this table
    } shortcuts[] = {
        {'A', [] { return g_animating == 1; }},
        {'H', [] { return g_animating == 0; }},
        {'F', [] { return g_step_pending == 1 && g_animating == 0; }},
        {'L', [] { return g_logging == 0 && check_mark(IDM_LOGGING) == 0; }},
        {'R', [] { return g_recording == 1 && check_mark(IDM_RECORD) != 0; }},
        {'P', [] { return g_playing == 1 && check_mark(IDM_PLAYBACK) != 0; }},
        {'O', [] { return g_play_one == 1 && g_playing == 0; }},
    };
    // Whatever each shortcut changed is put back by the command itself or by hand.
    auto reset = [] {
        if (g_recording)
            stop_recording();
        if (g_playing)
            stop_playback();
        if (g_logging == 0)
            on_command(IDM_LOGGING);
        g_animating = 0;
        g_step_pending = 0;
        g_play_one = 0;
    };
    for (const auto &shortcut : shortcuts) {
        for (char letter : {shortcut.letter, static_cast<char>(shortcut.letter + 'a' - 'A')}) {
            SCOPED_TRACE(std::string("letter ") + letter);
            if (shortcut.letter == 'H')
                g_animating = 1;
            const RunFlags before = RunFlags::now();

            // Without Ctrl the letter is no shortcut, and neither is it after Ctrl is released.
            post_key_down(g_graphics_window, static_cast<WPARAM>(letter));
            post_key_down(g_graphics_window, KEY_CTRL);
            post_key_up(g_graphics_window, KEY_CTRL);
            post_key_down(g_graphics_window, static_cast<WPARAM>(letter));
            pump_queued();
            EXPECT_EQ(RunFlags::now(), before);

            press_ctrl_key(static_cast<WPARAM>(letter));
            EXPECT_TRUE(pump_runtime_until(shortcut.done))
                << "got flags " << testing::PrintToString(RunFlags::now());
            release_ctrl_key(static_cast<WPARAM>(letter));
            pump_queued();
            EXPECT_EQ(g_ctrl_down, 0);
            reset();
        }
    }
}

TEST_F(RunMenu, OtherKeysWithCtrlChangeNothing) {
    const RunFlags before = RunFlags::now();
    post_key_down(g_graphics_window, KEY_CTRL);
    for (WPARAM key : {WPARAM{'B'}, WPARAM{'Z'}, WPARAM{'a' - 1}, WPARAM{'b'}, WPARAM{VK_F12},
                       WPARAM{VK_SHIFT}, WPARAM{'A' + 256}})
        post_key_down(g_graphics_window, key);
    pump_queued();
    EXPECT_EQ(g_ctrl_down, 1);
    EXPECT_EQ(RunFlags::now(), before);
}

TEST_F(RunMenu, CtrlQAndCtrlLowerQEachEndAWaitWithQuitEvent) {
    g_animating = 1;
    press_ctrl_key('Q');
    EXPECT_EQ(next_event().kind, EV_QUIT);
    release_ctrl_key('Q');
    press_ctrl_key('q');
    EXPECT_EQ(next_event().kind, EV_QUIT);
}

TEST_F(RunMenu, LetterWithoutCtrlIsAnOrdinaryKeyEvent) {
    Watchdog watchdog(10000);
    // A key press as the keyboard sends it: the pump's translation makes the character.
    PostMessageA(g_graphics_window, WM_KEYDOWN, 'A', 0x001E0001);
    const Event event = next_event();
    EXPECT_EQ(event.kind, EV_KEY);
    EXPECT_EQ(event.key, 'a');
    EXPECT_EQ(g_animating, 0);
}

TEST_F(RunMenu, CharactersTypedWhileCtrlIsHeldMakeNoEvent) {
    Watchdog watchdog(10000);
    post_key_down(g_graphics_window, KEY_CTRL);
    PostMessageA(g_graphics_window, WM_KEYDOWN, 'X', 0x002D0001);
    PostMessageA(g_graphics_window, WM_CHAR, 'x', 0x002D0001);
    PostMessageA(g_graphics_window, WM_CHAR, 'A', 0x001E0001);
    post_key_up(g_graphics_window, KEY_CTRL);
    PostMessageA(g_graphics_window, WM_CHAR, 'y', 0x00150001);

    const Event event = next_event();
    EXPECT_EQ(event.kind, EV_KEY);
    EXPECT_EQ(event.key, 'y') << "the first key event should be the one typed after Ctrl is up";
}

TEST_F(RunMenu, KeysPressedInTheLogWindowActAsShortcuts) {
    post_key_down(g_log_window, KEY_CTRL);
    post_key_down(g_log_window, 'L');
    ASSERT_TRUE(pump_runtime_until([] { return g_logging == 0; }));
    EXPECT_EQ(check_mark(IDM_LOGGING), 0u);
    EXPECT_EQ(g_ctrl_down, 1);

    post_key_up(g_log_window, KEY_CTRL);
    ASSERT_TRUE(pump_runtime_until([] { return g_ctrl_down == 0; }));
    post_key_down(g_log_window, 'L');
    pump_queued();
    EXPECT_EQ(g_logging, 0) << "a letter pressed after Ctrl was released in the log window";
}

// ---- Animation, recording and playback through the shortcuts ----

TEST_F(RunMenu, HaltAfterAdvanceOneFrameStillDeliversThePreparedFrame) {
    Watchdog watchdog(10000);
    press_ctrl_key('F');
    post_key_down(g_graphics_window, 'H');
    const Event event = next_event();
    EXPECT_EQ(event.kind, EV_PERIODIC);
    EXPECT_EQ(g_animating, 0);
    EXPECT_EQ(g_step_pending, 0);
}

TEST_F(RunMenu, RecordTwiceStartsThenStopsAndTheCheckMarkFollows) {
    ScratchFolder folder;
    press_ctrl_key('R');
    ASSERT_TRUE(pump_runtime_until([] { return g_recording == 1; }));
    release_ctrl_key('R');
    EXPECT_EQ(check_mark(IDM_RECORD), static_cast<UINT>(MF_CHECKED));

    post_click(g_origin_x + 40, g_origin_y - 30);
    const Event click = next_event();
    EXPECT_EQ(click.kind, EV_MOUSE);

    // Playback may not read the file being written: refused with a message, no check mark.
    press_ctrl_key('p');
    ASSERT_TRUE(pump_runtime_until([] {
        const auto lines = last_log_lines(1);
        return !lines.empty() &&
               lines[0] == "Cannot play script file ZEPHA.SCR while recording it\n";
    }));
    EXPECT_EQ(g_playing, 0);
    EXPECT_EQ(check_mark(IDM_PLAYBACK), 0u);

    release_ctrl_key('p');
    press_ctrl_key('r');
    ASSERT_TRUE(pump_runtime_until([] { return g_recording == 0; }));
    EXPECT_EQ(check_mark(IDM_RECORD), 0u);
    EXPECT_EQ(read_script(), "ZEPHA_MOUSE(40, 30);\n");
}

TEST_F(RunMenu, PlaybackWhileAnimatingHaltsAndDeliversTheScriptedEvents) {
    ScratchFolder folder;
    write_script("ZEPHA_MOUSE(-120, 45);\nZEPHA_KBD(97);\n");
    press_ctrl_key('A');
    ASSERT_TRUE(pump_runtime_until([] { return g_animating == 1; }));
    release_ctrl_key('A');

    post_command(IDM_STEP);
    post_command(IDM_ANIMATE);
    press_ctrl_key('P');
    const Event first = next_event();
    release_ctrl_key('P');
    EXPECT_EQ(first.kind, EV_MOUSE);
    EXPECT_EQ(first.x, -120);
    EXPECT_EQ(first.y, 45);
    EXPECT_EQ(g_animating, 0);
    EXPECT_EQ(g_step_pending, 0);
    EXPECT_EQ(check_mark(IDM_PLAYBACK), static_cast<UINT>(MF_CHECKED));

    const Event second = next_event();
    EXPECT_EQ(second.kind, EV_KEY);
    EXPECT_EQ(second.key, 'a');

    // Playback Script again stops it and takes the check mark away.
    post_command(IDM_PLAYBACK);
    ASSERT_TRUE(pump_runtime_until([] { return g_playing == 0; }));
    EXPECT_EQ(check_mark(IDM_PLAYBACK), 0u);
}

TEST_F(RunMenu, PlayOneReplaysOneEventPerCommandAndLeavesPlaybackUnchecked) {
    ScratchFolder folder;
    write_script("ZEPHA_MOUSE(1, 2);\nZEPHA_MOUSE(3, 4);\n");
    Watchdog watchdog(10000);

    g_animating = 1;
    press_ctrl_key('O');
    const Event first = next_event();
    release_ctrl_key('O');
    EXPECT_EQ(first.kind, EV_MOUSE);
    EXPECT_EQ(first.x, 1);
    EXPECT_EQ(g_animating, 0);
    EXPECT_EQ(g_playing, 0);
    EXPECT_EQ(check_mark(IDM_PLAYBACK), 0u);

    post_command(IDM_PLAY_ONE);
    const Event second = next_event();
    EXPECT_EQ(second.kind, EV_MOUSE);
    EXPECT_EQ(second.x, 3);
    EXPECT_EQ(second.y, 4);
    EXPECT_EQ(check_mark(IDM_PLAYBACK), 0u);
}

} // namespace
