// The text-entry dialog: a prompt, an entry field and an Okay button in a modal window; Enter
// presses Okay. The program's other windows take no input meanwhile; timer ticks merge into one.
#include "platform/fltk/fltk_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#if !defined(__APPLE__) && !defined(_WIN32)
#include <FL/x.H>
#endif

#include <cstring>
#include <string>

// ---- Constants ----

namespace zepha::fltk {
namespace {

constexpr size_t PROMPT_LENGTH = 79; // characters of the prompt that are shown

} // namespace

// ---- Internal functions ----

namespace {

// The answer in the 8-bit code the program reads: ASCII and Latin-1 characters as they are, any
// other character as '?'; at most GETS_ANSWER_SIZE - 1 of them.
void copy_answer(const char *typed, char *answer) {
    size_t length = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(typed);
         *c != '\0' && length < GETS_ANSWER_SIZE - 1;) {
        int code = *c++;
        if (code >= 0x80) {
            int extra = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : 1;
            code &= 0x3F >> extra;
            for (; extra > 0 && (*c & 0xC0) == 0x80; extra--)
                code = (code << 6) | (*c++ & 0x3F);
            if (code >= 0x100)
                code = '?';
        }
        answer[length++] = static_cast<char>(code);
    }
    answer[length] = '\0';
}

// The prompt's characters in the toolkit's UTF-8; '&' and '@' shown as themselves.
std::string prompt_label(const char *prompt) {
    std::string label;
    const size_t length = prompt != nullptr ? strnlen(prompt, PROMPT_LENGTH) : 0;
    for (size_t i = 0; i < length; i++) {
        const unsigned char c = static_cast<unsigned char>(prompt[i]);
        if (c == '&' || c == '@')
            label += static_cast<char>(c);
        if (c < 0x80) {
            label += static_cast<char>(c);
        } else {
            label += static_cast<char>(0xC0 | (c >> 6));
            label += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return label;
}

// Keys that another program sends to the graphics window (the replay tool's Ctrl+P, which may
// come just as the dialog opens) reach it while the dialog is open, as messages sent to a window
// do under a modal dialog on Windows. Keys typed on the keyboard still go to the dialog.
int dispatch_during_dialog(int event, Fl_Window *window) {
#if !defined(__APPLE__) && !defined(_WIN32)
    if ((event == FL_KEYDOWN || event == FL_KEYUP) && window != nullptr &&
        window == g_graphics_window && fl_xevent != nullptr && fl_xevent->xany.send_event) {
        if (event == FL_KEYDOWN)
            queue_key(Fl::event_key(), Fl::event_text());
        else
            queue_key_release(Fl::event_key());
        return 1;
    }
#endif
    return Fl::handle_(event, window);
}

} // namespace

// ---- The platform's operations ----

int gets(const char *prompt, char * /*answer*/) {
    Fl_Window dialog(278, 150, "ZEPHA_gets");
    const std::string label = prompt_label(prompt);
    Fl_Box prompt_box(12, 5, 251, 39);
    prompt_box.label(label.c_str());
    prompt_box.align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP);
    Fl_Input field(12, 49, 251, 28);
    Fl_Return_Button okay(100, 120, 75, 23, "Okay");
    bool answered = false;
    okay.callback([](Fl_Widget *, void *done) { *static_cast<bool *>(done) = true; }, &answered);
    dialog.end();
    // Closing the dialog's window does not answer it: only Okay does.
    dialog.callback([](Fl_Widget *, void *) {});
    // Over the graphics window's client area, where Windows puts the dialog.
    if (g_graphics_window != nullptr)
        dialog.position(g_graphics_window->x() + 75, g_graphics_window->y() + 25 + 81);
    dialog.set_modal();
    const Fl_Event_Dispatch dispatch = Fl::event_dispatch();
    Fl::event_dispatch(dispatch_during_dialog);
    dialog.show();
    field.take_focus();
    while (!answered && dialog.shown())
        Fl::wait(1e20);
    Fl::event_dispatch(dispatch);
    if (g_gets_target != nullptr)
        copy_answer(field.value(), g_gets_target);
    dialog.hide();
    return 1;
}

} // namespace zepha::fltk
