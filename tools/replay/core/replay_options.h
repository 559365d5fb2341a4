// The replay tool's command line, taken apart the same way on every platform. Arguments arrive
// as UTF-8; paths stay as given, for the platform part to resolve. Plain C++: no platform
// headers.
#pragma once

#include <string>
#include <vector>

constexpr unsigned DEFAULT_TIMEOUT_S = 60;
constexpr unsigned MAX_TIMEOUT_S = 86400;
constexpr unsigned MAX_JOBS = 64;
// The sandbox's limits: the program's memory (its address space, --memory) and its processes.
constexpr unsigned long long DEFAULT_SANDBOX_MEMORY = 1ULL << 30;
constexpr unsigned long long MIN_SANDBOX_MEMORY = 16ULL << 20;
constexpr unsigned long long MAX_SANDBOX_MEMORY = 1ULL << 40;
constexpr unsigned SANDBOX_PROCESSES = 64;

struct ReplayOptions {
    enum class Mode { HELP, ONE, BATCH };
    Mode mode = Mode::ONE;
    // One replay: PROGRAM SCRIPT OUT.png
    std::string program, script, out;
    std::string expect; // --expect: the expected picture, or empty
    long tolerance = 0; // --tolerance: differing pixels still accepted
    // A batch: --batch LIST OUT_DIR
    std::string list, out_dir;
    unsigned jobs = 0; // --jobs: replays at a time; 0 for the number of processors
    // Both
    unsigned timeout_s = DEFAULT_TIMEOUT_S; // --timeout: the longest one replay may take
    bool strict = false;                    // --strict: refuse a script cut short
    std::vector<std::string> answers;       // --answer, in order
    bool headless = false;                  // --headless: on the headless platform, natively
    std::string frames;                     // --frames: the replay's animation (headless)
    bool sandbox = false;                   // --sandbox: the program kept in, with limits
    unsigned long long memory = DEFAULT_SANDBOX_MEMORY; // --memory: its limit, in bytes
    std::string result_file; // --result: where a batch's worker writes its result record
};

// Takes apart the arguments after the program's name. False with a one-line reason when they
// do not make a valid call.
bool parse_replay_arguments(const std::vector<std::string> &args, ReplayOptions &options,
                            std::string &error);

// The usage text, with every option and exit status.
extern const char REPLAY_USAGE[];

// Where the picture of the differences goes: OUT with ".png" replaced by ".diff.png".
std::string diff_picture_path(const std::string &out);
