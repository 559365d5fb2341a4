// The Win32 side of the wait under Wine: the windows, their sizes and the logical origin, each
// window message the wait turns into an event (clicks, characters, timer ticks, quit), and the
// processor use of an idle wait. The wait loop's own rules are checked on the headless
// platform (tests/host/runtime).
#include <gtest/gtest.h>

#include "tests/runtime/test_support.h"

namespace {

// Timer messages that the wait loop has taken from the queue, counted by a message hook.
int g_timer_messages_taken = 0;
LRESULT CALLBACK count_timer_messages(int code, WPARAM wparam, LPARAM lparam) {
    const MSG *message = reinterpret_cast<const MSG *>(lparam);
    if (code == HC_ACTION && wparam == PM_REMOVE && message->message == WM_TIMER &&
        message->hwnd == g_graphics_window)
        g_timer_messages_taken++;
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Posts a click at client (100, 50) from a one-shot thread timer, once the wait is under way.
void CALLBACK click_later(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    post_click(100, 50);
}

void resize_client(int width, int height) {
    RECT window;
    RECT client;
    GetWindowRect(g_graphics_window, &window);
    GetClientRect(g_graphics_window, &client);
    const int extra_w = (window.right - window.left) - client.right;
    const int extra_h = (window.bottom - window.top) - client.bottom;
    SetWindowPos(g_graphics_window, nullptr, 0, 0, width + extra_w, height + extra_h,
                 SWP_NOMOVE | SWP_NOZORDER);
}

ULONGLONG process_cpu_100ns() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto to_u64 = [](FILETIME t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return to_u64(kernel) + to_u64(user);
}

} // namespace

TEST(StartUp, WindowsHaveTheirTitlesClassesStylesAndPlaces) {
    start_runtime();
    char text[64];
    GetWindowTextA(g_graphics_window, text, sizeof text);
    EXPECT_STREQ("ZEPHA Graphics", text);
    GetClassNameA(g_graphics_window, text, sizeof text);
    EXPECT_STREQ("DrawWndClass", text);
    GetWindowTextA(g_log_window, text, sizeof text);
    EXPECT_STREQ("ZEPHA Text", text);
    GetClassNameA(g_log_window, text, sizeof text);
    EXPECT_STREQ("TextWndClass", text);

    const LONG style = GetWindowLongA(g_graphics_window, GWL_STYLE);
    EXPECT_EQ(WS_CAPTION | WS_SYSMENU,
              style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    RECT rect;
    GetWindowRect(g_graphics_window, &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(0, rect.top);
    EXPECT_EQ(SURFACE_WIDTH, rect.right - rect.left);
    EXPECT_EQ(SURFACE_HEIGHT, rect.bottom - rect.top);

    const int sw = GetSystemMetrics(SM_CXSCREEN);
    const int sh = GetSystemMetrics(SM_CYSCREEN);
    GetWindowRect(g_log_window, &rect);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(2 * sh / 3 + 1, rect.top);
    EXPECT_EQ(sw, rect.right - rect.left);
    EXPECT_EQ(sh / 3, rect.bottom - rect.top);

    BITMAP bitmap;
    GetObjectA(g_surface_bitmap, sizeof bitmap, &bitmap);
    EXPECT_EQ(601, bitmap.bmWidth);
    EXPECT_EQ(540, bitmap.bmHeight);
    EXPECT_NE(nullptr, GetMenu(g_graphics_window));
}

TEST(StartUp, FirstTurnCopiesTheSurfaceOnceAndPaintAlwaysClearsTheFlag) {
    start_runtime();
    // Drain what start-up queued, then check the copy rule on a quiet queue.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    g_surface_dirty = 1;
    pump_one_message();
    EXPECT_EQ(0, g_surface_dirty);
    g_surface_dirty = 0;
    SendMessageA(g_graphics_window, WM_PAINT, 0, 0);
    EXPECT_EQ(0, g_surface_dirty);
}

TEST(Coordinates, OriginIsTheCentreOfTheClientArea) {
    start_runtime();
    RECT client;
    GetClientRect(g_graphics_window, &client);
    EXPECT_EQ(client.right / 2, g_origin_x);
    EXPECT_EQ(client.bottom / 2, g_origin_y);

    resize_client(595, 496);
    EXPECT_EQ(297, g_origin_x);
    EXPECT_EQ(248, g_origin_y);
    resize_client(596, 497);
    EXPECT_EQ(298, g_origin_x) << "an even width takes the right one of the middle columns";
    EXPECT_EQ(248, g_origin_y);
}

TEST(Coordinates, ClicksArriveInLogicalCoordinates) {
    start_runtime();
    resize_client(595, 496);
    const POINT clicks[] = {{297, 248}, {0, 0}, {594, 495}, {307, 238}};
    for (const POINT &click : clicks) {
        post_click(click.x, click.y);
        const Event event = next_event();
        EXPECT_EQ(EV_MOUSE, event.kind);
        EXPECT_EQ(click.x - 297, event.x);
        EXPECT_EQ(248 - click.y, event.y);
        EXPECT_EQ(0, event.key);
    }
}

TEST(Keys, CharactersAboveAsciiArriveAsNegativeChars) {
    start_runtime();
    PostMessageA(g_graphics_window, WM_CHAR, 233, 0);
    Event event = next_event();
    EXPECT_EQ(EV_KEY, event.kind);
    EXPECT_EQ(-23, event.key);
    EXPECT_EQ(0, event.x);
    PostMessageA(g_graphics_window, WM_CHAR, 'a', 0);
    event = next_event();
    EXPECT_EQ('a', event.key);
}

TEST(Pacing, RunningAnimationGivesOnePeriodicEventPerTimerMessage) {
    start_runtime();
    HHOOK hook =
        SetWindowsHookExA(WH_GETMESSAGE, count_timer_messages, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    ZEPHA_set_animation(ANIM_RUN);
    next_event(); // the first delivery starts counting at a tick
    g_timer_messages_taken = 0;
    for (int i = 0; i < 8; i++) {
        const Event event = next_event();
        ASSERT_EQ(EV_PERIODIC, event.kind);
        EXPECT_LE(i + 1, g_timer_messages_taken) << "two periodic events for one tick";
    }
    UnhookWindowsHookEx(hook);
}

TEST(Quit, QuitRequestEndsTheWaitAndClosingTheWindowToo) {
    start_runtime();
    PostQuitMessage(0);
    EXPECT_EQ(EV_QUIT, next_event().kind);
    SendMessageA(g_graphics_window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(g_graphics_window));
    EXPECT_EQ(EV_QUIT, next_event().kind);
    EXPECT_EQ(1, ZEPHA_draw_rectangle(RED, 0, 0, 5, 5, 0)) << "drawing still works";
}

TEST(Idle, WaitingWithNothingToDoUsesAlmostNoProcessor) {
    start_runtime();
    ZEPHA_set_animation(ANIM_HALT);
    const ULONGLONG before = process_cpu_100ns();
    const DWORD start = GetTickCount();
    SetTimer(nullptr, 0, 2000, click_later);
    EXPECT_EQ(EV_MOUSE, next_event().kind);
    const ULONGLONG used_ms = (process_cpu_100ns() - before) / 10000;
    const DWORD elapsed_ms = GetTickCount() - start;
    EXPECT_LT(used_ms * 20, elapsed_ms)
        << "used " << used_ms << " ms of processor in " << elapsed_ms << " ms of waiting";
}
