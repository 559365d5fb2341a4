// The log: a ring of the last 25 messages, each also drawn by the platform as the new bottom
// line of the log window, and the switch for logging drawing calls.
#include "runtime/core/runtime_state.h"

#include <cstdarg>
#include <cstring>

// ---- Internal functions ----

namespace zepha {
namespace {

int next_slot(int slot) {
    return slot == LOG_RING_SIZE - 1 ? 0 : slot + 1;
}

// Stores a copy of the message in the ring, replacing the oldest one when the ring is full.
// A block that cannot be allocated costs this one message: the ring keeps its older ones.
void store_in_ring(const char *text, size_t length) {
    TextBlock block = new_text_block(text, length);
    if (block == nullptr)
        return;
    if (g_log_first == g_log_next) {
        free_text_block(g_log_lines[g_log_first]);
        g_log_first = next_slot(g_log_first);
    }
    g_log_lines[g_log_next] = block;
    if (g_log_first < 0)
        g_log_first = g_log_next;
    g_log_next = next_slot(g_log_next);
}

} // namespace

void format_into(char (&buffer)[LOG_BUFFER_SIZE], const char *format, va_list args) {
    if (vsnprintf(buffer, sizeof buffer, format, args) < 0)
        buffer[0] = '\0';
}

} // namespace zepha

// ---- Public functions ----

int ZEPHA_log(const char *format, ...) {
    char buffer[LOG_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    zepha::format_into(buffer, format, args);
    va_end(args);
    const size_t length = strlen(buffer);

    zepha::store_in_ring(buffer, length);
    append_log_line(buffer);
    return static_cast<int>(length);
}

int ZEPHA_set_logging(int on) {
    if (!zepha::windows_started())
        return 0;
    g_logging = on ? 1 : 0;
    zepha::check_menu_item(IDM_LOGGING, on != 0);
    if (g_logging == 1)
        show_log_window(1);
    return 1;
}
