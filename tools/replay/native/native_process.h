// The program under replay as a POSIX process, for the native hosts: started in its working
// folder with the environment the host gives it, watched until it ends, ended with its whole
// process group. Needs nothing that is Linux's own.
//
// The program inherits the write end of a pipe whose read end only the tool holds: the pipe
// hangs up when the program and every process it started have ended, and that wakes the tool's
// wait at once. Between wakes the tool looks at the program at growing intervals, so that a
// program that closed the pipe, or left it to a process that lives on, is seen all the same.
#pragma once

#include "tools/replay/core/replay_host.h"
#include "tools/replay/native/sandbox.h"

#include <sys/types.h>

#include <string>
#include <vector>

class ProgramProcess {
  public:
    ProgramProcess() = default;
    ~ProgramProcess() { kill(); }
    ProgramProcess(const ProgramProcess &) = delete;
    ProgramProcess &operator=(const ProgramProcess &) = delete;

    // Starts the program in the folder, its environment the tool's less the names in `unset`
    // and with the NAME=value entries in `set`; its standard output and error go to /dev/null
    // when `silent`; in a sandbox with those limits unless `sandbox` is null. After NOT_NOW or
    // NEVER, failure() has the line.
    Started start(const std::string &path, const std::string &folder,
                  const std::vector<std::string> &set, const std::vector<std::string> &unset,
                  bool silent, const SandboxLimits *sandbox = nullptr);
    bool ended(); // reaps it when it has ended
    // One pause of a wait on the program, at most until the deadline: the next of a series
    // that grows from a fraction of a millisecond to a few milliseconds, cut short when the
    // pipe hangs up. The series starts afresh after a hang-up, when the program's end is due.
    void pause(const Deadline &deadline);
    Wait wait_for_exit(const Deadline &deadline);
    void kill(); // the whole group, at once

    pid_t pid() const { return pid_; }
    double started_ms() const { return started_ms_; }
    int wait_status() const { return wait_status_; } // as waitpid gave it, once ended
    // The signal that ended it, or 0. bwrap tells the signal that ended a program in its
    // sandbox as a shell does, by its exit status: 128 plus the signal's number.
    int end_signal() const;
    const std::string &failure() const { return failure_; }
    // The line for a program that ended before its picture was taken.
    std::string ended_line() const;
    // The status the tool exits with after the Quit command, as a shell gives it.
    ProgramEnd end() const;

  private:
    pid_t pid_ = -1;      // leader of its own process group
    bool ended_ = false;  // pid_ has ended and been reaped
    int alive_ = -1;      // the pipe's read end, until it has hung up
    double pause_ms_ = 0; // the next pause
    int wait_status_ = 0;
    double started_ms_ = 0;
    std::string failure_;
    Sandbox sandbox_;
    bool sandboxed_ = false; // pid_ is bwrap, which runs the program in its sandbox
};

// Sleeps for the given time, or less if a signal comes.
void pause_ms(double milliseconds);

// The folder the working folders are made in: TMPDIR when it is set; else, on Linux, /dev/shm
// when it is a file system in memory that anyone may make folders in; else /tmp.
std::string work_folders_folder();
