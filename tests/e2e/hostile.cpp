// A hostile program for the replay tool's sandbox. At its first event it tries what a program
// under grading must not do, and draws one square per attempt: red when the attempt succeeded,
// green when it was kept from it, with a line that says what happened. What it reaches comes
// from the environment:
//   HOSTILE_ESCAPE  a file to write outside its folder (it also writes /tmp/zepha-escape-PID,
//                   on Windows in the temporary folder; a private /tmp takes that file without
//                   a word, so only its absence outside tells)
//   HOSTILE_PORT    a port on 127.0.0.1 to connect to; it sends "hostile PID\n"
//   HOSTILE_SECRET  a file to read
// It also starts HOSTILE_CHILDREN processes that sleep for 10 minutes in sessions of their own,
// and allocates HOSTILE_ALLOCATION MiB. On Windows the children are this program again, given
// --sleep.
#include "runtime/graphics_runtime.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---- Constants ----

namespace {

constexpr int CHILDREN = 80;         // processes started, above the sandbox's 64
constexpr unsigned ALLOCATION = 512; // MiB, above the test's --memory
constexpr unsigned CHILD_SLEEP_S = 600;
constexpr int SQUARE = 40; // side of a square
constexpr int ROW = 60;    // from one square to the next, downwards
constexpr int LEFT = -280; // the squares' left side
constexpr int TOP = 200;   // the first square's top
constexpr int TEXT_SIZE = 12;

// ---- Types ----

enum Attempt { TMP_FILE, TOOL_FILE, CONNECTION, PROCESSES, MEMORY, SECRET, ATTEMPTS };

struct Outcome {
    bool succeeded = false;
    char line[128] = "";
};

// ---- Internal functions ----

unsigned number(const char *name, unsigned fallback) {
    const char *value = getenv(name);
    return value != nullptr && value[0] != '\0' ? static_cast<unsigned>(atoi(value)) : fallback;
}

long process_id() {
#if defined(_WIN32)
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

void write_file(Outcome &outcome, const char *path) {
    FILE *file = path != nullptr ? fopen(path, "w") : nullptr;
    outcome.succeeded = file != nullptr && fprintf(file, "escaped from %ld\n", process_id()) > 0;
    if (file != nullptr)
        outcome.succeeded = fclose(file) == 0 && outcome.succeeded;
    snprintf(outcome.line, sizeof outcome.line, "write %s: %s", path ? path : "(no path)",
             outcome.succeeded ? "written" : "failed");
}

void write_temporary_file(Outcome &outcome) {
    char path[512];
#if defined(_WIN32)
    char folder[MAX_PATH] = "";
    GetTempPathA(sizeof folder, folder);
    snprintf(path, sizeof path, "%szepha-escape-%ld", folder, process_id());
#else
    snprintf(path, sizeof path, "/tmp/zepha-escape-%ld", process_id());
#endif
    write_file(outcome, path);
}

void connect_to_test(Outcome &outcome) {
    const unsigned port = number("HOSTILE_PORT", 0);
#if defined(_WIN32)
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const bool opened = connection != INVALID_SOCKET;
#else
    const int connection = socket(AF_INET, SOCK_STREAM, 0);
    const bool opened = connection >= 0;
#endif
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char hello[64];
    const int length = snprintf(hello, sizeof hello, "hostile %ld\n", process_id());
    outcome.succeeded =
        opened && port != 0 &&
        connect(connection, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        send(connection, hello, length, 0) == length;
#if defined(_WIN32)
    if (opened)
        closesocket(connection);
#else
    if (opened)
        close(connection);
#endif
    snprintf(outcome.line, sizeof outcome.line, "connect to 127.0.0.1:%u: %s", port,
             outcome.succeeded ? "connected" : "failed");
}

// The children leave the program's process group, as a program would that wants to outlive
// its replay.
void start_children(Outcome &outcome) {
    const int wanted = static_cast<int>(number("HOSTILE_CHILDREN", CHILDREN));
    int started = 0;
    for (; started < wanted; started++) {
#if defined(_WIN32)
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, sizeof path);
        char command[MAX_PATH + 16];
        snprintf(command, sizeof command, "\"%s\" --sleep", path);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        // Out of any job first, as a program that wants to stay would try.
        if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE,
                            CREATE_BREAKAWAY_FROM_JOB | DETACHED_PROCESS, nullptr, nullptr,
                            &startup, &process) &&
            !CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                            nullptr, &startup, &process))
            break;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
#else
        const pid_t child = fork();
        if (child < 0)
            break;
        if (child == 0) {
            setsid();
            sleep(CHILD_SLEEP_S);
            _exit(0);
        }
#endif
    }
    outcome.succeeded = started == wanted;
    snprintf(outcome.line, sizeof outcome.line, "start %d processes: %d started", wanted, started);
}

void allocate(Outcome &outcome) {
    const unsigned mib = number("HOSTILE_ALLOCATION", ALLOCATION);
    void *block = malloc(static_cast<size_t>(mib) << 20);
    outcome.succeeded = block != nullptr;
    free(block);
    snprintf(outcome.line, sizeof outcome.line, "allocate %u MiB: %s", mib,
             outcome.succeeded ? "allocated" : "malloc failed");
}

void read_secret(Outcome &outcome) {
    const char *path = getenv("HOSTILE_SECRET");
    FILE *file = path != nullptr ? fopen(path, "rb") : nullptr;
    char bytes[16];
    outcome.succeeded = file != nullptr && fread(bytes, 1, sizeof bytes, file) > 0;
    if (file != nullptr)
        fclose(file);
    snprintf(outcome.line, sizeof outcome.line, "read %s: %s", path ? path : "(no path)",
             outcome.succeeded ? "read" : "failed");
}

void draw(const Outcome (&outcomes)[ATTEMPTS]) {
    ZEPHA_erase();
    for (int n = 0; n < ATTEMPTS; n++) {
        const int top = TOP - n * ROW;
        ZEPHA_draw_rectangle(outcomes[n].succeeded ? RED : GREEN, LEFT, top, LEFT + SQUARE,
                             top - SQUARE, 0);
        ZEPHA_draw_text(BLACK, LEFT + SQUARE + 10, top - 10, TEXT_SIZE, outcomes[n].line);
    }
}

} // namespace

int app_main() {
#if defined(_WIN32)
    if (strstr(g_startup_args.command_line, "--sleep") != nullptr) {
        Sleep(CHILD_SLEEP_S * 1000);
        return 0;
    }
#endif
    ZEPHA_start_windows(g_startup_args.instance, g_startup_args.previous,
                        g_startup_args.command_line, g_startup_args.show);
    ZEPHA_set_logging(0);
    Outcome outcomes[ATTEMPTS];
    bool tried = false;
    int x = 0, y = 0;
    char key = 0;
    for (int kind = EV_NONE; kind != EV_QUIT;) {
        kind = ZEPHA_next_event(&x, &y, &key);
        if (tried || kind == EV_QUIT)
            continue;
        tried = true;
        write_temporary_file(outcomes[TMP_FILE]);
        write_file(outcomes[TOOL_FILE], getenv("HOSTILE_ESCAPE"));
        connect_to_test(outcomes[CONNECTION]);
        start_children(outcomes[PROCESSES]);
        allocate(outcomes[MEMORY]);
        read_secret(outcomes[SECRET]);
        for (const Outcome &outcome : outcomes)
            ZEPHA_log("%s", outcome.line);
        draw(outcomes);
    }
    ZEPHA_stop_windows();
    return 0;
}
