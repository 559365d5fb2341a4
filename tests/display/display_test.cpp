// The display object over the real runtime: what each method hands to the runtime, in the
// runtime's argument order, and the end of a process that asks for a second display.
#include <gtest/gtest.h>

#include <string>

#include "display/graphics_display.h"
#include "tests/runtime/test_support.h"

namespace {

void store_startup_args() {
    g_startup_args = {GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL};
}

// The child side of the second-display test runs only when the parent starts it.
bool is_child() {
    return GetEnvironmentVariableA("ZEPHA_SECOND_DISPLAY_CHILD", nullptr, 0) > 0;
}

} // namespace

TEST(Display, ConstructionOpensTheWindowsWithLoggingOff) {
    store_startup_args();
    GraphicsDisplay display;
    EXPECT_NE(nullptr, g_graphics_window);
    EXPECT_EQ(1, g_display_created);
    EXPECT_EQ(0, g_logging);
    EXPECT_EQ(0u, GetMenuState(g_run_menu, IDM_LOGGING, MF_BYCOMMAND) & MF_CHECKED);
}

TEST(Display, ClearWritesThreeLinesAndFillsTheArea) {
    store_startup_args();
    GraphicsDisplay display;
    ZEPHA_set_logging(1);
    display.clear(WHITE);
    const std::vector<std::string> expected = {
        "Flushing the graphics window\n",
        "Clearing the graphics window\n",
        "white rectangle with bounding box (-300,250) to (300,-250), filled\n",
    };
    EXPECT_EQ(expected, last_log_lines(3));

    ZEPHA_set_logging(0);
    display.clear(30);
    EXPECT_EQ("Illegal color 30; using RED.\n", log_ring().back());
    // The area reaches past the client area's left and top edges; the surface's right and
    // bottom margins show where it ends.
    EXPECT_EQ(RGB(255, 0, 0), pixel_at(0, 0));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(g_surface_dc, 0, 0));
    EXPECT_EQ(RGB(255, 0, 0), pixel_at(300, -250));
    EXPECT_NE(RGB(255, 0, 0), pixel_at(301, 0));
    EXPECT_NE(RGB(255, 0, 0), pixel_at(0, -251));
}

TEST(Display, DrawingMethodsReorderTheirArgumentsForTheRuntime) {
    store_startup_args();
    GraphicsDisplay display;
    ZEPHA_set_logging(1);
    EXPECT_EQ(1, display.drawCircle(10, 20, 5, RED));
    EXPECT_EQ(1, display.drawRectangle(1, 2, 3, 4, BLUE, 2));
    EXPECT_EQ(1, display.drawOval(-1, -2, 3, 4, GREEN, 0));
    EXPECT_EQ(9, display.drawText(7, 8, "100% sure", YELLOW, 14));
    const std::vector<std::string> expected = {
        "red circle at (10,20), radius 5\n",
        "blue rectangle with bounding box (1,4) to (3,2) with line width 2\n",
        "green oval with bounding box (-1,4) to (3,-2), filled\n",
        "yellow text at (7,8), \"100% sure\"\n",
    };
    EXPECT_EQ(expected, last_log_lines(4));
}

TEST(Display, EventsAndAnimationModes) {
    store_startup_args();
    GraphicsDisplay display;
    int x = 0;
    int y = 0;
    char key = 0;
    PostMessageA(g_graphics_window, WM_CHAR, 'q', 0);
    EXPECT_EQ(DE_KEY, display.getNextEvent(x, y, key));
    EXPECT_EQ('q', key);
    post_click(g_origin_x + 5, g_origin_y - 6);
    EXPECT_EQ(DE_MOUSE, display.getNextEvent(x, y, key));
    EXPECT_EQ(5, x);
    EXPECT_EQ(6, y);

    display.setAnimation(AM_STEP);
    EXPECT_EQ(DE_PERIODIC, display.getNextEvent(x, y, key));
    display.setAnimation(4);
    EXPECT_EQ(0, g_quit_pending);
    display.setAnimation(AM_QUIT);
    EXPECT_EQ(1, g_quit_pending);
    post_click(0, 0);
    EXPECT_EQ(DE_QUIT, display.getNextEvent(x, y, key));
}

TEST(Display, SecondDisplayShowsTheErrorAndExitsWithMinusOne) {
    if (is_child()) {
        store_startup_args();
        GraphicsDisplay first;
        GraphicsDisplay second; // shows the error dialog, then ends the process
        ADD_FAILURE() << "the second display returned";
        return;
    }
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof program);
    std::string command =
        std::string("\"") + program +
        "\" --gtest_filter=Display.SecondDisplayShowsTheErrorAndExitsWithMinusOne";
    SetEnvironmentVariableA("ZEPHA_SECOND_DISPLAY_CHILD", "1");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &child));

    // The dialog counts as up once it is shown with its controls.
    HWND dialog = nullptr;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000) {
        dialog = find_gets_dialog(child.dwProcessId);
        if (dialog != nullptr && IsWindowVisible(dialog) &&
            GetDlgItem(dialog, IDC_GETS_OKAY) != nullptr)
            break;
        dialog = nullptr;
        WaitForSingleObject(child.hProcess, 50);
    }
    DWORD code = 0;
    if (dialog != nullptr) {
        char prompt[128] = "";
        GetDlgItemTextA(dialog, IDC_GETS_PROMPT, prompt, sizeof prompt);
        const std::string message = "Error: Attempted to instantiate multiple ZEPHA displays";
        EXPECT_EQ(message + std::string(79 - message.size(), ' '), std::string(prompt));
        GetExitCodeProcess(child.hProcess, &code);
        EXPECT_EQ(STILL_ACTIVE, code) << "the process ended before the dialog was confirmed";
        PostMessageA(GetDlgItem(dialog, IDC_GETS_OKAY), BM_CLICK, 0, 0);
    } else {
        ADD_FAILURE() << "no error dialog appeared";
    }
    if (WaitForSingleObject(child.hProcess, 30000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(child.hProcess, &code);
        EXPECT_EQ(static_cast<DWORD>(-1), code);
    } else {
        ADD_FAILURE() << "the process did not end after the dialog was confirmed";
        TerminateProcess(child.hProcess, 1);
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}
