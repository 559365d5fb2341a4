// The Run menu on the graphics window's menu bar and its check marks. A command chosen there
// is queued for the wait loop like any other input.
#include "platform/fltk/fltk_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>

#include <cctype>
#include <cstring>
#include <string>

// ---- State ----

namespace zepha::fltk {
namespace {

// The labels as the toolkit shows them: the text before the tab; the shortcut's own text is
// drawn by the toolkit from the shortcut.
std::string labels[RUN_MENU_ENTRIES];
bool checked[IDM_INFO + 1] = {};

} // namespace

// ---- Internal functions ----

namespace {

// The Ctrl+letter named after the tab of a line's text, or 0.
int shortcut_of(const char *text) {
    const char *tab = strchr(text, '\t');
    if (tab == nullptr || strncmp(tab + 1, "Ctrl+", 5) != 0)
        return 0;
    return FL_CTRL | tolower(static_cast<unsigned char>(tab[6]));
}

// The commands whose lines carry a check mark.
bool has_check_mark(int id) {
    return id == IDM_LOGGING || id == IDM_RECORD || id == IDM_PLAYBACK;
}

Fl_Menu_Item *item_of(int id) {
    for (int i = 0; i < g_menu_bar->size(); i++) {
        Fl_Menu_Item *item = const_cast<Fl_Menu_Item *>(&g_menu_bar->menu()[i]);
        if (item->label() != nullptr && item->user_data() != nullptr &&
            static_cast<int>(reinterpret_cast<intptr_t>(item->user_data())) == id)
            return item;
    }
    return nullptr;
}

// The toolkit flips a check box as it is chosen; here the mark changes only when the command
// has run, so it is put back first.
void on_choose(Fl_Widget *, void *data) {
    const int id = static_cast<int>(reinterpret_cast<intptr_t>(data));
    if (has_check_mark(id))
        check_menu_item(id, checked[id]);
    queue_input(INPUT_COMMAND, id);
}

} // namespace

void build_menu_bar(int width) {
    g_menu_bar = new Fl_Menu_Bar(0, 0, width, 25);
    const std::string title = RUN_MENU_TITLE;
    for (int i = 0; i < RUN_MENU_ENTRIES; i++) {
        const RunMenuEntry &entry = RUN_MENU[i];
        if (entry.kind == MENU_SEPARATOR)
            continue;
        const char *tab = strchr(entry.text, '\t');
        labels[i] = tab != nullptr ? std::string(entry.text, tab) : std::string(entry.text);
        // Slashes separate submenus in the toolkit's paths and '@' starts a symbol in its
        // labels; a label's own are escaped.
        std::string path = title + "/";
        for (char c : labels[i])
            path += c == '/'   ? std::string("\\/")
                    : c == '@' ? std::string("@@")
                               : std::string(1, c);
        int flags = 0;
        if (entry.kind == MENU_INFO)
            flags |= FL_MENU_INACTIVE;
        if (has_check_mark(entry.id))
            flags |= FL_MENU_TOGGLE;
        if (entry.kind == MENU_CHECKED_COMMAND) {
            flags |= FL_MENU_VALUE;
            checked[entry.id] = true;
        }
        if (i + 1 < RUN_MENU_ENTRIES && RUN_MENU[i + 1].kind == MENU_SEPARATOR)
            flags |= FL_MENU_DIVIDER;
        g_menu_bar->add(path.c_str(), shortcut_of(entry.text),
                        entry.kind == MENU_INFO ? nullptr : on_choose,
                        reinterpret_cast<void *>(static_cast<intptr_t>(entry.id)), flags);
    }
}

void check_menu_item(int id, bool on) {
    if (id < 0 || id > IDM_INFO)
        return;
    checked[id] = on;
    if (g_menu_bar == nullptr)
        return;
    if (Fl_Menu_Item *item = item_of(id))
        on ? item->set() : item->clear();
}

} // namespace zepha::fltk
