// Private to the web platform (and its tests): the page's parts as the runtime knows them. The
// page's own code (page.js) keeps the input that its handlers collect until the wait loop takes
// it, one item per turn. Included by runtime/runtime_state.h; include that instead.
#pragma once

#include "../../runtime/software_surface.h"

// Types
// One piece of input, as the page's handlers saw it; the numbers are page.js's too.
enum InputKind {
    INPUT_CLICK = 0,    // left button pressed at client pixel (a, b)
    INPUT_CTRL = 1,     // Ctrl pressed (a = 1) or released (a = 0)
    INPUT_KEY_DOWN = 2, // a letter key pressed: a = its capital letter
    INPUT_CHAR = 3,     // a character typed: a = its 8-bit code
    INPUT_COMMAND = 4,  // a Run menu command: a = its IDM_ id
};

// Constants
constexpr int CLIENT_WIDTH = 595; // the canvas, as the Windows build's client area
constexpr int CLIENT_HEIGHT = 496;

// State: start-up
extern HINSTANCE g_instance; // the program instance, stored by start-up
extern bool g_page_started;  // the page's canvas, menu bar and log panel are set up

// Page (start-up)
void build_menu_bar();           // the Run menu in the menu bar above the canvas
void build_log_window(int show); // the log panel below the canvas

// Input
void queue_input(InputKind kind, int a, int b = 0); // adds input for the wait loop
void show_surface_now(); // puts the surface on the canvas if it changed since it was last shown
