// The program under replay: started in its working folder and debugged from a thread of the
// tool's own, found by its graphics window, driven through that window's own key handling,
// watched until its playback has ended (its text-entry dialogs answered meanwhile), and ended
// as the Quit command would end it. The tool touches no window but this program's.
#include "tools/replay/win32/replay_win32.h"

#include "tools/replay/core/replay_options.h"

// ---- Constants ----

namespace {

const wchar_t GRAPHICS_CLASS[] = L"DrawWndClass";
const wchar_t GRAPHICS_TITLE[] = L"ZEPHA Graphics";
const wchar_t DIALOG_CLASS[] = L"#32770"; // the platform's dialog class
const wchar_t DIALOG_TITLE[] = L"ZEPHA_gets";
constexpr int DIALOG_EDIT_ID = 102;
constexpr int DIALOG_PROMPT_ID = 103;
constexpr DWORD POLL_MS = 1;         // pause between two looks at a condition
constexpr DWORD SENT_WAIT_MS = 50;   // one try at a message sent to the program
constexpr DWORD KILL_WAIT_MS = 5000; // the end of a process after TerminateProcess

// ---- Types ----

// What the watcher thread is given and hands back once the program is started.
struct Start {
    std::wstring exe, folder;
    Program *program;
    HANDLE started; // set once the program has been started, or could not be
    bool ok = false;
    DWORD error = 0;
};

// ---- Internal functions ----

// Starts the program under the debugger and takes its debug events until it has ended. A first
// exception goes back to the program's own handlers; one that none of them handles ends the
// program at once with the exception's code as its status.
DWORD WINAPI watch_program(void *parameter) {
    Start &start = *static_cast<Start *>(parameter);
    Program &program = *start.program;
    std::wstring command_line = L"\"" + start.exe + L"\"";
    // Shown without being activated: activating a window sends the window that was active
    // before, another replay's program perhaps, a message and waits for it to be handled.
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    start.ok = CreateProcessW(start.exe.c_str(), &command_line[0], nullptr, nullptr, FALSE,
                              CREATE_SUSPENDED | DEBUG_ONLY_THIS_PROCESS, nullptr,
                              start.folder.c_str(), &startup, &program.process) != 0;
    start.error = start.ok ? 0 : GetLastError();
    const HANDLE process = program.process.hProcess;
    SetEvent(start.started); // `start` is not touched after this
    if (process == nullptr)
        return 0;
    bool loader_breakpoint = true;
    for (;;) {
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, INFINITE))
            return 0;
        DWORD handling = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile != nullptr)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile != nullptr)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXCEPTION_DEBUG_EVENT: {
            const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
            if (event.u.Exception.dwFirstChance) {
                // The loader's breakpoint, which starts every debugged program, is the tool's.
                if (!(loader_breakpoint && code == EXCEPTION_BREAKPOINT))
                    handling = DBG_EXCEPTION_NOT_HANDLED;
                loader_breakpoint = false;
            } else {
                InterlockedExchange(&program.exception, static_cast<LONG>(code));
                TerminateProcess(process, code);
            }
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            return 0;
        default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, handling);
    }
}

// The program's shown top-level window of that class and title: looked up by class, its title
// read from what the window system keeps, which asks the program nothing (it may be held).
HWND find_window_of(DWORD process_id, const wchar_t *window_class, const wchar_t *title) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, window_class, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != process_id || !IsWindowVisible(window))
            continue;
        wchar_t text[64] = {};
        InternalGetWindowText(window, text, 64);
        if (wcscmp(text, title) == 0)
            return window;
    }
    return nullptr;
}

// The scan codes of the keys the tool presses, on the PC keyboard. Fixed rather than asked of the
// window system, which under Wine asks the X server: the keys are pressed with the program held,
// and while it is held the tool makes no call that could wait on what the program was doing.
LPARAM scan_code(UINT key) {
    switch (key) {
    case VK_CONTROL: return 0x1D;
    case VK_RETURN: return 0x1C;
    case 'P': return 0x19;
    case 'Q': return 0x10;
    default: return 0;
    }
}

