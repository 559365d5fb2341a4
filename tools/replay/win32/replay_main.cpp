// zepha_replay on Win32: plays a script into a program built on the ZEPHA runtime and saves what
// its graphics window shows at the end as a PNG file, compared with an expected picture if one
// is given; or runs a list of such replays side by side and writes results.csv.
//
// The replay itself is the core's (tools/replay/core/replay_session.cpp), as natively. This file
// is the Windows system under it (files with UTF-16 paths, lines, a batch's workers) and the
// Win32 host, which starts, watches, drives and pictures the program through the Win32 API
// (replay_program.cpp, replay_picture.cpp).
#include "tools/replay/win32/replay_win32.h"

#include "tools/replay/core/batch_list.h"
#include "tools/replay/core/replay_options.h"
#include "tools/replay/core/replay_session.h"
#include "tools/replay/core/replay_status.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

// Lets the compiler check the arguments of a printf-style function.
#if defined(__GNUC__)
#define REPLAY_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define REPLAY_PRINTF(fmt, args)
#endif

// ---- Constants ----

namespace {

// One lock for every replay on this desktop: the picture is read from the screen, so only the
// replay that holds the lock raises its window and reads it.
const wchar_t SCREEN_LOCK_NAME[] = L"Local\\zepha-replay-screen";
// The longest one replay holds the screen for its picture, so that a window that cannot be
// read costs the other replays waiting for the screen no more than this.
constexpr DWORD PICTURE_LIMIT_MS = 15000;
// If a replay is still not over this long after its timeout (a call into the window system
// that never returns), the tool ends the program and itself. Longer than the waits that may
// follow the timeout: for the program to end after it, and for its debug watch.
constexpr DWORD WATCHDOG_GRACE_MS = 10000;
// A batch's worker that outlives its own watchdog by this much is ended by the batch.
constexpr DWORD WORKER_GRACE_MS = 30000;
constexpr DWORD KILL_WAIT_MS = 5000; // the end of a worker after TerminateProcess

// ---- Internal functions ----

REPLAY_PRINTF(1, 2) std::string text(const char *format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

const char *exception_name(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "access violation";
    case EXCEPTION_STACK_OVERFLOW: return "stack overflow";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "integer division by zero";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "illegal instruction";
    case EXCEPTION_BREAKPOINT: return "breakpoint";
    case 0xC0000409: return "stack buffer overrun or fast fail";
    case 0x40000015: return "abort";
    default: return "exception";
    }
}

bool is_absolute(const std::string &path) {
    return (path.size() >= 2 && path[1] == ':') ||
           (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// One argument quoted so that the program's own command-line parsing gives it back as it is.
std::wstring quoted(const std::wstring &argument) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            backslashes++;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

// ---- Types ----

// Ends the program and the tool if the replay is not over in time, whatever call it is in.
class Watchdog {
  public:
    Watchdog(const Program &program, const std::wstring &folder, const std::wstring &result_file,
             DWORD milliseconds)
        : program_(program), folder_(folder), result_file_(result_file), ms_(milliseconds) {
        done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (done_ != nullptr)
            thread_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
    }
    ~Watchdog() {
        if (thread_ != nullptr) {
            SetEvent(done_);
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        if (done_ != nullptr)
            CloseHandle(done_);
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

  private:
    static DWORD WINAPI watch(void *parameter) {
        Watchdog &self = *static_cast<Watchdog *>(parameter);
        if (WaitForSingleObject(self.done_, self.ms_) != WAIT_TIMEOUT)
            return 0;
        const HANDLE process = self.program_.process.hProcess;
        if (process != nullptr) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
        }
        remove_tree(self.folder_);
        ReplayResult result;
        result.status = STATUS_FAILED;
        result.message = "the replay did not finish within its timeout and " +
                         std::to_string(self.ms_ / 1000) + " s; the program is ended";
        report_line(result.message);
        if (!self.result_file_.empty()) {
            const std::string record = format_result_record(result);
            write_file_replacing(self.result_file_,
                                 std::vector<uint8_t>(record.begin(), record.end()));
        }
        ExitProcess(STATUS_FAILED);
    }

    const Program &program_;
    std::wstring folder_, result_file_;
    DWORD ms_;
    HANDLE done_ = nullptr;
    HANDLE thread_ = nullptr;
};

// Holds the screen for one replay's picture, for as long as the deadline allows waiting for it.
class ScreenLock {
  public:
    explicit ScreenLock(const Deadline &deadline) {
        mutex_ = CreateMutexW(nullptr, FALSE, SCREEN_LOCK_NAME);
        if (mutex_ == nullptr)
            return;
        // An abandoned lock, left by a replay that was ended, is this one's all the same.
        const DWORD waited = WaitForSingleObject(mutex_, wait_ms(deadline));
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~ScreenLock() {
        if (owned_)
            ReleaseMutex(mutex_);
        if (mutex_ != nullptr)
            CloseHandle(mutex_);
    }
    ScreenLock(const ScreenLock &) = delete;
    ScreenLock &operator=(const ScreenLock &) = delete;
    bool owned() const { return owned_; }

  private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

// Files with UTF-16 paths, lines on the console or a pipe, and a batch's workers as processes.
class Win32System : public ReplaySystem {
  public:
    ScriptTextMode script_text_mode() const override { return ScriptTextMode::WINDOWS_TEXT; }

    std::string existing_file(const std::string &path) override {
        const std::wstring full = full_path(wide(path));
        return full.empty() || !is_file(full) ? std::string() : utf8(full);
    }

    std::string output_path(const std::string &path) override {
        return utf8(full_path(wide(path)));
    }

    bool read_file(const std::string &path, std::string &bytes) override {
        return ::read_file(wide(path), bytes);
    }

    bool write_file(const std::string &path, const std::string &bytes) override {
        return write_file_replacing(wide(path), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }

    void remove_file(const std::string &path) override { DeleteFileW(wide(path).c_str()); }

    std::string make_work_folder() override {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        if (length == 0 || length > MAX_PATH)
            return std::string();
        for (unsigned n = 0; n < 1000; n++) {
            const std::wstring name = std::wstring(temp) + L"zepha-replay-" +
                                      std::to_wstring(GetCurrentProcessId()) + L"-" +
                                      std::to_wstring(n);
            if (CreateDirectoryW(name.c_str(), nullptr))
                return utf8(name);
            if (GetLastError() != ERROR_ALREADY_EXISTS)
                return std::string();
        }
        return std::string();
    }

    void remove_folder(const std::string &path) override { remove_tree(wide(path)); }

    std::string make_folder(const std::string &path) override {
        const std::wstring full = full_path(wide(path));
        if (full.empty() ||
            (!CreateDirectoryW(full.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS))
            return std::string();
        return utf8(full);
    }

    std::string folder_of(const std::string &path) override {
        return path.substr(0, path.find_last_of("\\/"));
    }

    std::string join(const std::string &folder, const std::string &path) override {
        return is_absolute(path) ? path : folder + "\\" + path;
    }

    std::string last_error() override { return text("error %lu", GetLastError()); }

    void report(const std::string &line) override { report_line(line); }

    void print(const std::string &line) override {
        printf("%s\n", line.c_str());
        fflush(stdout);
    }

    unsigned processors() override {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        return std::max<DWORD>(1, system.dwNumberOfProcessors);
    }

    double worker_grace_ms() override { return WATCHDOG_GRACE_MS + WORKER_GRACE_MS; }

    WorkerId start_worker(const std::vector<std::string> &arguments) override {
        wchar_t self[32768];
        if (GetModuleFileNameW(nullptr, self, 32768) == 0)
            return -1;
        std::wstring command = quoted(self);
        for (const std::string &argument : arguments)
            command += L" " + quoted(wide(argument));
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
            return -1;
        CloseHandle(process.hThread);
        workers_[process.dwProcessId] = process.hProcess;
        return static_cast<WorkerId>(process.dwProcessId);
    }

    void wait_for_workers(const std::vector<WorkerId> &workers, double ms) override {
        std::vector<HANDLE> handles;
        for (WorkerId worker : workers)
            handles.push_back(workers_[worker]);
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                               static_cast<DWORD>(ms));
    }

    bool worker_ended(WorkerId worker, int &status) override {
        if (WaitForSingleObject(workers_[worker], 0) != WAIT_OBJECT_0)
            return false;
        status = close_worker(worker);
        return true;
    }

    int end_worker(WorkerId worker) override {
        TerminateProcess(workers_[worker], STATUS_FAILED);
        WaitForSingleObject(workers_[worker], KILL_WAIT_MS);
        return close_worker(worker);
    }

  private:
    int close_worker(WorkerId worker) {
        DWORD status = STATUS_FAILED;
        GetExitCodeProcess(workers_[worker], &status);
        CloseHandle(workers_[worker]);
        workers_.erase(worker);
        return static_cast<int>(status);
    }

    std::map<WorkerId, HANDLE> workers_; // running workers' processes, by their ids
};

// The program on Windows: started under the tool's debug watch, found by its graphics window,
// driven through that window's own key handling, pictured from the screen.
class Win32Host : public ReplayHost {
  public:
    std::string prepare() override { return std::string(); }

    Started start(const ReplayRun &run) override {
        if (watchdog_ == nullptr)
            watchdog_ =
                std::make_unique<Watchdog>(program_, wide(run.folder), wide(run.result_file),
                                           run.timeout_s * 1000 + WATCHDOG_GRACE_MS);
        script_ = wide(run.script);
        answers_ = Answers{};
        for (const std::string &answer : run.answers)
            answers_.texts.push_back(wide(answer));
        if (start_program(wide(run.program), wide(run.folder), run.sandbox ? run.memory : 0,
                          program_))
            return Started::YES;
        if (run.sandbox) {
            detail_ = text("the sandbox cannot be set up: %s cannot be put in its job object "
                           "(error %lu)",
                           run.program.c_str(), GetLastError());
            return Started::NO_SANDBOX;
        }
        // A start can fail for a reason of the moment (under Wine, now and then, in the new
        // process's loader): every failure is worth another try.
        const DWORD error = GetLastError();
        detail_ = text("cannot start %s (error %lu)", run.program.c_str(), error);
        return Started::NOT_NOW;
    }

    Wait start_playback(const Deadline &deadline, double &late_ms) override {
        return start_playback_at_window(program_, deadline, late_ms);
    }

    Wait wait_for_playback(const Deadline &deadline) override {
        std::wstring prompt;
        Wait ended = wait_until_handled(program_, deadline);
        if (ended == Wait::DONE)
            ended = wait_for_playback_end(program_, script_, deadline, answers_, prompt);
        detail_ = utf8(prompt);
        return ended;
    }

    // The picture is read from the screen, which one replay on the desktop holds at a time.
    Wait take_picture(const Deadline &deadline, Picture &picture) override {
        const ScreenLock screen(deadline);
        if (!screen.owned())
            return Wait::TIMED_OUT;
        const Deadline limit(std::min(wait_ms(deadline), PICTURE_LIMIT_MS));
        const Wait pictured = ::take_picture(program_, limit, picture.pixels);
        lower_window(program_.window);
        return pictured;
    }

    Wait quit(const Deadline &deadline, ProgramEnd &end) override {
        DWORD exit_status = 0;
        const Wait quit = end_program(program_, deadline, exit_status);
        end.status = static_cast<int>(exit_status);
        return quit;
    }

    void kill() override { kill_program(program_); }

    std::string ended_line() override {
        const DWORD code = static_cast<DWORD>(
            InterlockedCompareExchange(const_cast<LONG *>(&program_.exception), 0, 0));
        if (code != 0)
            return text("the program crashed with exception 0x%08lX (%s) before the picture was "
                        "taken",
                        code, exception_name(code));
        DWORD status = 0;
        GetExitCodeProcess(program_.process.hProcess, &status);
        return text("the program ended by itself, with status %lu (0x%08lX), before the picture "
                    "was taken",
                    status, status);
    }

    std::string detail() const override { return detail_; }

  private:
    Program program_; // before the watchdog, which watches it until it ends
    std::unique_ptr<Watchdog> watchdog_;
    std::wstring script_;
    Answers answers_;
    std::string detail_;
};

} // namespace

// ---- Entry ----

int wmain(int argc, wchar_t **argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; i++) {
        args.push_back(utf8(argv[i]));
        if (args.back().empty() && argv[i][0] != L'\0') {
            report_line("an argument is not valid Unicode");
            return STATUS_USAGE;
        }
    }
    ReplayOptions options;
    std::string error;
    if (parse_replay_arguments(args, options, error) &&
        (options.headless || !options.frames.empty())) {
        error = "--headless and --frames are for natively built programs (the native "
                "zepha_replay)";
    }
    if (!error.empty()) {
        fprintf(stderr, "error: %s\n\n", error.c_str());
        fputs(REPLAY_USAGE, stderr);
        return STATUS_USAGE;
    }
    Win32System system;
    // A job object with the sandbox's limits, tried once before any program starts.
    if (options.sandbox) {
        const HANDLE job = make_program_job(options.memory);
        if (job == nullptr) {
            report_line(text("the sandbox cannot be set up: no job object with its limits "
                             "(error %lu)",
                             GetLastError()));
            return STATUS_NO_SANDBOX;
        }
        CloseHandle(job);
    }
    switch (options.mode) {
    case ReplayOptions::Mode::HELP: fputs(REPLAY_USAGE, stdout); return 0;
    case ReplayOptions::Mode::BATCH: return run_batch(system, options);
    case ReplayOptions::Mode::ONE: break;
    }
    if (!options.result_file.empty())
        report_quietly();
    Win32Host host;
    return run_one_replay(system, host, options);
}
