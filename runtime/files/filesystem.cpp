#include "files/filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/program.h"
#include "files/file_handle.h"
#include "platform/platform.h"

extern char** environ;

namespace {

constexpr int kPollMs = 100;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Runs argv and waits for it, collecting its standard output in `out` when given.
// False when it cannot be started.
bool Spawn(const std::vector<std::string>& args, int* exitCode, std::string* out, bool quiet) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFd[2] = {-1, -1};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (out && pipe(pipeFd) == 0) {
        posix_spawn_file_actions_adddup2(&fa, pipeFd[1], 1);
        posix_spawn_file_actions_addclose(&fa, pipeFd[0]);
    }
    if (quiet) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (pipeFd[1] >= 0) close(pipeFd[1]);
    if (rc != 0) {
        if (pipeFd[0] >= 0) close(pipeFd[0]);
        return false;
    }
    if (out && pipeFd[0] >= 0) {
        char buf[512];
        ssize_t n;
        while ((n = read(pipeFd[0], buf, sizeof buf)) > 0) out->append(buf, static_cast<size_t>(n));
        close(pipeFd[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

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

}  // namespace

double DOESFILEEXIST(DQStr file) {
    KWFileSystem f;
    return f.OpenRead(file.c_str()) ? 1 : 0;
}

DQStr GETCURRENTDIR_Str() {
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return DQStr("/");
    // '\\' is an ordinary character of a folder name here, not a separator.
    DQStr dir(buf);
    if (dir.Length() == 0 || dir.c_str()[dir.Length() - 1] != '/') dir += "/";
    return dir;
}

double SETCURRENTDIR(DQStr dir) { return chdir(dir.c_str()) == 0 ? 1 : 0; }

bool szWildMatch(const char* pattern, const char* text) {
    const char* starPattern = nullptr;
    const char* starText = nullptr;
    while (*text) {
        if (*pattern == '*') {
            while (*pattern == '*') ++pattern;
            if (!*pattern) return true;
            starPattern = pattern;
            starText = text;
            continue;
        }
        bool same = (*pattern == '?') ? (*text != '.') : (*pattern && Lower(*pattern) == Lower(*text));
        if (same) {
            ++pattern;
            ++text;
        } else if (starPattern) {
            pattern = starPattern;
            text = ++starText;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

double GETFILELIST(DQStr pattern, DQStrArray& list) {
    Queue<DQStr> folders, files;
    if (DIR* d = opendir(".")) {
        bool sawDot = false, sawDotDot = false;
        std::vector<std::string> names;
        while (dirent* e = readdir(d)) names.emplace_back(e->d_name);
        closedir(d);
        for (const std::string& n : names) {
            sawDot = sawDot || n == ".";
            sawDotDot = sawDotDot || n == "..";
        }
        // "." and ".." are listed like every other folder, first when the system
        // leaves them out.
        if (!sawDotDot) names.insert(names.begin(), "..");
        if (!sawDot) names.insert(names.begin(), ".");
        for (const std::string& n : names) {
            struct stat st;
            if (stat(n.c_str(), &st) != 0) continue;
            // Pipes, sockets and devices are not files: listing them would invite
            // reads that never end.
            if (S_ISDIR(st.st_mode)) folders.Add(DQStr(n.c_str()));
            else if (S_ISREG(st.st_mode) && szWildMatch(pattern.c_str(), n.c_str())) files.Add(DQStr(n.c_str()));
        }
    }
    const int nf = folders.Count(), nm = files.Count();
    DIM(list, nf + nm);
    for (int i = 0; i < nf; ++i) list(i) = folders[i];
    for (int i = 0; i < nm; ++i) list(nf + i) = files[i];
    return static_cast<double>(nf) * 65536 + nm;
}

DQStr FILEREQUEST_Str(double open, DQStr filter) {
    const std::string zenity = FindProgram("zenity");
    if (zenity.empty()) return DQStr("NO_FILE");
    std::vector<std::string> args = {zenity, "--file-selection", "--title", open != 0 ? "Open" : "Save"};
    if (open == 0) args.push_back("--save");
    // "Name|pattern|Name|pattern": one filter per pair; a pattern list may hold
    // several patterns separated by ';'.
    std::vector<std::string> parts;
    std::string f = filter.c_str(), part;
    for (char c : f) {
        if (c == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns = parts[i + 1];
        for (char& c : patterns)
            if (c == ';') c = ' ';
        args.push_back("--file-filter=" + parts[i] + " | " + patterns);
    }
    char cwd[4096];
    bool haveCwd = getcwd(cwd, sizeof cwd) != nullptr;
    __HideWindowForDialog();
    std::string chosen;
    int code = 1;
    bool ran = Spawn(args, &code, &chosen, true);
    if (haveCwd && chdir(cwd) != 0) std::fprintf(stderr, "Tolvane: cannot return to %s\n", cwd);
    __RestoreWindowAfterDialog();
    while (!chosen.empty() && (chosen.back() == '\n' || chosen.back() == '\r')) chosen.pop_back();
    if (!ran || code != 0 || chosen.empty()) return DQStr("NO_FILE");
    // The chooser answers with '/' separators already; a '\\' is part of a name.
    return DQStr(chosen.c_str());
}

namespace {

// How long a program started without waiting is watched for a shell that could not
// start it, unless it is seen to start sooner.
constexpr int kStartWatchMs = 300;
constexpr int kStartPollMs = 2;

// Programs started without waiting, collected once they have ended.
std::vector<pid_t> g_unwaited;

void CollectEnded() {
    std::erase_if(g_unwaited, [](pid_t pid) {
        int status = 0;
        return waitpid(pid, &status, WNOHANG) != 0;
    });
}

// The shell runs the command line exactly as typed (quotes, VAR=value prefixes,
// redirections); it ends with 126 when the program cannot be executed and with 127
// when it is not found.
pid_t StartShell(const char* command) {
    char sh[] = "/bin/sh", dashC[] = "-c";
    char* argv[] = {sh, dashC, const_cast<char*>(command), nullptr};
    pid_t pid = 0;
    return posix_spawn(&pid, sh, nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

bool CouldNotStart(int status) {
    return WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127);
}

bool RunsOtherThan(pid_t pid, const std::string& shell) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(pid));
    char target[4096];
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return false;
    target[n] = 0;
    return shell != target;
}

// True once the shell has got a program going: it has become the program itself, or
// one of its children has (a child that is still the shell may yet fail to start one).
bool ProgramStarted(pid_t pid, const std::string& shell) {
    if (shell.empty()) return false;
    if (RunsOtherThan(pid, shell)) return true;
    char path[96];
    std::snprintf(path, sizeof path, "/proc/%d/task/%d/children", static_cast<int>(pid), static_cast<int>(pid));
    FILE* f = std::fopen(path, "r");
    if (!f) return false;
    bool started = false;
    int child = 0;
    while (!started && std::fscanf(f, "%d", &child) == 1) started = RunsOtherThan(child, shell);
    std::fclose(f);
    return started;
}

}  // namespace

double SHELLCMD(DQStr command, double wait, double show, double& exitCode) {
    (void)show;  // programs started from here open their windows as they like
    exitCode = 0;
    CollectEnded();
    pid_t pid = StartShell(command.c_str());
    if (pid < 0) return 0;
    int status = 0;
    if (wait != 0) {
        pid_t ended;
        while ((ended = waitpid(pid, &status, WNOHANG)) == 0 || (ended < 0 && errno == EINTR)) plat::SleepMs(kPollMs);
        if (ended != pid) return 1;  // started, but its end was collected elsewhere
        if (CouldNotStart(status)) return 0;
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        exitCode = static_cast<double>(static_cast<unsigned>(code));
        return 1;
    }
    // Not waiting: watch the shell until it ends (then its status tells whether the
    // program could start) or a program of the command line is seen running, for a
    // short while at most; the program then runs on by itself.
    static const std::string shell = [] {
        char real[4096];
        return realpath("/bin/sh", real) ? std::string(real) : std::string();
    }();
    for (int waited = 0; waited < kStartWatchMs; waited += kStartPollMs) {
        if (waitpid(pid, &status, WNOHANG) == pid) return CouldNotStart(status) ? 0 : 1;
        if (ProgramStarted(pid, shell)) break;
        plat::SleepMs(kStartPollMs);
    }
    g_unwaited.push_back(pid);
    return 1;
}

DQStr GETCOMMANDLINE_Str() { return __g_cmdline; }
