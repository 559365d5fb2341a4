// What the runtime tests that run on every platform need from a platform: the surface's pixels,
// input fed the way the platform's window system would feed it, and the menu's check marks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/core/runtime_state.h"

void probe_start();                           // opens the windows, shown normally
uint32_t probe_pixel(int x, int y);           // the surface at logical (x, y), red in the low byte
void probe_click(int client_x, int client_y); // a left click in the client area
void probe_type(char character);              // a key that types the character
void probe_ctrl(char letter);    // Ctrl+letter, Ctrl pressed and released around it; call it only
                                 // when no other input is waiting
bool probe_checked(int command); // the Run menu's check mark of a command
std::vector<std::string> probe_log_ring(); // the log ring's messages, oldest first
