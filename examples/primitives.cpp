// Draws every primitive in several colours with logging on, so that the graphics window shows
// the shapes and the log window the description of each call, the corrections of the bad
// arguments included. Close the window to quit.
#include "runtime/graphics_runtime.h"

int app_main() {
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(1);
    ZEPHA_erase();

    // Rectangles and ovals, filled (width 0) and outlined.
    ZEPHA_draw_rectangle(RED, -270, 220, -170, 150, 0);
    ZEPHA_draw_rectangle(BLUE, -150, 220, -50, 150, 3);
    ZEPHA_draw_oval(GREEN, -30, 220, 90, 150, 0);
    ZEPHA_draw_oval(PURPLE, 110, 220, 230, 150, 2);

    // Circles and text; a text's first line stands above the point given.
    ZEPHA_draw_circle(ORANGE, -220, 60, 40);
    ZEPHA_draw_circle(SEA_GREEN, -120, 60, 25);
    ZEPHA_draw_text(NAVY_BLUE, -40, 90, 24, "ZEPHA text");
    ZEPHA_draw_textf(BROWN, -40, 50, 14, "Two lines:\n%d colours", NUM_COLORS);

    // Bad arguments are corrected, with a warning in the log: colour 99 becomes red and width
    // -2 becomes 2; point size -200 becomes 200 and then 127.
    ZEPHA_draw_rectangle(99, -270, -60, -170, -140, -2);
    ZEPHA_draw_text(GOLD, -130, -235, -200, "Ag");
    ZEPHA_draw_text(BLACK, 60, -200, 12, "size -200 became 127");
    ZEPHA_present();

    int x = 0;
    int y = 0;
    char key = 0;
    while (ZEPHA_next_event(&x, &y, &key) != EV_QUIT) {
    }
    ZEPHA_stop_windows();
    return 0;
}
