// zepha_replay on Win32: plays a script into a program built on the ZEPHA runtime and saves what
// its graphics window shows at the end as a PNG file, compared with an expected picture if one
// is given; or runs a list of such replays side by side and writes results.csv.
//
// The arguments, the script's report, the PNG files, the comparison and the batch's list and
// results are the platform-free part (tools/replay/core); this file starts, watches, drives and
// pictures the program through the Win32 API, with UTF-16 paths throughout.
#include "tools/replay/win32/replay_win32.h"

#include "tools/replay/core/batch_list.h"
#include "tools/replay/core/picture_compare.h"
#include "tools/replay/core/replay_options.h"
#include "tools/replay/core/replay_outcome.h"
#include "tools/replay/core/replay_status.h"
#include "tools/replay/core/script_report.h"

#include <cstdarg>
#include <cstdio>
#include <string>

// Lets the compiler check the arguments of a printf-style function.
#if defined(__GNUC__)
#define REPLAY_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define REPLAY_PRINTF(fmt, args)
#endif

// ---- Constants ----

namespace {

const wchar_t SCRIPT_FILE_NAME[] = L"ZEPHA.SCR";
// One lock for every replay on this desktop: the picture is read from the screen, so only the
// replay that holds the lock raises its window and reads it.
const wchar_t SCREEN_LOCK_NAME[] = L"Local\\zepha-replay-screen";
// The runtime starts its 100 ms timer just after it shows the graphics window. Ctrl+P queued
// within this many milliseconds of the last look that did not find the window shown is handled
// before the first tick can make a live periodic event (sent messages come before timer
// messages), so the program gets the scripted events and nothing else.
constexpr double START_MARGIN_MS = 90;
constexpr int START_ATTEMPTS = 3;
// Kept back from the playback's share of the timeout for the picture and the Quit command
// after a playback that did not end: this long, or a quarter of the timeout if less.
constexpr DWORD PICTURE_RESERVE_MS = 5000;
// The longest one replay holds the screen for its picture, so that a window that cannot be
// read costs the other replays waiting for the screen no more than this.
constexpr DWORD PICTURE_LIMIT_MS = 15000;
// If a replay is still not over this long after its timeout (a call into the window system
// that never returns), the tool ends the program and itself. Longer than the waits that may
// follow the timeout: for the program to end after it, and for its debug watch.
constexpr DWORD WATCHDOG_GRACE_MS = 10000;
// A batch's worker that outlives its own watchdog by this much is ended by the batch.
constexpr DWORD WORKER_GRACE_MS = 30000;
constexpr DWORD WORKER_POLL_MS = 100;

// ---- Types ----

// The program's new working folder, removed with everything in it when the replay is over.
class WorkFolder {
  public:
    bool create() {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        if (length == 0 || length > MAX_PATH)
            return false;
        for (unsigned n = 0; n < 1000; n++) {
            const std::wstring name = std::wstring(temp) + L"zepha-replay-" +
                                      std::to_wstring(GetCurrentProcessId()) + L"-" +
                                      std::to_wstring(n);
            if (CreateDirectoryW(name.c_str(), nullptr)) {
                path_ = name;
                return true;
            }
            if (GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
        return false;
    }
    ~WorkFolder() {
        if (!path_.empty())
            remove_tree(path_);
    }
    const std::wstring &path() const { return path_; }

  private:
    std::wstring path_;
};

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
        const DWORD waited = WaitForSingleObject(mutex_, deadline.remaining_ms());
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

// ---- Internal functions ----

REPLAY_PRINTF(1, 2) std::string text(const char *format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// Ends the replay with one of the tool's statuses and its line on standard error.
ReplayResult &fail(ReplayResult &result, int status, const std::string &message) {
    result.status = status;
    result.program_own = false;
    result.message = message;
    report_line(message);
    return result;
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

ReplayResult &fail_died(ReplayResult &result, const Program &program) {
    const DWORD code = static_cast<DWORD>(
        InterlockedCompareExchange(const_cast<LONG *>(&program.exception), 0, 0));
    if (code != 0)
        return fail(result, STATUS_PROGRAM_DIED,
                    text("the program crashed with exception 0x%08lX (%s) before the picture "
                         "was taken",
                         code, exception_name(code)));
    DWORD status = 0;
    GetExitCodeProcess(program.process.hProcess, &status);
    return fail(result, STATUS_PROGRAM_DIED,
                text("the program ended by itself, with status %lu (0x%08lX), before the "
                     "picture was taken",
                     status, status));
}

// Starts the program and Ctrl+P, in up to START_ATTEMPTS fresh runs. Returns 0 with playback
// started, or the status to exit with.
int start_playback(const std::wstring &program_path, const WorkFolder &folder,
                   const Deadline &deadline, Program &program, ReplayResult &result) {
    for (int attempt = 1;; attempt++) {
        if (!start_program(program_path, folder.path(), program)) {
            // A start can fail for a reason of the moment (under Wine, now and then, in the new
            // process's loader); a file that is no program fails every attempt.
            const DWORD error = GetLastError();
            if (attempt < START_ATTEMPTS && !deadline.passed())
                continue;
            return fail(result, STATUS_FAILED,
                        text("cannot start %s (error %lu)", utf8(program_path).c_str(), error))
                .status;
        }
        double late_ms = 0;
        switch (start_playback_at_window(program, deadline, late_ms)) {
        case Wait::DONE: break;
        case Wait::PROGRAM_ENDED: return fail_died(result, program).status;
        default:
            return fail(result, STATUS_NO_WINDOW,
                        "no graphics window within the timeout; the program is ended")
                .status;
        }
        if (late_ms <= START_MARGIN_MS)
            return 0;
        // Too late to be sure that no timer tick came first: start the program afresh.
        kill_program(program);
        if (attempt == START_ATTEMPTS || deadline.passed())
            return fail(result, STATUS_FAILED,
                        text("could not start playback within %.0f ms of the graphics window's "
                             "appearance in %d attempts",
                             START_MARGIN_MS, attempt))
                .status;
    }
}

bool write_picture(const std::wstring &path, const RgbPicture &picture) {
    return write_file_replacing(path, encode_png(picture));
}

// Plays the script into the program and ends it; the picture in `picture` once taken.
void play(const std::wstring &program_path, const WorkFolder &folder, const ReplayOptions &options,
          const std::wstring &out, const RgbPicture *expected, ReplayResult &result) {
    const DWORD timeout_ms = options.timeout_s * 1000;
    const Deadline total(timeout_ms);
    Program program;
    const Watchdog watchdog(program, folder.path(), wide(options.result_file),
                            timeout_ms + WATCHDOG_GRACE_MS);
    if (start_playback(program_path, folder, total, program, result) != 0) {
        kill_program(program);
        return;
    }

    Answers answers;
    for (const std::string &answer : options.answers)
        answers.texts.push_back(wide(answer));
    const DWORD reserve = std::min<DWORD>(PICTURE_RESERVE_MS, timeout_ms / 4);
    const Deadline playback = total.less(reserve);
    std::wstring prompt;
    Wait ended = wait_until_handled(program, playback);
    if (ended == Wait::DONE)
        ended = wait_for_playback_end(program, folder.path() + L"\\" + SCRIPT_FILE_NAME, playback,
                                      answers, prompt);
    if (ended == Wait::NO_ANSWER) {
        kill_program(program);
        fail(result, STATUS_NO_ANSWER,
             text("the program opened a text-entry dialog (\"%s\") with no --answer left for it; "
                  "the program is ended",
                  utf8(prompt).c_str()));
        return;
    }
    if (ended == Wait::PROGRAM_ENDED) {
        fail_died(result, program);
        kill_program(program);
        return;
    }
    const bool timed_out = ended == Wait::TIMED_OUT;
    RgbPicture picture;
    Wait pictured = Wait::TIMED_OUT;
    {
        const ScreenLock screen(total);
        if (screen.owned()) {
            const Deadline limit(std::min(total.remaining_ms(), PICTURE_LIMIT_MS));
            pictured = take_picture(program, limit, picture);
            lower_window(program.window);
        }
    }
    if (pictured == Wait::PROGRAM_ENDED) {
        fail_died(result, program);
        kill_program(program);
        return;
    }

    DWORD exit_status = 0;
    const Wait quit = end_program(program, total, exit_status);
    kill_program(program);
    if (timed_out)
        result.picture = pictured == Wait::DONE && write_picture(out, picture);
    if (!replay_completed(timed_out, pictured == Wait::DONE, quit == Wait::DONE, options.timeout_s,
                          result)) {
        report_line(result.message);
        return;
    }
    const std::wstring diff = wide(diff_picture_path(utf8(out)));
    if (expected != nullptr && picture_differs(picture, *expected, options, result)) {
        result.picture = write_picture(out, picture);
        if (write_picture(diff, difference_picture(picture, *expected)))
            note_difference_picture(options, result);
        report_line(result.message);
        return;
    }
    DeleteFileW(diff.c_str()); // one from an earlier run would tell of differences gone now
    result.picture = write_picture(out, picture);
    if (!result.picture) {
        fail(result, STATUS_FAILED, text("cannot write %s", utf8(out).c_str()));
        return;
    }
    result.status = static_cast<int>(exit_status);
    result.program_own = true;
}

// One replay, with every check of its arguments first.
ReplayResult replay(const ReplayOptions &options) {
    ReplayResult result;
    const std::wstring program_path = full_path(wide(options.program));
    if (program_path.empty() || !is_file(program_path))
        return fail(result, STATUS_NOT_FOUND, "cannot find the program " + options.program);
    const std::wstring script_path = full_path(wide(options.script));
    std::string script;
    if (script_path.empty() || !is_file(script_path) || !read_file(script_path, script))
        return fail(result, STATUS_NOT_FOUND, "cannot find the script " + options.script);
    std::string warning;
    if (!take_script_report(options, read_script_report(script, ScriptTextMode::WINDOWS_TEXT),
                            result, warning)) {
        report_line(result.message);
        return result;
    }
    if (!warning.empty())
        report_line(warning);
    RgbPicture expected;
    if (!options.expect.empty()) {
        const std::wstring expect_path = full_path(wide(options.expect));
        std::string bytes;
        std::string error = "cannot read it";
        if (expect_path.empty() || !read_file(expect_path, bytes) ||
            !decode_png(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected, error))
            return fail(result, STATUS_NOT_FOUND,
                        "cannot use the expected picture " + options.expect + ": " + error);
    }
    const std::wstring out = full_path(wide(options.out));
    if (out.empty())
        return fail(result, STATUS_NOT_FOUND, "cannot use the path " + options.out);
    WorkFolder folder;
    if (!folder.create())
        return fail(result, STATUS_FAILED,
                    text("cannot create a working folder (error %lu)", GetLastError()));
    // The copy holds the bytes the report was made from.
    if (!write_file_replacing(folder.path() + L"\\" + SCRIPT_FILE_NAME,
                              std::vector<uint8_t>(script.begin(), script.end())))
        return fail(result, STATUS_FAILED,
                    text("cannot copy %s into the working folder (error %lu)",
                         options.script.c_str(), GetLastError()));
    play(program_path, folder, options, out, options.expect.empty() ? nullptr : &expected, result);
    return result;
}

// ---- Batch ----

bool is_absolute(const std::string &path) {
    return (path.size() >= 2 && path[1] == ':') ||
           (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// A list's paths are taken from the list's own folder.
std::string from_folder(const std::string &folder, const std::string &path) {
    return path.empty() || is_absolute(path) ? path : folder + "\\" + path;
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

struct Worker {
    size_t index;
    PROCESS_INFORMATION process;
    ULONGLONG started;
    std::wstring result_file;
};

int run_batch(const ReplayOptions &options) {
    const std::wstring list_path = full_path(wide(options.list));
    std::string list;
    if (list_path.empty() || !read_file(list_path, list)) {
        report_line("cannot find the list " + options.list);
        return STATUS_NOT_FOUND;
    }
    std::vector<BatchEntry> entries;
    std::string error;
    if (!parse_batch_list(list, entries, error)) {
        report_line(options.list + ": " + error);
        return STATUS_USAGE;
    }
    const std::wstring out_dir = full_path(wide(options.out_dir));
    if (out_dir.empty() ||
        (!CreateDirectoryW(out_dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)) {
        report_line("cannot create the folder " + options.out_dir);
        return STATUS_FAILED;
    }
    const std::string list_folder = utf8(list_path.substr(0, list_path.find_last_of(L"\\/")));
    wchar_t self[32768];
    if (GetModuleFileNameW(nullptr, self, 32768) == 0) {
        report_line("cannot find the tool's own program file");
        return STATUS_FAILED;
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t jobs =
        options.jobs != 0 ? options.jobs : std::max<DWORD>(1, system.dwNumberOfProcessors);
    const ULONGLONG worker_limit =
        options.timeout_s * 1000ull + WATCHDOG_GRACE_MS + WORKER_GRACE_MS;

    std::vector<ReplayResult> results(entries.size());
    std::vector<Worker> running;
    size_t next = 0;
    while (next < entries.size() || !running.empty()) {
        while (running.size() < jobs && next < entries.size()) {
            const BatchEntry &entry = entries[next];
            Worker worker{next++, {}, GetTickCount64(), L""};
            worker.result_file = out_dir + L"\\." + wide(batch_picture_name(entry)) + L".result";
            DeleteFileW(worker.result_file.c_str());
            const BatchEntry paths = {entry.line, from_folder(list_folder, entry.program),
                                      from_folder(list_folder, entry.script),
                                      from_folder(list_folder, entry.expected)};
            std::wstring command = quoted(self);
            for (const std::string &argument :
                 worker_arguments(paths, utf8(out_dir) + "\\" + batch_picture_name(entry), options,
                                  utf8(worker.result_file)))
                command += L" " + quoted(wide(argument));
            STARTUPINFOW startup = {};
            startup.cb = sizeof startup;
            if (!CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                &startup, &worker.process)) {
                results[worker.index].status = STATUS_FAILED;
                results[worker.index].message =
                    text("cannot start a replay (error %lu)", GetLastError());
                continue;
            }
            running.push_back(worker);
        }
        std::vector<HANDLE> handles;
        for (const Worker &worker : running)
            handles.push_back(worker.process.hProcess);
        if (handles.empty())
            continue;
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                               WORKER_POLL_MS);
        for (size_t i = 0; i < running.size();) {
            Worker &worker = running[i];
            const bool over = WaitForSingleObject(worker.process.hProcess, 0) == WAIT_OBJECT_0;
            const bool too_long = GetTickCount64() - worker.started > worker_limit;
            if (!over && !too_long) {
                i++;
                continue;
            }
            if (!over) {
                TerminateProcess(worker.process.hProcess, STATUS_FAILED);
                WaitForSingleObject(worker.process.hProcess, 5000);
            }
            ReplayResult &result = results[worker.index];
            DWORD status = STATUS_FAILED;
            GetExitCodeProcess(worker.process.hProcess, &status);
            std::string record;
            if (!read_file(worker.result_file, record) || !parse_result_record(record, result)) {
                result.status = static_cast<int>(status);
                result.message = "the replay gave no result";
            }
            result.seconds = static_cast<double>(GetTickCount64() - worker.started) / 1000.0;
            DeleteFileW(worker.result_file.c_str());
            CloseHandle(worker.process.hThread);
            CloseHandle(worker.process.hProcess);
            const BatchEntry &entry = entries[worker.index];
            printf("%s\n", batch_progress_line(entry, result).c_str());
            fflush(stdout);
            running.erase(running.begin() + static_cast<long>(i));
        }
    }
    const std::string csv = results_csv(entries, results);
    if (!write_file_replacing(out_dir + L"\\results.csv",
                              std::vector<uint8_t>(csv.begin(), csv.end()))) {
        report_line("cannot write results.csv in " + options.out_dir);
        return STATUS_FAILED;
    }
    int status = 0;
    printf("%s\n", batch_summary(results, utf8(out_dir) + "\\results.csv", status).c_str());
    return status;
}

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
    if (!parse_replay_arguments(args, options, error)) {
        fprintf(stderr, "error: %s\n\n", error.c_str());
        fputs(REPLAY_USAGE, stderr);
        return STATUS_USAGE;
    }
    switch (options.mode) {
    case ReplayOptions::Mode::HELP: fputs(REPLAY_USAGE, stdout); return 0;
    case ReplayOptions::Mode::BATCH: return run_batch(options);
    case ReplayOptions::Mode::ONE: break;
    }
    if (!options.result_file.empty())
        report_quietly();
    const ReplayResult result = replay(options);
    if (!options.result_file.empty()) {
        const std::string record = format_result_record(result);
        write_file_replacing(wide(options.result_file),
                             std::vector<uint8_t>(record.begin(), record.end()));
    }
    return result.status;
}
