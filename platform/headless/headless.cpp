// The headless platform: no window system at all. The surface lives in memory, drawn by the
// software renderer; the Run menu's check marks and the log window's visibility are kept as
// state; each log message goes to standard error. Input comes only from the script, and from
// tests through the core's input queue; the 100 ms tick keeps its real clock, except in a
// replay, where nothing live arrives and the picture is taken when the script has been played.
//
// What a replay asks for comes from the environment (docs/reference.md lists it):
//   ZEPHA_PLAYBACK  non-empty: play ZEPHA.SCR from the first wait, as Ctrl+P would
//   ZEPHA_PICTURE   where the picture goes as a PNG file when playback has ended
//   ZEPHA_ANSWERS   the answers to the text-entry dialogs, one per line, in order
//   ZEPHA_REPORT    a file that gets one line per milestone of the replay: started (the
//                   platform is up), waiting, playback-ended N REASON, picture PATH or
//                   picture-failed PATH, frames PATH or frames-failed PATH, no-answer PROMPT
//   ZEPHA_FRAMES    where an animated PNG of the replay goes when the picture is taken: a frame
//                   at each wait where the surface has changed, shown 100 ms for each event
//                   played since the frame before (at least one), the last frame the picture;
//                   at most 1,000 frames, neighbours merged in longer replays
#include "platform/headless/headless_state.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <thread>

#include "runtime/core/input_queue.h"
#include "runtime/software/apng_file.h"
#include "runtime/software/png_file.h"

