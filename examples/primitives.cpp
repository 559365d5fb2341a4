// Draws every primitive in several colours with logging on, so that the graphics window shows
// the shapes and the log window the description of each call. Close the window to quit.
#include "runtime/graphics_runtime.h"

int app_main() {
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(1);
    ZEPHA_erase();
    ZEPHA_draw_rectangle(RED, -250, 200, -150, 120, 0);
    ZEPHA_draw_rectangle(BLUE, -130, 200, -30, 120, 3);
    ZEPHA_draw_oval(GREEN, -10, 200, 110, 120, 0);
    ZEPHA_draw_oval(PURPLE, 130, 200, 250, 120, 2);
    ZEPHA_draw_circle(ORANGE, -200, 40, 40);
    ZEPHA_draw_circle(SEA_GREEN, -100, 40, 25);
    ZEPHA_draw_text(NAVY_BLUE, -20, 60, 24, "ZEPHA text");
    ZEPHA_draw_textf(BROWN, -20, 20, 14, "Two lines:\n%d colours", NUM_COLORS);
    ZEPHA_draw_rectangle(99, -250, -60, -150, -140, -2); // warned: red, width 2
    ZEPHA_draw_text(GOLD, -100, -80, -200, "size -200 becomes 127");
    ZEPHA_present();

    int x = 0;
    int y = 0;
    char key = 0;
    while (ZEPHA_next_event(&x, &y, &key) != EV_QUIT) {
    }
    ZEPHA_stop_windows();
    return 0;
}
