// Processes over posix_spawn and waitpid; what a shell is running is read from /proc.
#include "platform/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace plat {
namespace {

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

bool RunsOtherThan(pid_t pid, const std::string& shell) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(pid));
    char target[4096];
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return false;
    target[n] = 0;
    return shell != target;
}

}  // namespace

int ProcessId() { return static_cast<int>(getpid()); }

std::string FindProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return std::string();
}

bool RunCapturingOutput(const std::vector<std::string>& args, std::string& output, int& exitCode) {
    if (args.empty()) return false;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFd[2] = {-1, -1};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (pipe(pipeFd) == 0) {
        posix_spawn_file_actions_adddup2(&fa, pipeFd[1], 1);
        posix_spawn_file_actions_addclose(&fa, pipeFd[0]);
    }
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (pipeFd[1] >= 0) close(pipeFd[1]);
    if (rc != 0) {
        if (pipeFd[0] >= 0) close(pipeFd[0]);
        return false;
    }
    if (pipeFd[0] >= 0) {
        char buf[512];
        ssize_t n;
        while ((n = read(pipeFd[0], buf, sizeof buf)) > 0) output.append(buf, static_cast<size_t>(n));
        close(pipeFd[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    exitCode = ExitCode(status);
    return true;
}

int StartShellCommand(const char* command) {
    char sh[] = "/bin/sh", dashC[] = "-c";
    char* argv[] = {sh, dashC, const_cast<char*>(command ? command : ""), nullptr};
    pid_t pid = 0;
    return posix_spawn(&pid, sh, nullptr, nullptr, argv, environ) == 0 ? static_cast<int>(pid) : -1;
}

ChildStatus PollChild(int pid) {
    ChildStatus result;
    if (pid <= 0) {  // not one child: waitpid would take any
        result.state = ChildStatus::Gone;
        return result;
    }
    int status = 0;
    pid_t ended;
    while ((ended = waitpid(static_cast<pid_t>(pid), &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (ended == 0) return result;
    if (ended != static_cast<pid_t>(pid)) {
        result.state = ChildStatus::Gone;
        return result;
    }
    result.state = ChildStatus::Ended;
    result.exitCode = ExitCode(status);
    // The shell's own answer for a program it found nowhere (127) or could not execute
    // (126).
    result.couldNotStart = WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127);
    return result;
}

bool ShellStartedProgram(int pid) {
    static const std::string shell = [] {
        char real[4096];
        return realpath("/bin/sh", real) ? std::string(real) : std::string();
    }();
    if (shell.empty() || pid <= 0) return false;
    if (RunsOtherThan(pid, shell)) return true;
    char path[96];
    std::snprintf(path, sizeof path, "/proc/%d/task/%d/children", pid, pid);
    std::FILE* f = std::fopen(path, "r");
    if (!f) return false;
    bool started = false;
    int child = 0;
    while (!started && std::fscanf(f, "%d", &child) == 1) started = RunsOtherThan(child, shell);
    std::fclose(f);
    return started;
}

}  // namespace plat
