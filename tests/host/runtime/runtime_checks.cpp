// The runtime's state put back before each case, and the helpers of the checks.
#include "tests/host/runtime/runtime_checks.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "runtime/software/software_surface.h"

// ---- State ----

namespace {

// Variables and the values they held when it was made.
template <typename... T> class Snapshot {
  public:
    explicit Snapshot(T &...variables) : variables_(variables...), values_(variables...) {}
    void restore() { variables_ = values_; }

  private:
    std::tuple<T &...> variables_;
    std::tuple<T...> values_;
};

// The core's state as the program starts: taken before main(), when every variable still holds
// its initial value. The log ring's blocks and the surface are put back by hand.
Snapshot initial_state(g_startup_args, g_surface_dirty, g_origin_x, g_origin_y, g_event_kind,
                       g_event_x, g_event_y, g_event_key, g_animating, g_step_pending,
                       g_tick_pending, g_quit_pending, played_events, playback_end, g_recording,
                       g_playing, g_play_one, g_periodic_run, g_ctrl_down, g_logging, g_log_first,
                       g_log_next, g_gets_target, g_display_created);

// The environment the headless platform reads at start-up
const char *const ENVIRONMENT[] = {"ZEPHA_PLAYBACK", "ZEPHA_PICTURE", "ZEPHA_ANSWERS",
                                   "ZEPHA_REPORT", "ZEPHA_FRAMES"};

void reset_runtime() {
    headless::reset_state();
    clear_input();
    close_script();
    for (TextBlock &block : g_log_lines) {
        free_text_block(block);
        block = nullptr;
    }
    std::fill(g_surface_pixels, g_surface_pixels + SURFACE_WIDTH * SURFACE_HEIGHT, 0);
    initial_state.restore();
}

} // namespace

// ---- Fixtures ----

void FreshRuntime::SetUp() {
    reset_runtime();
    for (const char *name : ENVIRONMENT)
        unsetenv(name);
    previous_ = std::filesystem::current_path();
    std::string pattern = std::filesystem::temp_directory_path() / "zepha_runtime_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    std::filesystem::current_path(folder_);
}

void FreshRuntime::TearDown() {
    close_script();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
}

void StartedRuntime::SetUp() {
    FreshRuntime::SetUp();
    start_runtime();
}

void start_runtime() {
    ZEPHA_start_windows(nullptr, nullptr, nullptr, 1);
}

// ---- Events and input ----

std::ostream &operator<<(std::ostream &out, const Event &event) {
    return out << "{kind " << event.kind << ", x " << event.x << ", y " << event.y << ", key "
               << static_cast<int>(event.key) << "}";
}

Event next_event() {
    Event event = {0, 0, 0, 0};
    event.kind = ZEPHA_next_event(&event.x, &event.y, &event.key);
    return event;
}

Event mouse(int x, int y) {
    return {EV_MOUSE, x, y, 0};
}

Event key(int code) {
    return {EV_KEY, 0, 0, static_cast<char>(code)};
}

void click_at(int x, int y) {
    queue_input(INPUT_CLICK, g_origin_x + x, g_origin_y - y);
}

void type(int code) {
    queue_input(INPUT_CHAR, code & 0xFF);
}

void press_ctrl_key(char letter) {
    queue_input(INPUT_CTRL, 1);
    queue_input(INPUT_KEY_DOWN, letter);
}

void pump_queued() {
    while (pump_one_message()) {
    }
}

// ---- What the user sees ----

uint32_t pixel_at(int x, int y) {
    return g_surface_pixels[(g_origin_y - y) * SURFACE_WIDTH + g_origin_x + x];
}

std::vector<std::string> log_ring() {
    std::vector<std::string> lines;
    for (int slot = g_log_first, n = 0; slot >= 0 && !(slot == g_log_next && n > 0); n++) {
        lines.emplace_back(lock_text_block(g_log_lines[slot]));
        slot = (slot + 1) % LOG_RING_SIZE;
    }
    return lines;
}

std::vector<std::string> last_log_lines(size_t count) {
    std::vector<std::string> lines = log_ring();
    lines.erase(lines.begin(),
                lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())));
    return lines;
}

// ---- The script file ----

void write_script(const std::string &bytes) {
    std::ofstream(SCRIPT_FILE_NAME, std::ios::binary) << bytes;
}

std::string read_script() {
    std::ifstream file(SCRIPT_FILE_NAME, std::ios::binary);
    if (!file)
        return "(no file)";
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}
