// The text-entry dialog: a prompt, an edit control and an Okay button, from a dialog template
// built in memory at each call (the program carries no resources).
#include "platform/win32/win32_state.h"

#include <cstring>

// ---- Constants ----

namespace zepha::win32 {
namespace {

// Template layout (little-endian, UTF-16 texts, items on 4-byte boundaries):
//   0 header: style, ex-style, item count, x, y, cx, cy, menu 0, class 0, caption "ZEPHA_gets"
//  44 edit control   (id 102, class atom 0x0081), empty title
//  72 push button    (id 101, class atom 0x0080), title "Okay"
// 108 static prompt  (id 103, class atom 0x0082), title of 79 units and a NUL
// 292 end
constexpr size_t HEADER_OFFSET = 0;
constexpr size_t EDIT_OFFSET = 44;
constexpr size_t BUTTON_OFFSET = 72;
constexpr size_t PROMPT_OFFSET = 108;
constexpr size_t PROMPT_UNITS = 79;

constexpr DWORD DIALOG_STYLE = 0x90C80080; // popup, visible, caption, system menu, modal frame
constexpr DWORD EDIT_STYLE = 0x50810044;   // child, visible, border, tab stop, multi-line
constexpr DWORD BUTTON_STYLE = 0x50010001; // child, visible, tab stop, default push button
constexpr DWORD PROMPT_STYLE = 0x50020000; // child, visible, group, left-aligned static

constexpr WORD EDIT_CLASS_ATOM = 0x0081;
constexpr WORD BUTTON_CLASS_ATOM = 0x0080;
constexpr WORD STATIC_CLASS_ATOM = 0x0082;

// ---- Internal functions ----

// Writes little-endian values and widened texts into the template.
class TemplateWriter {
  public:
    explicit TemplateWriter(uint8_t *buffer) : buffer_(buffer) {}

    void word(size_t offset, WORD value) {
        buffer_[offset] = static_cast<uint8_t>(value & 0xFF);
        buffer_[offset + 1] = static_cast<uint8_t>(value >> 8);
    }
    void dword(size_t offset, DWORD value) {
        word(offset, static_cast<WORD>(value & 0xFFFF));
        word(offset + 2, static_cast<WORD>(value >> 16));
    }
    // One UTF-16 unit per byte and a NUL unit; returns the offset after the NUL.
    size_t text(size_t offset, const char *text) {
        for (; *text != '\0'; text++, offset += 2)
            word(offset, static_cast<unsigned char>(*text));
        word(offset, 0);
        return offset + 2;
    }
    // An item: style, ex-style, x, y, cx, cy, id, then the class as 0xFFFF and an atom.
    // Returns the offset of its title.
    size_t item(size_t offset, DWORD style, short x, short y, short cx, short cy, WORD id,
                WORD class_atom) {
        dword(offset, style);
        dword(offset + 4, 0);
        word(offset + 8, static_cast<WORD>(x));
        word(offset + 10, static_cast<WORD>(y));
        word(offset + 12, static_cast<WORD>(cx));
        word(offset + 14, static_cast<WORD>(cy));
        word(offset + 16, id);
        word(offset + 18, 0xFFFF);
        word(offset + 20, class_atom);
        return offset + 22;
    }

  private:
    uint8_t *buffer_;
};

void end_with_answer(HWND dialog) {
    if (g_gets_target != nullptr)
        GetDlgItemTextA(dialog, IDC_GETS_TEXT, g_gets_target, GETS_ANSWER_SIZE);
    EndDialog(dialog, 1);
}

} // namespace

void build_gets_template(const char *prompt, uint8_t (&buffer)[GETS_TEMPLATE_SIZE]) {
    memset(buffer, 0, sizeof buffer);
    TemplateWriter out(buffer);

    out.dword(HEADER_OFFSET, DIALOG_STYLE);
    out.dword(HEADER_OFFSET + 4, 0);
    out.word(HEADER_OFFSET + 8, 3);
    out.word(HEADER_OFFSET + 10, 50);
    out.word(HEADER_OFFSET + 12, 50);
    out.word(HEADER_OFFSET + 14, 185);
    out.word(HEADER_OFFSET + 16, 92);
    out.word(HEADER_OFFSET + 18, 0);
    out.word(HEADER_OFFSET + 20, 0);
    out.text(HEADER_OFFSET + 22, "ZEPHA_gets");

    size_t title =
        out.item(EDIT_OFFSET, EDIT_STYLE, 8, 30, 167, 37, IDC_GETS_TEXT, EDIT_CLASS_ATOM);
    out.word(out.text(title, ""), 0); // no creation data

    title = out.item(BUTTON_OFFSET, BUTTON_STYLE, 67, 74, 50, 14, IDC_GETS_OKAY, BUTTON_CLASS_ATOM);
    out.word(out.text(title, "Okay"), 0);

    // The prompt field is always 79 units: the prompt cut or padded with spaces.
    title =
        out.item(PROMPT_OFFSET, PROMPT_STYLE, 8, 3, 167, 24, IDC_GETS_PROMPT, STATIC_CLASS_ATOM);
    char field[PROMPT_UNITS + 1];
    const size_t length = prompt != nullptr ? strnlen(prompt, PROMPT_UNITS) : 0;
    memset(field, ' ', PROMPT_UNITS);
    if (length > 0)
        memcpy(field, prompt, length);
    field[PROMPT_UNITS] = '\0';
    out.word(out.text(title, field), 0);
}

} // namespace zepha::win32

// ---- Dialog procedure ----

INT_PTR CALLBACK gets_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    using namespace zepha::win32;
    switch (message) {
    case WM_INITDIALOG: g_gets_target = reinterpret_cast<char *>(lparam); return TRUE;
    case WM_COMMAND:
        if (wparam != IDC_GETS_OKAY)
            return FALSE;
        end_with_answer(dialog);
        return TRUE;
    default: return FALSE;
    }
}

// ---- The platform's operations ----

int zepha::win32::gets(const char *prompt, char *answer) {
    // DWORD-aligned, as the platform requires of a dialog template.
    alignas(4) uint8_t dialog_template[GETS_TEMPLATE_SIZE];
    build_gets_template(prompt, dialog_template);
    const INT_PTR result = DialogBoxIndirectParamA(
        g_instance, reinterpret_cast<LPCDLGTEMPLATEA>(dialog_template), g_graphics_window,
        gets_dialog_proc, reinterpret_cast<LPARAM>(answer));
    return result != -1 ? 1 : 0;
}
