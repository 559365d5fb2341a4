// The program under replay: started in its working folder, found by its graphics window, driven
// through that window's own key handling, watched until its playback has ended, and ended as the
// Quit command would end it.
#include "replay.h"

#include <string>

// ---- Constants ----

namespace {

const char GRAPHICS_CLASS[] = "DrawWndClass";
const char GRAPHICS_TITLE[] = "ZEPHA Graphics";
constexpr DWORD POLL_MS = 1; // pause between two looks at a condition

// ---- Internal functions ----

HWND find_graphics_window(DWORD process_id) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, GRAPHICS_CLASS, GRAPHICS_TITLE)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process_id && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

// The key message's lParam: one press, the key's scan code, and for a release the previous-state
// and transition bits.
LPARAM key_lparam(UINT key, bool release) {
    const LPARAM scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    return 1 | (scan << 16) | (release ? (LPARAM{1} << 30) | (LPARAM{1} << 31) : 0);
}

// True while some process holds the file open for reading: an open that refuses to share
// reading then fails with a sharing violation. The probe is closed at once.
bool file_open_for_reading(const char *path) {
    HANDLE probe = CreateFileA(path, GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

// Asks the window to repaint and waits until its paint has begun, which validates the update
// region. The program's queue hands out a paint only when it holds no posted message.
Wait wait_for_paint(Program &program, const Deadline &deadline) {
    InvalidateRect(program.window, nullptr, FALSE);
    while (GetUpdateRect(program.window, nullptr, FALSE)) {
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        Sleep(POLL_MS);
    }
    return Wait::DONE;
}

} // namespace

// ---- Public functions ----

bool start_program(const char *exe_path, const char *folder, Program &program) {
    program = Program{};
    std::string command_line = std::string("\"") + exe_path + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(exe_path, &command_line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, folder, &startup, &program.process))
        return false;
    // A job that ends with the tool takes the program with it when the tool is stopped.
    program.job = CreateJobObjectA(nullptr, nullptr);
    if (program.job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(program.job, JobObjectExtendedLimitInformation, &limits,
                                sizeof limits);
        AssignProcessToJobObject(program.job, program.process.hProcess);
    }
    program.started_ms = precise_ms();
    ResumeThread(program.process.hThread);
    return true;
}

bool program_ended(const Program &program) {
    return WaitForSingleObject(program.process.hProcess, 0) == WAIT_OBJECT_0;
}

// The program runs in short steps, and between two steps, with the program held, the tool looks
// for its graphics window. Ctrl+P is queued, still with the program held, at the first look that
// finds the window shown: late_ms is the time since the previous look, which did not find it.
Wait start_playback_at_window(Program &program, const Deadline &deadline, double &late_ms) {
    double previous_look = program.started_ms;
    for (;;) {
        {
            const ProgramHeld held(program);
            const double look = precise_ms();
            program.window = find_graphics_window(program.process.dwProcessId);
            if (program.window != nullptr) {
                press_ctrl_key(program.window, 'P');
                late_ms = precise_ms() - previous_look;
                return Wait::DONE;
            }
            previous_look = look;
        }
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        Sleep(POLL_MS);
    }
}

// Sent, not posted: the window procedure gets the four messages in order and untranslated, so
// the letter makes no character message that could arrive after Ctrl is up.
void press_ctrl_key(HWND window, char letter) {
    const UINT key = static_cast<UINT>(letter);
    SendNotifyMessageA(window, WM_KEYDOWN, VK_CONTROL, key_lparam(VK_CONTROL, false));
    SendNotifyMessageA(window, WM_KEYDOWN, key, key_lparam(key, false));
    SendNotifyMessageA(window, WM_KEYUP, key, key_lparam(key, true));
    SendNotifyMessageA(window, WM_KEYUP, VK_CONTROL, key_lparam(VK_CONTROL, true));
}

// Messages sent to one window are handled in the order sent, so once this one is answered,
// every earlier one has been handled.
Wait wait_until_handled(Program &program, const Deadline &deadline) {
    DWORD_PTR result = 0;
    while (!SendMessageTimeoutA(program.window, WM_NULL, 0, 0, SMTO_NORMAL, 50, &result)) {
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
    }
    return Wait::DONE;
}

// Playback opens the script at its first replayed event and closes it when the playback ends by
// itself (at the end of the file or at a line it cannot read). The open must not be disturbed:
// a probe handle open at that moment would make it fail. So the probing starts only once the
// program is known to have passed the turn of its wait loop that started playback, and with it
// the open: a posted message, then two paints after it. The program takes one posted message
// per turn, and paints only when no posted message is waiting, so the second paint comes in a
// later turn than the one that handled Ctrl+P, whose playback step has opened the file.
Wait wait_for_playback_end(Program &program, const char *script_path, const Deadline &deadline) {
    PostMessageA(program.window, WM_NULL, 0, 0);
    for (int paint = 0; paint < 2; paint++) {
        const Wait painted = wait_for_paint(program, deadline);
        if (painted != Wait::DONE)
            return painted;
    }
    while (file_open_for_reading(script_path)) {
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        Sleep(POLL_MS);
    }
    return program_ended(program) ? Wait::PROGRAM_ENDED : Wait::DONE;
}

Wait end_program(Program &program, const Deadline &deadline, DWORD &exit_status) {
    press_ctrl_key(program.window, 'Q');
    const DWORD waited = WaitForSingleObject(program.process.hProcess, deadline.remaining_ms());
    if (waited != WAIT_OBJECT_0)
        return Wait::TIMED_OUT;
    GetExitCodeProcess(program.process.hProcess, &exit_status);
    return Wait::DONE;
}

void kill_program(Program &program) {
    if (program.process.hProcess == nullptr)
        return;
    if (!program_ended(program)) {
        TerminateProcess(program.process.hProcess, 1);
        WaitForSingleObject(program.process.hProcess, INFINITE);
    }
    CloseHandle(program.process.hThread);
    CloseHandle(program.process.hProcess);
    if (program.job != nullptr)
        CloseHandle(program.job);
    program = Program{};
}
