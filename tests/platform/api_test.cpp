// The runtime through its public functions, the same checks on every platform: what the
// surface shows, the events that input becomes, the Run menu's shortcuts and marks, the script
// file's bytes, and the log. One process per test case.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/platform/probe.h"

namespace {

struct Event {
    int kind, x, y;
    char key;
};

Event next_event() {
    Event event = {0, 0, 0, 0};
    event.kind = ZEPHA_next_event(&event.x, &event.y, &event.key);
    return event;
}

std::string file_bytes(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const char *path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

constexpr uint32_t RED_VALUE = 0x0000FF, WHITE_VALUE = 0xFFFFFF, BLACK_VALUE = 0;

} // namespace

TEST(Api, DrawingFillsAndOutlinesTheExactPixels) {
    probe_start();
    ZEPHA_set_logging(0);
    EXPECT_EQ(297, g_origin_x);
    EXPECT_EQ(248, g_origin_y);
    EXPECT_EQ(1, ZEPHA_erase());
    EXPECT_EQ(BLACK_VALUE, probe_pixel(-g_origin_x, g_origin_y)) << "the border's corner";
    EXPECT_EQ(WHITE_VALUE, probe_pixel(0, 0));

    // Both corners belong to a filled rectangle.
    ZEPHA_draw_rectangle(RED, -10, 10, 10, -10, 0);
    EXPECT_EQ(RED_VALUE, probe_pixel(-10, 10));
    EXPECT_EQ(RED_VALUE, probe_pixel(10, -10));
    EXPECT_EQ(WHITE_VALUE, probe_pixel(11, 0));
    EXPECT_EQ(WHITE_VALUE, probe_pixel(0, -11));

    // An outline of width 3 is centred on the box's edge: a 41 x 21 box covers 43 x 23.
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -20, 10, 20, -10, 3);
    EXPECT_EQ(0xFF0000u, probe_pixel(-21, 0));
    EXPECT_EQ(0xFF0000u, probe_pixel(21, 0));
    EXPECT_EQ(WHITE_VALUE, probe_pixel(-22, 0));
    EXPECT_EQ(WHITE_VALUE, probe_pixel(22, 0));
    EXPECT_EQ(0xFF0000u, probe_pixel(0, 11));
    EXPECT_EQ(WHITE_VALUE, probe_pixel(0, 12));
    EXPECT_EQ(WHITE_VALUE, probe_pixel(0, 0));

    // A circle of radius r spans 2r + 1 pixels; a bad colour is red, with a message.
    ZEPHA_erase();
    ZEPHA_draw_circle(99, 0, 0, 5);
    EXPECT_EQ("Illegal color 99; using RED.\n", probe_log_ring().back());
    EXPECT_EQ(RED_VALUE, probe_pixel(0, 0));
    EXPECT_EQ(RED_VALUE, probe_pixel(5, 0));
    EXPECT_EQ(WHITE_VALUE, probe_pixel(6, 0));
    EXPECT_EQ(WHITE_VALUE, probe_pixel(5, 5));

    // Text is drawn in its colour above the row of its y.
    ZEPHA_erase();
    ZEPHA_draw_text(BLACK, -20, 0, 20, "HH");
    int dark = 0;
    for (int y = 0; y < 25; y++)
        for (int x = -20; x < 20; x++)
            dark += probe_pixel(x, y) == BLACK_VALUE;
    EXPECT_GT(dark, 20);
    EXPECT_EQ(WHITE_VALUE, probe_pixel(-20, -3)) << "nothing below the first line's bottom";
}

TEST(Api, InputBecomesEventsInOrder) {
    probe_start();
    probe_ctrl('x'); // no command: Ctrl+x types nothing
    probe_click(g_origin_x + 5, g_origin_y - 7);
    probe_type('w');
    probe_type('\r');
    Event event = next_event();
    EXPECT_EQ(EV_MOUSE, event.kind);
    EXPECT_EQ(5, event.x);
    EXPECT_EQ(7, event.y);
    event = next_event();
    EXPECT_EQ(EV_KEY, event.kind);
    EXPECT_EQ('w', event.key);
    event = next_event();
    EXPECT_EQ(EV_KEY, event.kind);
    EXPECT_EQ('\r', event.key);

    // Ctrl+A runs the animation: periodic events follow at the timer's pace.
    probe_ctrl('a');
    EXPECT_EQ(EV_PERIODIC, next_event().kind);
    EXPECT_EQ(EV_PERIODIC, next_event().kind);
    EXPECT_EQ(1, g_animating);
    probe_ctrl('h');
    probe_click(g_origin_x, g_origin_y);
    EXPECT_EQ(EV_MOUSE, next_event().kind);
    EXPECT_EQ(0, g_animating);

    // Quit ends the next wait.
    probe_ctrl('q');
    EXPECT_EQ(EV_QUIT, next_event().kind);
}