// The key message's lParam: one press, the key's scan code, and for a release the previous-state
// and transition bits.
LPARAM key_lparam(UINT key, bool release) {
    const LPARAM scan = scan_code(key);
    return 1 | (scan << 16) | (release ? (LPARAM{1} << 30) | (LPARAM{1} << 31) : 0);
}

// True while some process holds the file open for reading: an open that refuses to share
// reading then fails with a sharing violation. The probe is closed at once.
bool file_open_for_reading(const std::wstring &path) {
    HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

// The dialog's prompt, without the spaces it is padded with; asked with a bounded wait, since
// reading another program's window text sends it a message.
std::wstring dialog_prompt(HWND dialog) {
    HWND prompt = GetDlgItem(dialog, DIALOG_PROMPT_ID);
    wchar_t text[128] = {};
    DWORD_PTR result = 0;
    if (prompt != nullptr)
        SendMessageTimeoutW(prompt, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, 200, &result);
    std::wstring prompt_text = text;
    while (!prompt_text.empty() && prompt_text.back() == L' ')
        prompt_text.pop_back();
    return prompt_text;
}

// Types the answer into the dialog's edit control as a user would, one character after the
// other, and presses Enter, which the dialog takes as its default button. Posted, so that the
// dialog's own loop handles them in order, as it handles typed keys.
void type_answer(HWND dialog, const std::wstring &answer) {
    HWND edit = GetDlgItem(dialog, DIALOG_EDIT_ID);
    if (edit == nullptr)
        edit = dialog;
    for (wchar_t c : answer)
        PostMessageW(edit, WM_CHAR, c, 1);
    PostMessageW(edit, WM_KEYDOWN, VK_RETURN, key_lparam(VK_RETURN, false));
    PostMessageW(edit, WM_KEYUP, VK_RETURN, key_lparam(VK_RETURN, true));
}

// Waits until the program has turned its wait loop since the last message the tool sent, so
// that its playback has opened the script if it is going to: a posted message, then two paints
// after it. The program takes one posted message per turn, and paints only when no posted
// message is waiting, so the second paint comes in a later turn than the one that handled the
// tool's messages, whose playback step has opened the file.
Wait wait_for_turns(Program &program, const Deadline &deadline) {
    PostMessageW(program.window, WM_NULL, 0, 0);
    for (int paint = 0; paint < 2; paint++) {
        const Wait painted = wait_for_paint(program, deadline);
        if (painted != Wait::DONE)
            return painted;
    }
    return Wait::DONE;
}

} // namespace

// ---- Public functions ----

HANDLE make_program_job(unsigned long long memory_limit) {
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr)
        return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (memory_limit != 0) {
        limits.BasicLimitInformation.LimitFlags |=
            JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_ACTIVE_PROCESS;
        limits.ProcessMemoryLimit = static_cast<SIZE_T>(memory_limit);
        limits.BasicLimitInformation.ActiveProcessLimit = SANDBOX_PROCESSES;
    }
    // Without limits the job is a help, not a promise: the program runs without it.
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
        memory_limit != 0) {
        const DWORD error = GetLastError();
        CloseHandle(job);
        SetLastError(error);
        return nullptr;
    }
    return job;
}

