// The log panel below the canvas: each message shown as the new bottom line as it is logged,
// the lines above it moving up one line, in a fixed-width face; the last 25 lines are kept.
#include "platform/web/web_state.h"

#include <emscripten.h>

#include <cstring>

// ---- The page's side (page.js) ----

namespace zepha::web {
namespace {

// clang-format off
EM_JS(void, page_log_start, (int show, int lines), { zepha.logStart(show !== 0, lines); });
EM_JS(void, page_log_line, (const char *text, int length), {
    zepha.logLine(latin1(text, length));
});
EM_JS(int, page_log_show, (int show), { return zepha.logShow(show !== 0) ? 1 : 0; });
// clang-format on

} // namespace

void build_log_window(int show) {
    page_log_start(show, LOG_RING_SIZE);
}

void append_log_line(char *text) {
    // Before start-up the ring alone keeps the message.
    if (!g_page_started)
        return;
    size_t length = strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        text[--length] = '\0';
    page_log_line(text, static_cast<int>(length));
}

int show_log_window(int show) {
    if (!g_page_started)
        return 0;
    return page_log_show(show);
}

} // namespace zepha::web
