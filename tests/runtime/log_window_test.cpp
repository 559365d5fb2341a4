// The Win32 log: the ring's movable memory blocks, what the log window shows after a repaint,
// and messages that have no window to be drawn in. The ring's and the switch's rules are
// checked on the headless platform (tests/host/runtime).
#include <gtest/gtest.h>

#include <string>

#include "tests/runtime/test_support.h"

namespace {

// Where the log window's lines are: its line height and the bottom of its client area.
struct LogGeometry {
    int line_height;
    int char_width;
    RECT client;
};

LogGeometry log_geometry() {
    LogGeometry geometry = {};
    HDC dc = GetDC(g_log_window);
    HGDIOBJ old = SelectObject(dc, GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    geometry.line_height = metrics.tmHeight + metrics.tmExternalLeading;
    geometry.char_width = metrics.tmAveCharWidth;
    SelectObject(dc, old);
    ReleaseDC(g_log_window, dc);
    GetClientRect(g_log_window, &geometry.client);
    return geometry;
}

// The column of the leftmost dark pixel of line k counted from the bottom (0 is the bottom
// line), or -1 when the line is empty.
int first_ink_column(const LogGeometry &geometry, int k) {
    HDC dc = GetDC(g_log_window);
    const int top = geometry.client.bottom - (k + 1) * geometry.line_height;
    int found = -1;
    for (int x = 0; x < 400 && found < 0; x++)
        for (int y = top; y < top + geometry.line_height && found < 0; y++)
            if (GetPixel(dc, x, y) == RGB(0, 0, 0))
                found = x;
    ReleaseDC(g_log_window, dc);
    return found;
}

// Message i is i spaces and a '#', so the column of its ink tells which message a line shows.
int message_shown(const LogGeometry &geometry, int k) {
    const int column = first_ink_column(geometry, k);
    return column < 0 ? -1 : (column - 5 + geometry.char_width / 2) / geometry.char_width;
}

void log_marker(int i) {
    ZEPHA_log("%*s#\n", i, "");
}

void repaint_log_window() {
    RedrawWindow(g_log_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

} // namespace

TEST(LogRing, FillsWrapsAndFreesTheOldestBlock) {
    EXPECT_EQ(-1, g_log_first);
    ZEPHA_log("message %d\n", 1);
    EXPECT_EQ(0, g_log_first);
    EXPECT_EQ(1, g_log_next);
    for (int i = 2; i <= 25; i++)
        ZEPHA_log("message %d\n", i);
    EXPECT_EQ(0, g_log_first);
    EXPECT_EQ(0, g_log_next);
    HGLOBAL oldest = g_log_lines[0];
    EXPECT_EQ(std::string("message 1\n"), static_cast<const char *>(GlobalLock(oldest)));
    GlobalUnlock(oldest);

    ZEPHA_log("message %d\n", 26);
    EXPECT_EQ(1, g_log_first);
    EXPECT_EQ(1, g_log_next);
    EXPECT_EQ(std::string("message 26\n"), log_ring().back());
    EXPECT_EQ(std::string("message 2\n"), log_ring().front());
    EXPECT_EQ(25u, log_ring().size());
}

TEST(LogRing, KeepsMessagesBeforeStartUpAndAfterTheWindowIsClosed) {
    ZEPHA_log("before start-up\n");
    start_runtime();
    SendMessageA(g_log_window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(g_log_window));
    ZEPHA_log("after close\n");
    ASSERT_EQ(2u, log_ring().size());
    EXPECT_EQ("before start-up\n", log_ring()[0]);
    EXPECT_EQ("after close\n", log_ring()[1]);
}

TEST(LogWindow, RepaintReplaysTheRingOldestFirst) {
    start_runtime();
    const LogGeometry geometry = log_geometry();
    repaint_log_window();
    EXPECT_EQ(-1, message_shown(geometry, 0)) << "nothing logged, nothing drawn";

    for (int i = 1; i <= 3; i++)
        log_marker(i);
    repaint_log_window();
    EXPECT_EQ(3, message_shown(geometry, 0));
    EXPECT_EQ(2, message_shown(geometry, 1));
    EXPECT_EQ(1, message_shown(geometry, 2));
    EXPECT_EQ(-1, message_shown(geometry, 3));

    for (int i = 4; i <= 30; i++)
        log_marker(i);
    repaint_log_window();
    EXPECT_EQ(30, message_shown(geometry, 0));
    EXPECT_EQ(29, message_shown(geometry, 1));
    const int visible = (geometry.client.bottom - geometry.client.top) / geometry.line_height;
    if (visible > 25) {
        EXPECT_EQ(-1, message_shown(geometry, 25)) << "a full ring draws exactly 25 lines";
    }
}

// Lines already on the screen are not scrolled up again by a repaint that does not erase.
TEST(LogWindow, RepaintShowsEachMessageOnceWhateverWasDrawnBefore) {
    start_runtime();
    const LogGeometry geometry = log_geometry();
    repaint_log_window();
    for (int i = 1; i <= 3; i++)
        log_marker(i);
    RedrawWindow(g_log_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(3 - k, message_shown(geometry, k)) << "line " << k << " from the bottom";
    for (int k = 3; k < 6; k++)
        EXPECT_EQ(-1, message_shown(geometry, k)) << "line " << k << " from the bottom";
}

TEST(LogWindow, DrawingALineKeepsTheStoredMessageWhole) {
    start_runtime();
    ZEPHA_log("two newlines\n\n");
    repaint_log_window();
    repaint_log_window();
    EXPECT_EQ("two newlines\n\n", log_ring().back());
}
