// What the runtime's checks on the headless platform share: a runtime as a new process has it
// for every test case (all cases run in one process), input fed through the core's queue, and
// what the user would see: events, the surface's pixels, the log ring, the Run menu's marks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/headless/headless_state.h"
#include "runtime/core/input_queue.h"

using namespace zepha;

// Colour values as the surface holds them, red in the low byte
constexpr uint32_t BLACK_VALUE = 0x000000, WHITE_VALUE = 0xFFFFFF, RED_VALUE = 0x0000FF,
                   GREEN_VALUE = 0x00FF00, BLUE_VALUE = 0xFF0000;

// Each case starts with the runtime's state as the program starts, in a fresh current folder
// of its own, where the script file lives.
class FreshRuntime : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

  private:
    std::string folder_;
    std::string previous_;
};

// The same, with the windows open as the display object opens them, shown.
class StartedRuntime : public FreshRuntime {
  protected:
    void SetUp() override;
};

void start_runtime();

// One event as ZEPHA_next_event hands it out
struct Event {
    int kind;
    int x;
    int y;
    char key;
    bool operator==(const Event &other) const {
        return kind == other.kind && x == other.x && y == other.y && key == other.key;
    }
};
std::ostream &operator<<(std::ostream &out, const Event &event);
Event next_event();
Event mouse(int x, int y);
Event key(int code);
const Event PERIODIC = {EV_PERIODIC, 0, 0, 0};

// Input
void click_at(int x, int y);      // a left click at logical (x, y)
void type(int code);              // a character, in its 8-bit code
void press_ctrl_key(char letter); // Ctrl held, the letter's key pressed; Ctrl stays down
void pump_queued();               // the pump takes everything waiting

// What the user sees
uint32_t pixel_at(int x, int y);                       // the surface at logical (x, y)
std::vector<std::string> log_ring();                   // its messages, oldest first
std::vector<std::string> last_log_lines(size_t count); // the newest ones, oldest first
inline bool checked(int id) {
    return headless::menu_checked(id);
}

// The script file
void write_script(const std::string &bytes);
std::string read_script(); // "(no file)" when there is none
