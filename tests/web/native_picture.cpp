// zepha_native_picture: plays a script into the shape editor on the native platform and writes
// what the graphics window shows when playback has ended, the picture the browser tests compare
// the page's canvas with, and the log's last messages.
//
//   zepha_native_picture [--logging] SCRIPT OUT.ppm
//
// The editor runs in a new folder holding a copy of SCRIPT as ZEPHA.SCR; playback starts as
// Ctrl+P starts it, before the first tick (with --logging, after Ctrl+L has turned logging on).
// OUT.ppm gets the client area (binary PPM); standard output gets the log ring, oldest message
// first, one per line.
#include "runtime/software/software_surface.h"

#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

using namespace zepha;

namespace {

constexpr int CLIENT_WIDTH = 595;
constexpr int CLIENT_HEIGHT = 496;

std::string picture_path;
bool logging = false;
bool playback_started = false;

void write_picture() {
    std::ofstream out(picture_path, std::ios::binary);
    out << "P6\n" << CLIENT_WIDTH << ' ' << CLIENT_HEIGHT << "\n255\n";
    for (int row = 0; row < CLIENT_HEIGHT; row++)
        for (int column = 0; column < CLIENT_WIDTH; column++) {
            const uint32_t pixel = g_surface_pixels[row * SURFACE_WIDTH + column];
            const char rgb[3] = {static_cast<char>(pixel), static_cast<char>(pixel >> 8),
                                 static_cast<char>(pixel >> 16)};
            out.write(rgb, 3);
        }
}

void print_log_ring() {
    for (int slot = g_log_first, n = 0; slot >= 0 && !(slot == g_log_next && n > 0); n++) {
        std::string line = g_log_lines[slot] != nullptr ? g_log_lines[slot] : "";
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        std::cout << line << '\n';
        slot = (slot + 1) % LOG_RING_SIZE;
    }
}

// Runs inside the editor's waits: the first time it starts playback as Ctrl+P does; once
// playback has ended, the picture is taken.
void watch_playback(void *) {
    if (!playback_started) {
        playback_started = true;
        if (logging)
            on_command(IDM_LOGGING);
        on_command(IDM_PLAYBACK);
    } else if (!g_playing) {
        write_picture();
        print_log_ring();
        std::cout.flush();
        _exit(0);
    }
    Fl::repeat_timeout(0.005, watch_playback);
}

} // namespace

int main(int argc, char **argv) {
    logging = argc == 4 && std::string(argv[1]) == "--logging";
    if (argc != 3 && !logging) {
        std::cerr << "usage: zepha_native_picture [--logging] SCRIPT OUT.ppm\n";
        return 2;
    }
    picture_path = argv[argc - 1];
    std::ifstream script(argv[argc - 2], std::ios::binary);
    char folder[] = "/tmp/zepha-picture-XXXXXX";
    if (!script || mkdtemp(folder) == nullptr || chdir(folder) != 0) {
        std::cerr << "zepha_native_picture: cannot read " << argv[argc - 2] << '\n';
        return 120;
    }
    std::ofstream(SCRIPT_FILE_NAME, std::ios::binary) << script.rdbuf();
    static char command_line[] = "";
    g_startup_args = {nullptr, nullptr, command_line, 0};
    Fl::add_timeout(0.0, watch_playback);
    app_main();
    return 1; // the editor ended before playback did
}
