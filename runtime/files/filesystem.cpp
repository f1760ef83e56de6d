#include "files/filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/lifecycle.h"
#include "core/services.h"
#include "files/file_handle.h"
#include "gfx2d/prism.h"
#include "platform/platform.h"

extern char** environ;

namespace {

constexpr int kPollMs = 100;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

enum class Wait { No, Poll, Block };

// Runs argv; with Poll it checks every 100 ms whether the program has ended. False
// when it cannot be started.
bool Spawn(const std::vector<std::string>& args, Wait wait, int* exitCode, std::string* out, bool quiet) {
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
    if (wait != Wait::No) {
        int status = 0;
        if (wait == Wait::Block) waitpid(pid, &status, 0);
        else
            while (waitpid(pid, &status, WNOHANG) == 0) plat::SleepMs(kPollMs);
        if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
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
    DQStr dir(buf);
    ReverseSlashes(dir);
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
            bool folder = stat(n.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            if (folder) folders.Add(DQStr(n.c_str()));
            else if (szWildMatch(pattern.c_str(), n.c_str())) files.Add(DQStr(n.c_str()));
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
    if (pPrsm) pPrsm->HideWindow();
    std::string chosen;
    int code = 1;
    bool ran = Spawn(args, Wait::Block, &code, &chosen, true);
    if (haveCwd && chdir(cwd) != 0) std::fprintf(stderr, "Tolvane: cannot return to %s\n", cwd);
    if (pPrsm) {
        if (DQ_FULLSCREEN) pPrsm->DoFullscreen(); else pPrsm->DoWindowed();
    }
    while (!chosen.empty() && (chosen.back() == '\n' || chosen.back() == '\r')) chosen.pop_back();
    if (!ran || code != 0 || chosen.empty()) return DQStr("NO_FILE");
    DQStr result(chosen.c_str());
    ReverseSlashes(result);
    return result;
}

// The command's first word names something the shell can run (a program on the
// PATH, a path to one, or a shell command).
static bool Runnable(const std::string& command) {
    size_t start = command.find_first_not_of(" \t");
    if (start == std::string::npos) return false;
    size_t end = command.find_first_of(" \t;|&<>", start);
    std::string word = command.substr(start, end == std::string::npos ? std::string::npos : end - start);
    int code = 1;
    return Spawn({"/bin/sh", "-c", "command -v -- \"$1\" >/dev/null 2>&1", "sh", word}, Wait::Block, &code, nullptr,
                 true) &&
           code == 0;
}

double SHELLCMD(DQStr command, double wait, double show, double& exitCode) {
    (void)show;  // programs started from here open their windows as they like
    exitCode = 0;
    if (!Runnable(command.c_str())) return 0;
    int code = 0;
    if (wait != 0) {
        if (!Spawn({"/bin/sh", "-c", command.c_str()}, Wait::Poll, &code, nullptr, false)) return 0;
        exitCode = static_cast<double>(static_cast<unsigned>(code));
        return 1;
    }
    // Not waiting: a shell in between starts the program in the background and ends at
    // once, so the program runs on by itself and leaves nothing to collect.
    return Spawn({"/bin/sh", "-c", "/bin/sh -c \"$1\" &", "sh", command.c_str()}, Wait::Block, &code, nullptr, false)
               ? 1
               : 0;
}

DQStr GETCOMMANDLINE_Str() { return __g_cmdline; }
