// A sandbox for a program under replay (--sandbox), made with bubblewrap (bwrap): its own user,
// process, network, IPC and host-name namespaces; a file system of the system's programs and
// libraries read-only, its own file read-only, its working folder writable and a private /tmp,
// and nothing else of the machine's; an address-space limit and a process limit. POSIX; the
// namespaces are Linux's, so elsewhere check() says the sandbox cannot be set up.
#pragma once

#include "tools/replay/core/replay_host.h"
#include "tools/replay/core/replay_options.h"

#include <sys/types.h>

#include <string>
#include <vector>

// ---- Types ----

struct SandboxLimits {
    unsigned long long memory = DEFAULT_SANDBOX_MEMORY; // RLIMIT_AS, in bytes
    unsigned processes = SANDBOX_PROCESSES; // RLIMIT_NPROC, of the program's user in its sandbox
};

// One program's sandbox: prepared in the tool, entered by the tool's child between its fork and
// its exec. The child's exec is bwrap's; bwrap starts the program with the limits on.
class Sandbox {
  public:
    Sandbox() = default;
    ~Sandbox() { close_files(); }
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    // Empty when a sandbox can be made here; otherwise the line that names what is missing. The
    // first call tries one sandbox that runs `true`, later calls give the same answer.
    static std::string check();

    // Makes bwrap's command line for the program (its full path) in its working folder, which
    // the program's user is given. YES; NEVER when the program cannot be read; NO_SANDBOX when
    // the sandbox cannot be set up. `line` says why not.
    Started prepare(const std::string &program, const std::string &folder,
                    const SandboxLimits &limits, std::string &line);

    // In the child, between fork and exec: the limits, the identity bwrap runs as, then bwrap
    // with the environment. Returns only when that fails: the step that failed, with errno
    // set. Async-signal-safe.
    const char *enter(char *const envp[]);

    // bwrap's command line, its own path first.
    const std::vector<std::string> &command() const { return command_; }

  private:
    void close_files();

    std::vector<std::string> command_;
    std::vector<char *> argv_; // command_ as execve takes it, made before the fork
    int program_file_ = -1;    // the program, which bwrap copies into the sandbox
    int folder_ = -1;          // the working folder, which bwrap binds writable
    unsigned long long memory_ = DEFAULT_SANDBOX_MEMORY;
    bool drop_ = false; // the tool is root: bwrap runs as the unprivileged user below
    uid_t user_ = 0;
    gid_t group_ = 0;
};