bool start_program(const std::wstring &exe_path, const std::wstring &folder,
                   unsigned long long memory_limit, Program &program) {
    program = Program{};
    Start start;
    start.exe = exe_path;
    start.folder = folder;
    start.program = &program;
    start.started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (start.started == nullptr)
        return false;
    program.watcher = CreateThread(nullptr, 0, watch_program, &start, 0, nullptr);
    if (program.watcher == nullptr) {
        CloseHandle(start.started);
        return false;
    }
    WaitForSingleObject(start.started, INFINITE);
    CloseHandle(start.started);
    if (!start.ok) {
        WaitForSingleObject(program.watcher, INFINITE);
        CloseHandle(program.watcher);
        program.watcher = nullptr;
        SetLastError(start.error);
        return false;
    }
    // Put in its job before its first instruction, so that every process it starts is in it.
    program.job = make_program_job(memory_limit);
    const bool in_job =
        program.job != nullptr && AssignProcessToJobObject(program.job, program.process.hProcess);
    if (memory_limit != 0 && !in_job) {
        const DWORD error = GetLastError();
        kill_program(program);
        SetLastError(error);
        return false;
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
            program.window =
                find_window_of(program.process.dwProcessId, GRAPHICS_CLASS, GRAPHICS_TITLE);
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
    SendNotifyMessageW(window, WM_KEYDOWN, VK_CONTROL, key_lparam(VK_CONTROL, false));
    SendNotifyMessageW(window, WM_KEYDOWN, key, key_lparam(key, false));
    SendNotifyMessageW(window, WM_KEYUP, key, key_lparam(key, true));
    SendNotifyMessageW(window, WM_KEYUP, VK_CONTROL, key_lparam(VK_CONTROL, true));
}

// Messages sent to one window are handled in the order sent, so once this one is answered,
// every earlier one has been handled.
Wait wait_until_handled(Program &program, const Deadline &deadline) {
    DWORD_PTR result = 0;
    while (
        !SendMessageTimeoutW(program.window, WM_NULL, 0, 0, SMTO_NORMAL, SENT_WAIT_MS, &result)) {
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
// program is known to have passed the turn of its wait loop that started playback, and again
// after each text-entry dialog, during which the wait loop does not run.
Wait wait_for_playback_end(Program &program, const std::wstring &script_path,
                           const Deadline &deadline, Answers &answers, std::wstring &prompt) {
    const DWORD id = program.process.dwProcessId;
    bool turned = false; // the wait loop has turned since the last dialog
    HWND answered = nullptr;
    for (;;) {
        HWND dialog = find_window_of(id, DIALOG_CLASS, DIALOG_TITLE);
        if (dialog != nullptr && dialog != answered) {
            if (!answers.left()) {
                prompt = dialog_prompt(dialog);
                return Wait::NO_ANSWER;
            }
            type_answer(dialog, answers.texts[answers.next++]);
            answered = dialog;
            turned = false;
        } else if (dialog == nullptr && !turned) {
            answered = nullptr;
            const Wait waited = wait_for_turns(program, deadline);
            if (waited != Wait::DONE)
                return waited;
            turned = true;
            continue; // a dialog may have opened meanwhile
        } else if (dialog == nullptr && !file_open_for_reading(script_path)) {
            return program_ended(program) ? Wait::PROGRAM_ENDED : Wait::DONE;
        }
        if (program_ended(program))
            return Wait::PROGRAM_ENDED;
        if (deadline.passed())
            return Wait::TIMED_OUT;
        Sleep(POLL_MS);
    }
}

Wait end_program(Program &program, const Deadline &deadline, DWORD &exit_status) {
    press_ctrl_key(program.window, 'Q');
    const DWORD waited = WaitForSingleObject(program.process.hProcess, wait_ms(deadline));
    if (waited != WAIT_OBJECT_0)
        return Wait::TIMED_OUT;
    GetExitCodeProcess(program.process.hProcess, &exit_status);
    return Wait::DONE;
}

void kill_program(Program &program) {
    if (program.process.hProcess != nullptr) {
        if (!program_ended(program)) {
            TerminateProcess(program.process.hProcess, 1);
            WaitForSingleObject(program.process.hProcess, KILL_WAIT_MS);
        }
        CloseHandle(program.process.hThread);
        CloseHandle(program.process.hProcess);
    }
    if (program.watcher != nullptr) {
        WaitForSingleObject(program.watcher, KILL_WAIT_MS);
        CloseHandle(program.watcher);
    }
    if (program.job != nullptr)
        CloseHandle(program.job);
    program = Program{};
}
