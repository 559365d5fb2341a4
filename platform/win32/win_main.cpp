// Program entry: keeps the start-up arguments for the display object and runs the application.
// It is compiled into every program that links zepha::runtime or zepha::display.
#include "runtime/graphics_runtime.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    g_startup_args = {instance, previous, command_line, show};
    app_main();
    return 0;
}