TEST(Api, LoggingShortcutTogglesTheFlagAndItsMark) {
    probe_start();
    EXPECT_TRUE(probe_checked(IDM_LOGGING));
    EXPECT_EQ(15, ZEPHA_log("%s %d\n", "message", 123456));
    EXPECT_EQ("message 123456\n", probe_log_ring().back());
    probe_ctrl('l');
    probe_type('k');
    next_event();
    EXPECT_EQ(0, g_logging);
    EXPECT_FALSE(probe_checked(IDM_LOGGING));
    EXPECT_EQ(1, ZEPHA_set_logging(1));
    EXPECT_TRUE(probe_checked(IDM_LOGGING));
}

// A script has CR LF line ends on every platform, and plays back wherever it was written.
TEST(Api, ScriptsRecordAndPlayTheSameBytes) {
    probe_start();
    remove("ZEPHA.SCR");
    probe_ctrl('r');
    probe_click(g_origin_x + 5, g_origin_y - 7);
    probe_type('w');
    EXPECT_EQ(EV_MOUSE, next_event().kind);
    EXPECT_TRUE(probe_checked(IDM_RECORD));
    EXPECT_EQ(EV_KEY, next_event().kind);
    probe_ctrl('r');
    probe_type('x');
    EXPECT_EQ(EV_KEY, next_event().kind);
    EXPECT_FALSE(probe_checked(IDM_RECORD));
    EXPECT_EQ("ZEPHA_MOUSE(5, 7);\r\nZEPHA_KBD(119);\r\n", file_bytes("ZEPHA.SCR"));

    // Plain newlines read the same; Ctrl+Z ends the text as on Windows.
    write_file("ZEPHA.SCR", "ZEPHA_KBD(65);\nZEPHA_PERIODIC(2);\r\n\r\nZEPHA_MOUSE(-3, 4);\r\n"
                            "\x1aZEPHA_KBD(66);\r\n");
    probe_ctrl('p');
    Event event = next_event();
    EXPECT_TRUE(probe_checked(IDM_PLAYBACK));
    EXPECT_EQ(EV_KEY, event.kind);
    EXPECT_EQ('A', event.key);
    EXPECT_EQ(EV_PERIODIC, next_event().kind);
    EXPECT_EQ(EV_PERIODIC, next_event().kind);
    event = next_event();
    EXPECT_EQ(EV_MOUSE, event.kind);
    EXPECT_EQ(-3, event.x);
    EXPECT_EQ(4, event.y);
    probe_type('z');
    event = next_event();
    EXPECT_EQ('z', event.key) << "the script ended at Ctrl+Z";
    EXPECT_FALSE(probe_checked(IDM_PLAYBACK));
    EXPECT_EQ("EOF encountered in script file ZEPHA.SCR\n", probe_log_ring().back());
    remove("ZEPHA.SCR");
}

// Hostile scripts end playback where they stop being records, with the same events and the
// same messages on every platform, and never stop the program.
TEST(Api, HostileScriptsEndPlaybackTheSameWay) {
    probe_start();
    std::string junk = "ZEPHA_KBD(65);\r\nZEPHA_MOUSE(" + std::string(40, '9') + ", -" +
                       std::string(40, '9') + ");\r\n";
    junk += std::string("ZEPHA_KBD(\0\0);\r\n", 16); // NUL bytes
    junk += "ZEPHA_KBD(66);" + std::string(1 << 20, 'x') + "\r\n";
    for (uint32_t state = 1, i = 0; i < (1u << 21); i++) {
        state = state * 1103515245u + 12345u;
        junk += static_cast<char>(state >> 24);
    }
    write_file("ZEPHA.SCR", junk);
    probe_ctrl('p');
    Event event = next_event();
    EXPECT_EQ('A', event.key);
    event = next_event();
    EXPECT_EQ(EV_MOUSE, event.kind);
    EXPECT_EQ(2147483647, event.x);
    EXPECT_EQ(-2147483647 - 1, event.y);
    event = next_event();
    EXPECT_EQ(EV_KEY, event.kind);
    EXPECT_EQ(0, event.key);
    EXPECT_EQ('B', next_event().key);
    probe_type('z');
    EXPECT_EQ('z', next_event().key) << "playback ended at the long line's rest";

    remove("ZEPHA.SCR");
    probe_ctrl('p');
    probe_type('y');
    EXPECT_EQ('y', next_event().key);
    EXPECT_EQ("Cannot open script file ZEPHA.SCR for reading\n", probe_log_ring().back());
}
