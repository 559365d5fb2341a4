// The same on the runtime's functions alone. The program also defines functions and variables
// of its own under names that the runtime uses inside: a learner may pick any of them, and the
// program must still link.
#include "runtime/graphics_runtime.h"

int ticks_seen = 0;
void on_timer() {
    ticks_seen++;
}
void on_click(int x, int y) {
    ticks_seen += x + y;
}
void on_char(char) {}
void queue_input(int) {}
int paint_text = 0;
const char RUN_MENU[] = "my own menu";
unsigned char FONT_DATA[4] = {};
int raster_oval(int width) {
    return width / 2;
}

int app_main() {
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(0);
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -60, 60, 60, -60, raster_oval(paint_text));
    ZEPHA_draw_textf(BLACK, -90, 150, 16, "Hello from the runtime, %d colours", NUM_COLORS);
    int x, y;
    char key;
    while (ZEPHA_next_event(&x, &y, &key) != EV_QUIT) {
        if (RUN_MENU[0] == FONT_DATA[0])
            on_timer();
    }
    ZEPHA_stop_windows();
    return 0;
}
