// Shows the runtime's event stream: every event is written to the log window and the last one
// is shown in the graphics window. Click, type, use the Run menu; close the window to quit.
#include "runtime/graphics_runtime.h"

int app_main() {
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(0);
    ZEPHA_set_animation(ANIM_RUN);

    static const char *const NAMES[] = {"", "mouse", "key", "periodic", "quit"};
    int periodic = 0;
    for (int kind = EV_NONE; kind != EV_QUIT;) {
        int x = 0;
        int y = 0;
        char key = 0;
        kind = ZEPHA_next_event(&x, &y, &key);
        if (kind == EV_PERIODIC) {
            periodic++;
        } else {
            ZEPHA_log("%s event: x %d, y %d, key %d\n", NAMES[kind], x, y, key);
        }
        ZEPHA_erase();
        ZEPHA_draw_textf(BLACK, -280, 240, 16, "Last event: %s (x %d, y %d, key %d)", NAMES[kind],
                         x, y, key);
        ZEPHA_draw_textf(NAVY_BLUE, -280, 210, 16, "Periodic events so far: %d", periodic);
        if (kind == EV_MOUSE)
            ZEPHA_draw_circle(RED, x, y, 4);
    }
    ZEPHA_stop_windows();
    return 0;
}
