// The Win32 Run menu: the menu bar as built, its check marks, and the window messages that carry
// its commands and Ctrl shortcuts (from either window) to the runtime's own pump or wait loop.
// Every test opens the windows, so each runs in a process of its own. The commands' and the
// shortcuts' rules are checked on the headless platform (tests/host/runtime).
#include "tests/runtime/test_support.h"

#include <gtest/gtest.h>

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

// ---- What the user can see of the runtime's flags ----

UINT check_mark(int id) {
    return GetMenuState(g_run_menu, id, MF_BYCOMMAND) & MF_CHECKED;
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

TEST_F(RunMenu, QuitCommandEndsTheWaitWithQuitEvent) {
    post_command(IDM_ANIMATE);
    post_command(IDM_QUIT);
    EXPECT_EQ(next_event().kind, EV_QUIT);
}

// ---- Shortcuts ----

TEST_F(RunMenu, LetterWithoutCtrlIsAnOrdinaryKeyEvent) {
    Watchdog watchdog(10000);
    // A key press as the keyboard sends it: the pump's translation makes the character.
    PostMessageA(g_graphics_window, WM_KEYDOWN, 'A', 0x001E0001);
    const Event event = next_event();
    EXPECT_EQ(event.kind, EV_KEY);
    EXPECT_EQ(event.key, 'a');
    EXPECT_EQ(g_animating, 0);
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

} // namespace
