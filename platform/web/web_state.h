// Private to the web platform (and its tests): the page's parts as the runtime knows them. The
// page's own code (page.js) collects input in its handlers; the pump moves it into the core's
// queue (runtime/core/input_queue.h), whose numbers page.js uses too.
#pragma once

#include "runtime/core/input_queue.h"
#include "runtime/core/platform.h"
#include "runtime/software/software_surface.h"

// Constants
constexpr int CLIENT_WIDTH = 595; // the canvas, as the Windows build's client area
constexpr int CLIENT_HEIGHT = 496;

// State: start-up
extern HINSTANCE g_instance; // the program instance, stored by start-up
extern bool g_page_started;  // the page's canvas, menu bar and log panel are set up

namespace zepha::web {

// Page (start-up)
void build_menu_bar();           // the Run menu in the menu bar above the canvas
void build_log_window(int show); // the log panel below the canvas

void show_surface_now(); // puts the surface on the canvas if it changed since it was last shown

// The platform's operations
void check_menu_item(int id, bool checked);
void append_log_line(char *text);
int show_log_window(int show);
int gets(const char *prompt, char *answer);

} // namespace zepha::web
