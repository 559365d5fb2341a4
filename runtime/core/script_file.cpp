// Recording delivered events into the script file and playing them back, whole or one at a time.
// One stream serves both; it is opened by whichever side needs it first.
#include "runtime/core/runtime_state.h"
#include "runtime/pure/script_line.h"

using namespace zepha;

// ---- Constants ----

namespace {

// A script has CR LF line ends on every platform. On Windows the C runtime's text mode makes
// them, and reads them back as "\n" with Ctrl+Z (0x1A) as the end of the file; elsewhere the
// file is binary and the reader below does the same.
#if defined(_WIN32)
const char WRITE_MODE[] = "wt";
const char READ_MODE[] = "rt";
#define SCRIPT_LINE_END "\n"
#else
const char WRITE_MODE[] = "wb";
const char READ_MODE[] = "rb";
#define SCRIPT_LINE_END "\r\n"
constexpr int END_OF_TEXT = 0x1A;
#endif

} // namespace

// ---- Internal functions ----

namespace {

#if defined(_WIN32)
// One line as fgets reads it, and whether the end of the file was reached while reading it.
bool read_text_line(char (&line)[SCRIPT_LINE_BUFFER]) {
    fgets(line, SCRIPT_LINE_BUFFER, g_script_file);
    return feof(g_script_file) != 0;
}
#else
// The same as fgets in Windows' text mode: CR LF reads as "\n", a lone CR stays, and Ctrl+Z or
// the end of the file ends the text; at most SCRIPT_LINE_BUFFER - 1 characters and a NUL.
bool read_text_line(char (&line)[SCRIPT_LINE_BUFFER]) {
    int length = 0;
    bool at_end = false;
    while (length < SCRIPT_LINE_BUFFER - 1) {
        int c = getc(g_script_file);
        if (c == EOF || c == END_OF_TEXT) {
            at_end = true;
            // Ctrl+Z stays the end however often the file is read on.
            if (c == END_OF_TEXT)
                ungetc(c, g_script_file);
            break;
        }
        if (c == '\r') {
            const int next = getc(g_script_file);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                ungetc(next, g_script_file);
        }
        line[length++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    line[length] = '\0';
    return at_end;
}
#endif

// Reads the next line that is not blank. False at the end of the file: the end of the file is
// tested after each read, so a last line without its newline is not replayed.
bool read_record_line(char (&line)[SCRIPT_LINE_BUFFER]) {
    do {
        line[0] = '\0';
        if (read_text_line(line))
            return false;
    } while (line[0] == '\n');
    return true;
}

// One stream serves recording and playback, so the two never overlap: each refuses to start
// while the other is on, with a message, and leaves its check mark as it was.
bool refuse_while_recording() {
    if (!g_recording)
        return false;
    ZEPHA_log("Cannot play script file %s while recording it\n", SCRIPT_FILE_NAME);
    return true;
}

} // namespace

void record_event(int kind, int x, int y, char key) {
    if (g_script_file == nullptr &&
        (g_script_file = fopen(SCRIPT_FILE_NAME, WRITE_MODE)) == nullptr) {
        ZEPHA_log("Cannot open script file %s for writing\n", SCRIPT_FILE_NAME);
        return;
    }
    switch (kind) {
    case EV_MOUSE: fprintf(g_script_file, "ZEPHA_MOUSE(%d, %d);" SCRIPT_LINE_END, x, y); break;
    case EV_KEY:
        fprintf(g_script_file, "ZEPHA_KBD(%d);" SCRIPT_LINE_END, static_cast<signed char>(key));
        break;
    case EV_PERIODIC:
        fprintf(g_script_file, "ZEPHA_PERIODIC(%d);" SCRIPT_LINE_END, g_periodic_run);
        break;
    default: break;
    }
}

int replay_next_event() {
    if (g_script_file == nullptr &&
        (g_script_file = fopen(SCRIPT_FILE_NAME, READ_MODE)) == nullptr) {
        ZEPHA_log("Cannot open script file %s for reading\n", SCRIPT_FILE_NAME);
        playback_end = PLAYBACK_NO_FILE;
        abort_playback();
        return 0;
    }
    if (g_periodic_run > 0) {
        g_periodic_run--;
        g_event_kind = EV_PERIODIC;
        played_events++;
        return 1;
    }

    char line[SCRIPT_LINE_BUFFER];
    if (!read_record_line(line)) {
        ZEPHA_log("EOF encountered in script file %s\n", SCRIPT_FILE_NAME);
        playback_end = PLAYBACK_END_OF_FILE;
        abort_playback();
        close_script();
        return 0;
    }

    const ScriptRecord record = parse_script_line(line);
    switch (record.kind) {
    case SCRIPT_KEY:
        g_event_kind = EV_KEY;
        g_event_key = record.key;
        played_events++;
        return 1;
    case SCRIPT_MOUSE:
        g_event_kind = EV_MOUSE;
        g_event_x = record.x;
        g_event_y = record.y;
        played_events++;
        return 1;
    case SCRIPT_PERIODIC:
        g_event_kind = EV_PERIODIC;
        // A count of 0 delivers one event like a count of 1, and leaves no negative run that
        // a later recording would count its first periodic event into.
        g_periodic_run = record.count > 1 ? record.count - 1 : 0;
        played_events++;
        return 1;
    case SCRIPT_UNRECOGNISED: break;
    }
    playback_end = PLAYBACK_BAD_LINE;
    close_script();
    return 0;
}

void abort_playback() {
    g_playing = 0;
    g_play_one = 0;
    check_menu_item(IDM_PLAYBACK, false);
}

void close_script() {
    if (g_script_file != nullptr) {
        fclose(g_script_file);
        g_script_file = nullptr;
    }
}

void start_recording() {
    // A Play One not yet served (its command dispatched by a loop other than the wait loop, a
    // dialog's for one) is playback too: it would read through the recording's handle.
    if (g_playing || g_play_one) {
        ZEPHA_log("Cannot record script file %s during playback\n", SCRIPT_FILE_NAME);
        return;
    }
    // A script left open by Play One is closed, with the rest of its periodic run: the recording
    // replaces it and must not start with periodic events that never happened.
    close_script();
    g_periodic_run = 0;
    g_recording = 1;
    check_menu_item(IDM_RECORD, true);
}

void stop_recording() {
    g_recording = 0;
    check_menu_item(IDM_RECORD, false);
    if (g_periodic_run > 0) {
        record_event(EV_PERIODIC, g_event_x, g_event_y, g_event_key);
        g_periodic_run = 0;
    }
    close_script();
}

void start_playback() {
    if (refuse_while_recording())
        return;
    g_animating = 0;
    g_step_pending = 0;
    g_playing = 1;
    check_menu_item(IDM_PLAYBACK, true);
}

void stop_playback() {
    playback_end = PLAYBACK_STOPPED;
    g_playing = 0;
    check_menu_item(IDM_PLAYBACK, false);
    // The rest of an interrupted periodic run is dropped: it would otherwise be delivered by the
    // next playback, or be counted into the next recording as events that never happened.
    g_periodic_run = 0;
    close_script();
}

void play_one_event() {
    if (refuse_while_recording())
        return;
    g_play_one = 1;
    g_animating = 0;
    g_step_pending = 0;
}