namespace zepha::headless {

// ---- Constants ----

namespace {

constexpr int CLIENT_WIDTH = 595; // the client area the other platforms show, and the picture
constexpr int CLIENT_HEIGHT = 496;
constexpr uint32_t FRAME_MS_PER_EVENT = 100; // how long a frame of the replay is shown per event
const char SECOND_DISPLAY_PROMPT[] = "Error: Attempted to instantiate multiple ZEPHA displays";

} // namespace

// ---- State ----

namespace {

using Clock = std::chrono::steady_clock;

bool started = false;
bool checked[IDM_INFO + 1] = {};
bool log_window_shown = false;
Clock::time_point next_tick;

// The replay, as the environment asked for it
bool replaying = false; // ZEPHA_PLAYBACK: the script is played from the first wait
const char *picture_path = nullptr;
std::string answers; // what is left of ZEPHA_ANSWERS
bool answers_given = false;
FILE *report = nullptr;

bool waited = false;        // the program has reached its first wait
bool playback_seen = false; // playback has been on since the replay's Ctrl+P
bool replay_ended = false;  // the script has been played and the picture taken

// The animation of the replay, when ZEPHA_FRAMES asks for one
const char *frames_path = nullptr;
std::unique_ptr<Animation> frames; // none when no animation is made, or once it is written
bool drawn_since_frame = false;    // the surface was drawn on since the newest frame was taken
int32_t events_at_frame = 0;       // played_events when the newest frame was taken

} // namespace

// ---- Internal functions ----

namespace {

// One line of the report, written at once: whoever reads it acts on each line as it comes.
void report_line(const char *format, ...) ZEPHA_PRINTF(1, 2);
void report_line(const char *format, ...) {
    if (report == nullptr)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(report, format, args);
    va_end(args);
    fputc('\n', report);
    fflush(report);
}

const char *end_reason() {
    switch (playback_end) {
    case PLAYBACK_END_OF_FILE: return "end-of-file";
    case PLAYBACK_BAD_LINE: return "unreadable-line";
    case PLAYBACK_NO_FILE: return "no-script";
    case PLAYBACK_STOPPED: return "stopped";
    case PLAYBACK_NONE: break;
    }
    return "refused";
}

// A frame at a wait where the surface has changed since the newest frame, shown for the events
// played since that one.
void take_frame() {
    drawn_since_frame = drawn_since_frame || g_surface_dirty != 0;
    if (!drawn_since_frame)
        return;
    drawn_since_frame = false;
    if (frames->shows(g_surface_pixels))
        return;
    const int32_t events = std::max(1, played_events - events_at_frame);
    events_at_frame = played_events;
    frames->add_frame(g_surface_pixels, static_cast<uint32_t>(events) * FRAME_MS_PER_EVENT);
}

// The surface as it is now is the last frame; the events played after it changed last are
// shown on it.
void write_frames() {
    take_frame();
    if (played_events > events_at_frame)
        frames->lengthen(static_cast<uint32_t>(played_events - events_at_frame) *
                         FRAME_MS_PER_EVENT);
    if (frames->write(frames_path))
        report_line("frames %s", frames_path);
    else
        report_line("frames-failed %s", frames_path);
    frames.reset();
}

// The script has been played: the picture is what the program drew from it.
void end_replay() {
    replay_ended = true;
    report_line("playback-ended %d %s", static_cast<int>(played_events), end_reason());
    if (picture_path != nullptr) {
        if (write_png(picture_path, g_surface_pixels, CLIENT_WIDTH, CLIENT_HEIGHT, SURFACE_WIDTH))
            report_line("picture %s", picture_path);
        else
            report_line("picture-failed %s", picture_path);
    }
    if (frames != nullptr)
        write_frames();
}

void read_environment() {
    const char *playback = getenv("ZEPHA_PLAYBACK");
    replaying = playback != nullptr && playback[0] != '\0';
    picture_path = getenv("ZEPHA_PICTURE");
    if (picture_path != nullptr && picture_path[0] == '\0')
        picture_path = nullptr;
    if (const char *given = getenv("ZEPHA_ANSWERS")) {
        answers = given;
        answers_given = true;
    }
    frames_path = getenv("ZEPHA_FRAMES");
    if (replaying && frames_path != nullptr && frames_path[0] != '\0')
        frames = std::make_unique<Animation>(CLIENT_WIDTH, CLIENT_HEIGHT, SURFACE_WIDTH);
    if (const char *path = getenv("ZEPHA_REPORT"); path != nullptr && path[0] != '\0') {
        report = fopen(path, "a");
        if (report == nullptr)
            fprintf(stderr, "ZEPHA: cannot open the report file %s\n", path);
        // Tells a replay that the program has this platform (one built without it ends at once).
        report_line("started");
    }
}

// The next answer: from ZEPHA_ANSWERS when it is set, else a line of standard input.
bool next_answer(std::string &answer) {
    if (answers_given) {
        if (answers.empty())
            return false;
        const size_t end = answers.find('\n');
        answer = answers.substr(0, end);
        answers.erase(0, end == std::string::npos ? answers.size() : end + 1);
        return true;
    }
    char line[GETS_ANSWER_SIZE];
    if (replaying || fgets(line, sizeof line, stdin) == nullptr)
        return false;
    answer = line;
    return true;
}

void start_windows(HINSTANCE, HINSTANCE, int show) {
    read_environment();
    // The logical origin is the centre of the client area the other platforms show.
    g_origin_x = CLIENT_WIDTH / 2;
    g_origin_y = CLIENT_HEIGHT / 2;
    checked[IDM_LOGGING] = true;
    log_window_shown = show != 0;
    started = true;
    next_tick = Clock::now() + std::chrono::milliseconds(TICK_INTERVAL_MS);
    if (replaying)
        queue_input(INPUT_COMMAND, IDM_PLAYBACK);
}

void stop_windows() {
    // A program that ends before its script does still shows how far it got.
    if (frames != nullptr)
        write_frames();
    if (report != nullptr)
        fclose(report);
    report = nullptr;
}

bool windows_started() {
    return started;
}

bool pump_one_message() {
    if (!waited) {
        waited = true;
        report_line("waiting");
    }
    if (replaying) {
        if (frames != nullptr)
            take_frame();
        // From the end of the script on nothing live reaches the program: its first wait after
        // that takes the picture and ends in Quit, and so does every later one.
        if (!replay_ended && playback_seen && !g_playing && !g_play_one)
            end_replay();
        if (replay_ended) {
            g_event_kind = EV_QUIT;
            return true;
        }
        // The only input is the replay's Ctrl+P, taken at the first wait. A playback it could
        // not start has ended too.
        const bool took = take_one_input();
        if (g_playing || g_play_one)
            playback_seen = true;
        else if (!playback_seen)
            end_replay();
        g_surface_dirty = 0;
        return took;
    }
    if (Clock::now() >= next_tick) {
        queue_timer_tick();
        next_tick = Clock::now() + std::chrono::milliseconds(TICK_INTERVAL_MS);
    }
    const bool took = take_one_input();
    g_surface_dirty = 0;
    return took;
}

// Nothing but the tick can come: while the animation runs, or a periodic event prepared for one
// frame waits for it, the wait sleeps until it is due; otherwise nothing can ever come, and the
// program gets Quit.
void block_until_message() {
    if (input_waiting() || replaying)
        return;
    if (!g_animating && !g_step_pending && g_event_kind != EV_PERIODIC) {
        queue_quit();
        return;
    }
    std::this_thread::sleep_until(next_tick);
}

void copy_surface_to_window() {
    drawn_since_frame = drawn_since_frame || g_surface_dirty != 0;
    g_surface_dirty = 0;
}

void check_menu_item(int id, bool on) {
    if (id >= 0 && id <= IDM_INFO)
        checked[id] = on;
}

// Each message as it is formatted, so whoever runs the program sees it.
void append_log_line(char *text) {
    const size_t length = strlen(text);
    fputs(text, stderr);
    if (length == 0 || text[length - 1] != '\n')
        fputc('\n', stderr);
}

int show_log_window(int show) {
    const int was_shown = log_window_shown ? 1 : 0;
    log_window_shown = show != 0;
    return was_shown;
}

// The prompt goes to standard error; the answer comes from the list of answers or standard
// input. A dialog with no answer ends the program at once: nothing could ever answer it.
int gets(const char *prompt, char *answer) {
    fprintf(stderr, "ZEPHA_gets: %s\n", prompt != nullptr ? prompt : "");
    // The dialog of a second display is shown before its program ends; it takes no answer.
    if (prompt != nullptr && strcmp(prompt, SECOND_DISPLAY_PROMPT) == 0) {
        if (answer != nullptr)
            answer[0] = '\0';
        return 1;
    }
    std::string given;
    if (!next_answer(given)) {
        report_line("no-answer %s", prompt != nullptr ? prompt : "");
        fprintf(stderr, "ZEPHA: no answer for the text-entry dialog\n");
        exit(NO_ANSWER_STATUS);
    }
    while (!given.empty() && (given.back() == '\n' || given.back() == '\r'))
        given.pop_back();
    if (g_gets_target != nullptr) {
        const size_t length = given.copy(g_gets_target, GETS_ANSWER_SIZE - 1);
        g_gets_target[length] = '\0';
    }
    return 1;
}

} // namespace

// ---- Shared with the tests ----

bool menu_checked(int id) {
    return id >= 0 && id <= IDM_INFO && checked[id];
}

bool log_window_visible() {
    return log_window_shown;
}

void reset_state() {
    frames.reset(); // dropped, not written
    frames_path = nullptr;
    drawn_since_frame = false;
    events_at_frame = 0;
    stop_windows();
    started = false;
    std::fill(std::begin(checked), std::end(checked), false);
    log_window_shown = false;
    replaying = false;
    picture_path = nullptr;
    answers.clear();
    answers_given = false;
    waited = false;
    playback_seen = false;
    replay_ended = false;
}

} // namespace zepha::headless

namespace zepha {

const Platform HEADLESS_PLATFORM = {
    "headless",
    headless::start_windows,
    headless::stop_windows,
    headless::windows_started,
    headless::pump_one_message,
    headless::block_until_message,
    queue_quit,
    software::render_item,
    software::erase_surface,
    headless::copy_surface_to_window,
    headless::check_menu_item,
    headless::append_log_line,
    headless::show_log_window,
    headless::gets,
};

} // namespace zepha
