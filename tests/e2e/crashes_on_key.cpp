// A program on the runtime that crashes, with an access violation, at its first key event: a
// script with a key in it makes this program crash in the middle of the playback.
#include <windows.h>

#include "runtime/graphics_runtime.h"

int app_main() {
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(0);
    int x = 0;
    int y = 0;
    char key = 0;
    for (int kind = EV_NONE; kind != EV_QUIT;) {
        kind = ZEPHA_next_event(&x, &y, &key);
        if (kind == EV_KEY)
            *static_cast<volatile int *>(nullptr) = key;
    }
    ZEPHA_stop_windows();
    return 0;
}
