// Shows the runtime's event stream: the graphics window counts the periodic events and shows
// the last click and the last key, and the log window lists every click and key. Click, type,
// use the Run menu (Ctrl+H halts the periodic events, Ctrl+A starts them again); close the
// window to quit.
#include "runtime/graphics_runtime.h"

int app_main() {
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(0);
    ZEPHA_set_animation(ANIM_RUN);

    int click_x = 0, click_y = 0, clicks = 0; // the last click, and how many there were
    char last_key = 0;
    int periodic = 0;
    for (int kind = EV_NONE; kind != EV_QUIT;) {
        int x = 0;
        int y = 0;
        char key = 0;
        kind = ZEPHA_next_event(&x, &y, &key);
        if (kind == EV_MOUSE) {
            ZEPHA_log("mouse event at (%d, %d)\n", x, y);
            click_x = x;
            click_y = y;
            clicks++;
        } else if (kind == EV_KEY) {
            ZEPHA_log("key event: character %d\n", key);
            last_key = key;
        } else if (kind == EV_PERIODIC && ++periodic % 10 == 0) {
            ZEPHA_log("%d periodic events so far\n", periodic);
        }

        ZEPHA_erase();
        ZEPHA_draw_textf(NAVY_BLUE, -280, 220, 16, "Periodic events so far: %d", periodic);
        if (clicks > 0) {
            ZEPHA_draw_textf(BLACK, -280, 190, 16, "Last click: (%d, %d)", click_x, click_y);
            ZEPHA_draw_circle(RED, click_x, click_y, 4);
        }
        if (last_key != 0)
            ZEPHA_draw_textf(BLACK, -280, 160, 16, "Last key: '%c' (character %d)", last_key,
                             last_key);
        ZEPHA_draw_text(GRAY_50, -280, -220, 14, "Click or type; the log window lists the events.");
    }
    ZEPHA_stop_windows();
    return 0;
}
