#include "tools/replay/native/sandbox.h"

#include "tools/replay/native/native_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

extern char **environ;

// ---- Constants ----

namespace {

// The program's user and group inside its sandbox: an ordinary user, whoever runs the tool.
const char SANDBOX_ID[] = "1000";
// The unprivileged user bwrap runs as when the tool is root. Root's processes are exempt from
// RLIMIT_NPROC even inside a user namespace (measured), so the sandbox must belong to another.
const char UNPRIVILEGED_USER[] = "nobody";
constexpr uid_t UNPRIVILEGED_ID = 65534; // when the system has no such user
// Where programs are looked for when PATH is not set.
const char DEFAULT_PATH[] = "/usr/local/bin:/usr/bin:/bin";
// The system's folders of programs and libraries: bound read-only, or made the same links to
// /usr they are outside. A program inside one of them is seen there and needs no copy.
const char *const SYSTEM_FOLDERS[] = {"/usr",   "/bin",   "/sbin",  "/lib",
                                      "/lib32", "/lib64", "/libx32"};
// What a program needs of /etc: the dynamic linker's cache, and the fonts' settings.
const char *const SYSTEM_FILES[] = {"/etc/ld.so.cache", "/etc/fonts"};
constexpr int CHECK_TIMEOUT_MS = 10000; // longest wait for the trial sandbox

// ---- Internal functions ----

std::string find_program(const char *name) {
    const char *path = getenv("PATH");
    std::string folders = path != nullptr && path[0] != '\0' ? path : DEFAULT_PATH;
    folders += ':';
    for (size_t start = 0, end; (end = folders.find(':', start)) != std::string::npos;
         start = end + 1) {
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (candidate[0] == '/' && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::string();
}

bool is_inside(const std::string &path, const std::string &folder) {
    return path.compare(0, folder.size(), folder) == 0 && path.size() > folder.size() &&
           path[folder.size()] == '/';
}

bool in_system_folder(const std::string &path) {
    for (const char *folder : SYSTEM_FOLDERS)
        if (is_inside(path, folder))
            return true;
    return false;
}

// The line for a trial that failed, from what bwrap wrote.
std::string trial_failure(const std::string &said) {
    std::string first = said.substr(0, said.find('\n'));
    if (first.empty())
        first = "no message";
    if (first.compare(0, 18, "cannot start bwrap") == 0)
        return "the sandbox cannot be set up: " + first;
    if (geteuid() == 0 && first.find("Permission denied") != std::string::npos)
        return "the sandbox cannot be set up: bwrap could not reach the working folder (" + first +
               "); as root the tool runs the sandbox as the user nobody, who must be "
               "able to enter the folder the working folders are made in (" +
               work_folders_folder() + ")";
    return "the sandbox cannot be set up: bwrap could not make it here (" + first +
           "); unprivileged user namespaces may be turned off (sysctl "
           "user.max_user_namespaces, kernel.unprivileged_userns_clone, or AppArmor's "
           "kernel.apparmor_restrict_unprivileged_userns)";
}

// Runs bwrap with the options of every replay on `true`, in the folder.
std::string run_trial(const std::string &true_program, const std::string &folder) {
    Sandbox trial;
    std::string line;
    if (trial.prepare(true_program, folder, SandboxLimits{}, line) != Started::YES)
        return line;
    int said[2];
    if (pipe(said) != 0)
        return std::string("the sandbox cannot be set up: ") + strerror(errno);
    fcntl(said[0], F_SETFD, FD_CLOEXEC);
    const pid_t child = fork();
    if (child < 0) {
        close(said[0]);
        close(said[1]);
        return std::string("the sandbox cannot be set up: ") + strerror(errno);
    }
    if (child == 0) {
        const int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, STDIN_FILENO);
        dup2(nothing, STDOUT_FILENO);
        dup2(said[1], STDERR_FILENO);
        const char *step = trial.enter(environ);
        fprintf(stderr, "cannot start bwrap (%s: %s)", step, strerror(errno));
        _exit(127);
    }
    close(said[1]);
    std::string text;
    char buffer[512];
    pollfd wait = {said[0], POLLIN, 0};
    while (poll(&wait, 1, CHECK_TIMEOUT_MS) > 0) {
        const ssize_t got = read(said[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(said[0]);
    kill(child, SIGKILL); // when it has not ended within the wait
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return std::string();
    return trial_failure(text);
}

// Runs bwrap once, with the options of every replay, on `true` in a folder where the working
// folders are made.
std::string try_sandbox(const std::string &true_program) {
    std::string folder = work_folders_folder() + "/zepha-sandbox-check-XXXXXX";
    if (mkdtemp(&folder[0]) == nullptr)
        return "the sandbox cannot be set up: no folder can be made as " + folder + " (" +
               strerror(errno) + ")";
    const std::string said = run_trial(true_program, folder);
    rmdir(folder.c_str());
    return said;
}

std::string check_once() {
#if !defined(__linux__)
    return "the sandbox cannot be set up: it needs Linux's user namespaces and bubblewrap "
           "(bwrap), which this system does not have";
#else
    if (find_program("bwrap").empty())
        return "the sandbox cannot be set up: bubblewrap (bwrap) is not installed (Debian, "
               "Ubuntu: apt install bubblewrap)";
    const std::string prlimit = find_program("prlimit");
    if (prlimit.empty() || !in_system_folder(prlimit))
        return "the sandbox cannot be set up: prlimit (util-linux) is not installed in the "
               "system's folders";
    const std::string true_program = find_program("true");
    if (true_program.empty() || !in_system_folder(true_program))
        return "the sandbox cannot be set up: no `true` program in the system's folders to "
               "try it with";
    return try_sandbox(true_program);
#endif
}

// Gives the folder, and what the tool put in it, to the user bwrap runs as.
bool give_folder(const std::string &folder, uid_t user, gid_t group) {
    if (chown(folder.c_str(), user, group) != 0)
        return false;
    DIR *entries = opendir(folder.c_str());
    if (entries == nullptr)
        return false;
    bool given = true;
    while (const dirent *entry = readdir(entries)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            given = lchown((folder + "/" + entry->d_name).c_str(), user, group) == 0 && given;
    }
    closedir(entries);
    return given;
}

} // namespace

// ---- Public functions ----

std::string Sandbox::check() {
    static const std::string answer = check_once();
    return answer;
}

Started Sandbox::prepare(const std::string &program, const std::string &folder,
                         const SandboxLimits &limits, std::string &line) {
    close_files();
    command_.clear();
    argv_.clear();
    memory_ = limits.memory;
    const std::string bwrap = find_program("bwrap");
    const std::string prlimit = find_program("prlimit");
    if (bwrap.empty() || prlimit.empty()) {
        line = "the sandbox cannot be set up: bwrap or prlimit is not installed";
        return Started::NO_SANDBOX;
    }

    drop_ = geteuid() == 0;
    if (drop_) {
        const passwd *entry = getpwnam(UNPRIVILEGED_USER);
        user_ = entry != nullptr ? entry->pw_uid : UNPRIVILEGED_ID;
        group_ = entry != nullptr ? entry->pw_gid : UNPRIVILEGED_ID;
    }

    const auto add = [this](std::initializer_list<std::string> arguments) {
        command_.insert(command_.end(), arguments);
    };
    const std::string memory = std::to_string(limits.memory);
    add({bwrap});
    add({"--unshare-user", "--unshare-pid", "--unshare-net", "--unshare-ipc", "--unshare-uts"});
    add({"--disable-userns", "--die-with-parent", "--new-session"});
    add({"--uid", SANDBOX_ID, "--gid", SANDBOX_ID});
    for (const char *system : SYSTEM_FOLDERS) {
        struct stat info;
        if (lstat(system, &info) != 0)
            continue;
        if (S_ISLNK(info.st_mode)) {
            char target[4096];
            const ssize_t length = readlink(system, target, sizeof target - 1);
            if (length > 0)
                add({"--symlink", std::string(target, static_cast<size_t>(length)), system});
        } else if (S_ISDIR(info.st_mode)) {
            add({"--ro-bind", system, system});
        }
    }
    for (const char *file : SYSTEM_FILES)
        if (access(file, R_OK) == 0)
            add({"--ro-bind", file, file});
    // /tmp and /dev before the folder: the working folder may be inside either.
    add({"--proc", "/proc", "--dev", "/dev", "--size", memory, "--tmpfs", "/tmp"});

    if (!folder.empty()) {
        folder_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder_ < 0 || (drop_ && !give_folder(folder, user_, group_))) {
            line = "the sandbox cannot be set up: cannot give the working folder " + folder +
                   " to the sandbox (" + strerror(errno) + ")";
            return Started::NO_SANDBOX;
        }
        add({"--bind-fd", std::to_string(folder_), folder, "--chdir", folder});
        add({"--setenv", "HOME", folder});
    }
    // A copy, so that it runs whoever owns it and whatever the folders above it let others do.
    if (!in_system_folder(program)) {
        program_file_ = open(program.c_str(), O_RDONLY | O_CLOEXEC);
        if (program_file_ < 0) {
            line = "cannot start " + program + " (" + strerror(errno) + ")";
            return Started::NEVER;
        }
        add({"--perms", "0555", "--ro-bind-data", std::to_string(program_file_), program});
    }
    // The sandbox's own root and /dev are memory the program could fill: read-only, like the
    // rest but for /tmp, which is as large as the memory limit, and the working folder.
    add({"--remount-ro", "/dev", "--remount-ro", "/"});
    // The process limit is set inside: before bwrap it would also count every other process of
    // the user who runs the tool (measured: with more than the limit bwrap cannot even start).
    add({"--", prlimit, "--nproc=" + std::to_string(limits.processes), "--", program});

    for (std::string &argument : command_)
        argv_.push_back(&argument[0]);
    argv_.push_back(nullptr);
    return Started::YES;
}

const char *Sandbox::enter(char *const envp[]) {
    // The files bwrap is told of by number stay open across its exec.
    if (program_file_ >= 0)
        fcntl(program_file_, F_SETFD, 0);
    if (folder_ >= 0)
        fcntl(folder_, F_SETFD, 0);
    const rlimit memory = {static_cast<rlim_t>(memory_), static_cast<rlim_t>(memory_)};
    if (setrlimit(RLIMIT_AS, &memory) != 0)
        return "the memory limit";
    if (drop_ && (setgroups(0, nullptr) != 0 || setgid(group_) != 0 || setuid(user_) != 0))
        return "the change to an unprivileged user";
#if defined(__linux__)
    // A change of user clears the signal that ends the child with the tool.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    execve(argv_[0], argv_.data(), envp);
    return argv_[0];
}

void Sandbox::close_files() {
    if (program_file_ >= 0)
        close(program_file_);
    if (folder_ >= 0)
        close(folder_);
    program_file_ = folder_ = -1;
}
