// The text-entry dialog: a prompt, an entry field and an Okay button in a modal box over the
// page; Enter presses Okay. The page takes no other input meanwhile; ticks merge into one.
#include "platform/web/web_state.h"

#include <emscripten.h>

#include <cstring>

// ---- Constants ----

namespace zepha::web {
namespace {

constexpr size_t PROMPT_LENGTH = 79; // characters of the prompt that are shown

} // namespace

// ---- The page's side (page.js) ----

namespace {

// Shows the dialog and sleeps until Okay; the answer comes back in the 8-bit code the program
// reads: ASCII and Latin-1 characters as they are, any other character as '?'.
// clang-format off
EM_ASYNC_JS(void, page_ask, (const char *prompt, int prompt_length, char *answer, int size), {
    const typed = await zepha.ask(latin1(prompt, prompt_length));
    let length = 0;
    for (const c of typed) {
        if (length >= size - 1)
            break;
        const code = c.codePointAt(0);
        HEAPU8[answer + length++] = code < 0x100 ? code : 0x3F;
    }
    HEAPU8[answer + length] = 0;
});
// clang-format on

} // namespace

// ---- The platform's operations ----

int gets(const char *prompt, char * /*answer*/) {
    const size_t length = prompt != nullptr ? strnlen(prompt, PROMPT_LENGTH) : 0;
    show_surface_now();
    char typed[GETS_ANSWER_SIZE];
    page_ask(prompt != nullptr ? prompt : "", static_cast<int>(length), typed, GETS_ANSWER_SIZE);
    if (g_gets_target != nullptr)
        memcpy(g_gets_target, typed, strlen(typed) + 1);
    return 1;
}

} // namespace zepha::web
