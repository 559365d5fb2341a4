// Program entry: keeps the start-up arguments for the display object and runs the application.
// It is compiled into every program that links zepha::runtime or zepha::display. The page
// learns how the program ended from its exit (page.js).
#include "runtime/graphics_runtime.h"

#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
    // The command line as Windows gives it to WinMain: the arguments after the program's name.
    static std::string command_line;
    for (int i = 1; i < argc; i++) {
        if (i > 1)
            command_line += ' ';
        command_line += argv[i];
    }
    g_startup_args = {nullptr, nullptr, &command_line[0], 1};
    app_main();
    // The program has slept in its waits, so this main() returned to the browser long ago: the
    // end is made here, as a program's own exit() makes it, and the page says so.
    exit(0);
}
