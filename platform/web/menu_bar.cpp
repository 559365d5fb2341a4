// The Run menu in the page's menu bar above the canvas, and its check marks. The page draws
// the lines from RUN_MENU as they are, mnemonic and shortcut text included; a command chosen
// there is queued for the wait loop like any other input.
#include "platform/web/web_state.h"

#include <emscripten.h>

// ---- State ----

namespace zepha::web {
namespace {

bool checked[IDM_INFO + 1] = {};

} // namespace

// ---- The page's side (page.js) ----

namespace {

// clang-format off
EM_JS(void, page_menu_title, (const char *title), { zepha.menuTitle(latin1(title)); });
EM_JS(void, page_menu_line, (int kind, int id, const char *text, int checkable, int checked), {
    zepha.menuLine(kind, id, text ? latin1(text) : "", checkable !== 0, checked !== 0);
});
EM_JS(void, page_menu_check, (int id, int checked), { zepha.menuCheck(id, checked !== 0); });
// clang-format on

// The commands whose lines carry a check mark.
bool has_check_mark(int id) {
    return id == IDM_LOGGING || id == IDM_RECORD || id == IDM_PLAYBACK;
}

} // namespace

void build_menu_bar() {
    page_menu_title(RUN_MENU_TITLE);
    for (const RunMenuEntry &entry : RUN_MENU) {
        if (entry.kind == MENU_CHECKED_COMMAND)
            checked[entry.id] = true;
        page_menu_line(entry.kind, entry.id, entry.text, has_check_mark(entry.id) ? 1 : 0,
                       checked[entry.id] ? 1 : 0);
    }
}

void check_menu_item(int id, bool on) {
    if (id < 0 || id > IDM_INFO)
        return;
    checked[id] = on;
    if (g_page_started)
        page_menu_check(id, on ? 1 : 0);
}

} // namespace zepha::web
