// The same on the runtime's functions alone.
#include "runtime/graphics_runtime.h"

int app_main() {
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(0);
    ZEPHA_erase();
    ZEPHA_draw_rectangle(BLUE, -60, 60, 60, -60, 0);
    ZEPHA_draw_textf(BLACK, -90, 150, 16, "Hello from the runtime, %d colours", NUM_COLORS);
    int x, y;
    char key;
    while (ZEPHA_next_event(&x, &y, &key) != EV_QUIT) {
    }
    ZEPHA_stop_windows();
    return 0;
}
