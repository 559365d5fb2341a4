// Shared by the Win32 parts of zepha_replay: the program under replay, its debug watch, the
// picture of its graphics window, and files and text in UTF-16.
#pragma once

#include <windows.h>

#include "tools/replay/core/png_codec.h"
#include "tools/replay/core/replay_host.h"

#include <cstdint>
#include <string>
#include <vector>

// ---- Types ----

// The milliseconds left before the deadline, for the waits of the Win32 API.
inline DWORD wait_ms(const Deadline &deadline) {
    return static_cast<DWORD>(deadline.remaining_ms());
}

// One run of the program being replayed. The tool debugs it, from a thread of its own that
// started it, so that an exception the program does not handle reaches the tool at once
// instead of a crash dialog that keeps the program alive.
struct Program {
    PROCESS_INFORMATION process = {}; // its process and main thread
    HANDLE job = nullptr;     // ends the program, and what it started, with the replay or the tool
    HANDLE watcher = nullptr; // the thread that started it and takes its debug events
    LONG exception = 0;       // the code of the exception that ended it, or 0 (Interlocked access)
    HWND window = nullptr;    // its graphics window, once shown
    double started_ms = 0;    // precise_ms() when its main thread was let run
};

// Stops the program's main thread, which runs the runtime's windows, for as long as it lives.
class ProgramHeld {
  public:
    explicit ProgramHeld(const Program &program) : thread_(program.process.hThread) {
        held_ = SuspendThread(thread_) != static_cast<DWORD>(-1);
        if (held_) {
            // Returns only once the thread has really stopped.
            CONTEXT context = {};
            context.ContextFlags = CONTEXT_CONTROL;
            GetThreadContext(thread_, &context);
        }
    }
    ~ProgramHeld() {
        if (held_)
            ResumeThread(thread_);
    }
    ProgramHeld(const ProgramHeld &) = delete;
    ProgramHeld &operator=(const ProgramHeld &) = delete;

  private:
    HANDLE thread_;
    bool held_ = false;
};

// The answers still to be typed into text-entry dialogs, in order.
struct Answers {
    std::vector<std::wstring> texts;
    size_t next = 0;
    bool left() const { return next < texts.size(); }
};

// ---- Functions ----

// The program (replay_program.cpp)
// A job object that ends its processes when its last handle is closed; with a memory limit
// (--sandbox), also at most that much committed memory a process and SANDBOX_PROCESSES
// processes at a time, or none at all (nullptr, GetLastError says why).
HANDLE make_program_job(unsigned long long memory_limit);
// Starts the program in its job; with a memory limit, not at all when it cannot be put there.
bool start_program(const std::wstring &exe_path, const std::wstring &folder,
                   unsigned long long memory_limit, Program &program);
Wait start_playback_at_window(Program &program, const Deadline &deadline, double &late_ms);
void press_ctrl_key(HWND window, char letter); // queues Ctrl+letter, returns at once
Wait wait_until_handled(Program &program, const Deadline &deadline); // every message sent so far
// Waits until playback has ended, answering the program's text-entry dialogs meanwhile. With
// NO_ANSWER, `prompt` holds the prompt of the dialog that found no answer left.
Wait wait_for_playback_end(Program &program, const std::wstring &script_path,
                           const Deadline &deadline, Answers &answers, std::wstring &prompt);
bool program_ended(const Program &program);
Wait end_program(Program &program, const Deadline &deadline, DWORD &exit_status);
void kill_program(Program &program);

// The picture (replay_picture.cpp)
Wait take_picture(Program &program, const Deadline &deadline, RgbPicture &picture);
void lower_window(HWND window); // below every other window, so it covers none

// Files and text (win32_text.cpp)
std::wstring wide(const std::string &utf8);       // empty for text that is not UTF-8
std::string utf8(const std::wstring &text);       // empty for text that is not UTF-16
std::wstring full_path(const std::wstring &path); // empty when it has none
bool is_file(const std::wstring &path);
bool read_file(const std::wstring &path, std::string &bytes);
// Written under a temporary name beside the target and renamed over it when complete, so that
// a failure leaves no partial file and the earlier file as it was.
bool write_file_replacing(const std::wstring &path, const std::vector<uint8_t> &bytes);
void remove_tree(const std::wstring &folder);
// One line on standard error after the tool's name: UTF-16 to a console, UTF-8 to a file or
// pipe. A batch's worker reports through its result record alone, quietly.
void report_line(const std::string &utf8_line);
void report_quietly();
