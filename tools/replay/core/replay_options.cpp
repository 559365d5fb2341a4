#include "tools/replay/core/replay_options.h"

#include <cerrno>
#include <cstdlib>

// ---- Constants ----

const char REPLAY_USAGE[] =
    "usage: zepha_replay PROGRAM SCRIPT OUT.png [--expect EXPECTED.png [--tolerance PIXELS]]\n"
    "                    [--timeout SECONDS] [--strict] [--answer TEXT]... [--headless]\n"
    "                    [--frames OUT.apng] [--sandbox [--memory SIZE]]\n"
    "       zepha_replay --batch LIST OUT_DIR [--jobs N] [--timeout SECONDS] [--strict]\n"
    "                    [--answer TEXT]... [--headless] [--sandbox [--memory SIZE]]\n"
    "\n"
    "Plays SCRIPT into PROGRAM, a program built on the ZEPHA runtime, and saves the client\n"
    "area of its graphics window as OUT.png. The program runs in a new working folder that\n"
    "holds a copy of SCRIPT as ZEPHA.SCR; playback starts as Ctrl+P starts it; when it has\n"
    "ended, the picture is taken, the program is ended as Run > Quit ends it, and the folder\n"
    "is removed.\n"
    "\n"
    "  --expect EXPECTED.png  compare the picture with EXPECTED pixel for pixel; when they\n"
    "                         differ, also write OUT.diff.png\n"
    "  --tolerance PIXELS     differing pixels still accepted (default 0)\n"
    "  --timeout SECONDS      the longest one replay may take, from the start of the program\n"
    "                         to its end (default 60)\n"
    "  --strict               refuse a script that the runtime would not play to its end\n"
    "  --answer TEXT          the answer typed into the next text-entry dialog (repeatable)\n"
    "  --batch LIST OUT_DIR   one replay per line of LIST: PROGRAM SCRIPT [EXPECTED]; the\n"
    "                         pictures and results.csv go to OUT_DIR\n"
    "  --jobs N               replays at a time in a batch (default: the processors)\n"
    "  --headless             natively built programs: replay on the headless platform, with\n"
    "                         no window (the default where DISPLAY is unset or empty)\n"
    "  --frames OUT.apng      headless: also save every frame of the replay as an animated PNG\n"
    "  --sandbox              for programs you do not trust: natively, with --headless, in a\n"
    "                         sandbox (bubblewrap) that sees only its folder, with no network\n"
    "                         and at most 64 processes; on Windows, in a job object with these\n"
    "                         limits (files and network stay open to it there)\n"
    "  --memory SIZE          --sandbox: the program's memory limit, 1G by default (K, M, G)\n"
    "\n"
    "Exit status: the program's own after a complete replay (0 for a normal end), or\n"
    "  2    wrong arguments\n"
    "  117  --sandbox: the sandbox cannot be set up here (the line says what is missing)\n"
    "  118  --sandbox without --headless (native tool); the program is not started\n"
    "  119  a text-entry dialog opened with no --answer left; no PNG\n"
    "  120  PROGRAM, SCRIPT or EXPECTED cannot be found or used\n"
    "  121  no graphics window within the timeout; no PNG (never headless)\n"
    "  122  playback not ended within the timeout; OUT.png holds the picture at that moment\n"
    "  123  the program ended or crashed before the picture was taken; no PNG\n"
    "  124  any other failure (working folder, start, picture, Quit, PNG file, a program\n"
    "       that cannot run headless); no PNG\n"
    "  125  the picture differs from EXPECTED by more than the tolerance\n"
    "  126  --strict: the script would not be played to its end; the program is not started\n"
    "A batch exits with 0 when every replay gave 0, and with 1 otherwise.\n";

// ---- Internal functions ----

