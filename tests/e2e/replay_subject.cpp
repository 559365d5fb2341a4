// A program for the replay tool's tests. Each click turns the animation on again and each tick
// lengthens a red bar by 4 pixels, so the picture shows how many ticks the program got. Keys:
// 'c' crashes it (SIGSEGV), 's' makes it stop taking events (it writes its process id to the
// file REPLAY_SUBJECT_PID_FILE names, then sleeps), 'q' makes it sleep the same way instead of
// ending after the Quit command, 'a' asks for a name and draws it.
#include "runtime/graphics_runtime.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Writes the process id for the test, and sleeps until the replay tool ends the program.
[[noreturn]] void stay() {
    if (const char *path = getenv("REPLAY_SUBJECT_PID_FILE")) {
        if (FILE *file = fopen(path, "w")) {
            fprintf(file, "%d\n", static_cast<int>(getpid()));
            fclose(file);
        }
    }
    for (;;)
        pause();
}

void draw(int ticks, const char *name) {
    ZEPHA_erase();
    ZEPHA_draw_rectangle(RED, -280, 0, -280 + 4 * ticks, 20, 0);
    ZEPHA_draw_textf(BLACK, -280, 100, 16, "%d ticks", ticks);
    if (name[0] != '\0')
        ZEPHA_draw_textf(BLUE, -280, 150, 24, "Hello, %s!", name);
}

} // namespace

int app_main() {
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(0);
    int ticks = 0;
    char name[GETS_ANSWER_SIZE] = "";
    draw(ticks, name);
    int x = 0, y = 0;
    char key = 0;
    bool stays = false; // after the Quit command
    for (int kind = EV_NONE; kind != EV_QUIT;) {
        kind = ZEPHA_next_event(&x, &y, &key);
        if (kind == EV_MOUSE)
            ZEPHA_set_animation(ANIM_RUN);
        else if (kind == EV_PERIODIC)
            ticks++;
        else if (kind == EV_KEY && key == 'c')
            *static_cast<volatile int *>(nullptr) = key;
        else if (kind == EV_KEY && key == 's')
            stay();
        else if (kind == EV_KEY && key == 'q')
            stays = true;
        else if (kind == EV_KEY && key == 'a')
            ZEPHA_gets("Your name?", name);
        draw(ticks, name);
    }
    if (stays)
        stay();
    ZEPHA_stop_windows();
    return 0;
}
