// The text-entry dialog: its template byte for byte, and the dialog itself answered the way a
// user would, by typing into the edit control and pressing Enter or Okay.
#include <gtest/gtest.h>

#include <string>

#include "tests/runtime/test_support.h"

namespace {

uint16_t word_at(const uint8_t *t, size_t offset) {
    return t[offset] | (t[offset + 1] << 8);
}
uint32_t dword_at(const uint8_t *t, size_t offset) {
    return word_at(t, offset) | (static_cast<uint32_t>(word_at(t, offset + 2)) << 16);
}
std::string text_at(const uint8_t *t, size_t offset, size_t units) {
    std::string text;
    for (size_t i = 0; i < units; i++)
        text += static_cast<char>(word_at(t, offset + 2 * i));
    return text;
}

// What the test's "user" does once the dialog is up; run from a thread timer inside the
// dialog's own message loop.
std::string g_typed;
bool g_press_escape_first = false;
bool g_click_okay = false;

HWND find_dialog() {
    return find_gets_dialog(GetCurrentProcessId());
}

void CALLBACK act_as_user(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = find_dialog();
    if (dialog == nullptr)
        return; // not up yet: try at the next tick
    KillTimer(nullptr, timer);
    HWND edit = GetDlgItem(dialog, IDC_GETS_TEXT);
    SetFocus(edit);
    for (char c : g_typed)
        SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
    if (g_press_escape_first) {
        // Escape is the cancel command, which the dialog does not handle.
        PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(edit, WM_KEYUP, VK_ESCAPE, 0);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        EXPECT_TRUE(IsWindow(dialog)) << "Escape closed the dialog";
        SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(IsWindow(dialog)) << "the close box closed the dialog";
    }
    if (g_click_okay) {
        PostMessageA(GetDlgItem(dialog, IDC_GETS_OKAY), BM_CLICK, 0, 0);
    } else {
        PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(edit, WM_KEYUP, VK_RETURN, 0);
    }
}

int ask(const char *prompt, char *answer) {
    SetTimer(nullptr, 0, 50, act_as_user);
    return ZEPHA_gets(prompt, answer);
}

} // namespace

TEST(GetsTemplate, HeaderAndItemsStandAtTheirOffsets) {
    uint8_t t[win32::GETS_TEMPLATE_SIZE];
    win32::build_gets_template("Name?", t);
    EXPECT_EQ(292u, sizeof t);
    EXPECT_EQ(0x90C80080u, dword_at(t, 0));
    EXPECT_EQ(0u, dword_at(t, 4));
    EXPECT_EQ(3, word_at(t, 8));
    EXPECT_EQ(50, word_at(t, 10));
    EXPECT_EQ(50, word_at(t, 12));
    EXPECT_EQ(185, word_at(t, 14));
    EXPECT_EQ(92, word_at(t, 16));
    EXPECT_EQ(0, word_at(t, 18));
    EXPECT_EQ(0, word_at(t, 20));
    EXPECT_EQ(std::string("ZEPHA_gets") + '\0', text_at(t, 22, 11));

    struct Item {
        size_t offset;
        uint32_t style;
        uint16_t x, y, cx, cy, id, atom;
    };
    const Item items[] = {{44, 0x50810044, 8, 30, 167, 37, 102, 0x81},
                          {72, 0x50010001, 67, 74, 50, 14, 101, 0x80},
                          {108, 0x50020000, 8, 3, 167, 24, 103, 0x82}};
    for (const Item &item : items) {
        SCOPED_TRACE(item.offset);
        EXPECT_EQ(0u, item.offset % 4);
        EXPECT_EQ(item.style, dword_at(t, item.offset));
        EXPECT_EQ(0u, dword_at(t, item.offset + 4));
        EXPECT_EQ(item.x, word_at(t, item.offset + 8));
        EXPECT_EQ(item.y, word_at(t, item.offset + 10));
        EXPECT_EQ(item.cx, word_at(t, item.offset + 12));
        EXPECT_EQ(item.cy, word_at(t, item.offset + 14));
        EXPECT_EQ(item.id, word_at(t, item.offset + 16));
        EXPECT_EQ(0xFFFF, word_at(t, item.offset + 18));
        EXPECT_EQ(item.atom, word_at(t, item.offset + 20));
    }
    EXPECT_EQ(0, word_at(t, 66)) << "empty edit title";
    EXPECT_EQ(0, word_at(t, 68));
    EXPECT_EQ(std::string("Okay") + '\0', text_at(t, 94, 5));
    EXPECT_EQ(0, word_at(t, 104));
    EXPECT_EQ("Name?" + std::string(74, ' ') + '\0', text_at(t, 130, 80));
    EXPECT_EQ(0, word_at(t, 290));
}

TEST(GetsTemplate, PromptFieldIsAlwaysSeventyNineUnits) {
    uint8_t t[win32::GETS_TEMPLATE_SIZE];
    win32::build_gets_template("", t);
    EXPECT_EQ(std::string(79, ' ') + '\0', text_at(t, 130, 80));
    const std::string exact(79, 'p');
    win32::build_gets_template(exact.c_str(), t);
    EXPECT_EQ(exact + '\0', text_at(t, 130, 80));
    std::string hundred;
    for (int i = 0; i < 100; i++)
        hundred += static_cast<char>('a' + i % 26);
    win32::build_gets_template(hundred.c_str(), t);
    EXPECT_EQ(hundred.substr(0, 79) + '\0', text_at(t, 130, 80));
    EXPECT_EQ(0, word_at(t, 290));
}

TEST(GetsDialog, EnterConfirmsWhatWasTyped) {
    start_runtime();
    g_typed = "hello, world";
    char answer[GETS_ANSWER_SIZE] = "unchanged";
    EXPECT_EQ(1, ask("Your greeting?", answer));
    EXPECT_STREQ("hello, world", answer);
    EXPECT_EQ(answer, g_gets_target);
}

TEST(GetsDialog, EmptyAnswerWithTheOkayButton) {
    start_runtime();
    g_typed = "";
    g_click_okay = true;
    char answer[GETS_ANSWER_SIZE] = "unchanged";
    EXPECT_EQ(1, ask("Nothing?", answer));
    EXPECT_STREQ("", answer);
}

TEST(GetsDialog, LongAnswersAreCutAndEscapeLeavesTheDialogOpen) {
    start_runtime();
    g_typed = std::string(300, 'z');
    g_press_escape_first = true;
    char answer[GETS_ANSWER_SIZE + 16];
    memset(answer, '#', sizeof answer);
    EXPECT_EQ(1, ask("Long?", answer));
    EXPECT_EQ(std::string(255, 'z'), std::string(answer));
    EXPECT_EQ('#', answer[GETS_ANSWER_SIZE]) << "written past the 256-byte answer";
}