namespace {

bool parse_number(const std::string &text, unsigned long minimum, unsigned long maximum,
                  unsigned long &value) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    value = strtoul(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= minimum && value <= maximum;
}

// A size in bytes, or in KiB, MiB or GiB with K, M or G after the number.
bool parse_size(const std::string &text, unsigned long long &bytes) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long long number = strtoull(text.c_str(), &end, 10);
    unsigned shift = 0;
    switch (*end) {
    case '\0': break;
    case 'K':
    case 'k': shift = 10; break;
    case 'M':
    case 'm': shift = 20; break;
    case 'G':
    case 'g': shift = 30; break;
    default: return false;
    }
    if (errno != 0 || (*end != '\0' && end[1] != '\0') || number > (MAX_SANDBOX_MEMORY >> shift))
        return false;
    bytes = number << shift;
    return bytes >= MIN_SANDBOX_MEMORY;
}

bool is_option(const std::string &argument) {
    return argument.size() > 1 && argument[0] == '-';
}

} // namespace

// ---- Public functions ----

bool parse_replay_arguments(const std::vector<std::string> &args, ReplayOptions &options,
                            std::string &error) {
    options = ReplayOptions{};
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        options.mode = ReplayOptions::Mode::HELP;
        return true;
    }
    std::vector<std::string> positional;
    bool batch = false, tolerance = false, jobs = false, memory = false;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &argument = args[i];
        if (!is_option(argument)) {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--strict") {
            options.strict = true;
            continue;
        }
        if (argument == "--batch") {
            batch = true;
            continue;
        }
        if (argument == "--headless") {
            options.headless = true;
            continue;
        }
        if (argument == "--sandbox") {
            options.sandbox = true;
            continue;
        }
        if (i + 1 == args.size()) {
            error = argument + " needs a value";
            return false;
        }
        const std::string &value = args[++i];
        unsigned long number = 0;
        if (argument == "--timeout") {
            if (!parse_number(value, 1, MAX_TIMEOUT_S, number)) {
                error = "--timeout takes whole seconds from 1 to 86400";
                return false;
            }
            options.timeout_s = static_cast<unsigned>(number);
        } else if (argument == "--tolerance") {
            if (!parse_number(value, 0, 0x7FFFFFFF, number)) {
                error = "--tolerance takes a number of pixels";
                return false;
            }
            options.tolerance = static_cast<long>(number);
            tolerance = true;
        } else if (argument == "--jobs") {
            if (!parse_number(value, 1, MAX_JOBS, number)) {
                error = "--jobs takes a number from 1 to 64";
                return false;
            }
            options.jobs = static_cast<unsigned>(number);
            jobs = true;
        } else if (argument == "--memory") {
            if (!parse_size(value, options.memory)) {
                error = "--memory takes a size from 16M to 1024G: bytes, or a number and K, M or G";
                return false;
            }
            memory = true;
        } else if (argument == "--expect") {
            options.expect = value;
        } else if (argument == "--answer") {
            options.answers.push_back(value);
        } else if (argument == "--frames") {
            options.frames = value;
        } else if (argument == "--result") {
            options.result_file = value;
        } else {
            error = "unknown option " + argument;
            return false;
        }
    }
    // The program in a sandbox sees no file outside its working folder.
    if ((memory && !options.sandbox) || (options.sandbox && !options.frames.empty())) {
        error = "--memory goes with --sandbox, and --frames does not";
        return false;
    }
    if (batch) {
        if (positional.size() != 2 || !options.expect.empty() || tolerance ||
            !options.frames.empty()) {
            error = "--batch takes LIST and OUT_DIR, and no --expect, --tolerance or --frames";
            return false;
        }
        options.mode = ReplayOptions::Mode::BATCH;
        options.list = positional[0];
        options.out_dir = positional[1];
        return true;
    }
    if (positional.size() != 3 || jobs || (tolerance && options.expect.empty())) {
        error = positional.size() != 3 ? "PROGRAM, SCRIPT and OUT.png are needed"
                                       : "--jobs goes with --batch, --tolerance with --expect";
        return false;
    }
    options.mode = ReplayOptions::Mode::ONE;
    options.program = positional[0];
    options.script = positional[1];
    options.out = positional[2];
    return true;
}

std::string diff_picture_path(const std::string &out) {
    const size_t n = out.size();
    if (n >= 4 && out[n - 4] == '.' && (out[n - 3] | 0x20) == 'p' && (out[n - 2] | 0x20) == 'n' &&
        (out[n - 1] | 0x20) == 'g')
        return out.substr(0, n - 4) + ".diff.png";
    return out + ".diff.png";
}
