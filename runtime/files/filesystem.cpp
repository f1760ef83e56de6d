#include "files/filesystem.h"

#include <cstdio>
#include <string>
#include <vector>

#include "core/program.h"
#include "core/wait.h"
#include "files/file_handle.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/window.h"

namespace {

constexpr int kPollMs = 100;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

double DOESFILEEXIST(DQStr file) {
    KWFileSystem f;
    return f.OpenRead(file.c_str()) ? 1 : 0;
}

DQStr GETCURRENTDIR_Str() {
    const std::string cwd = plat::CurrentFolder();
    if (cwd.empty()) return DQStr("/");
    // '\\' is an ordinary character of a folder name here, not a separator.
    DQStr dir(cwd.c_str());
    if (dir.Length() == 0 || dir.c_str()[dir.Length() - 1] != '/') dir += "/";
    return dir;
}

double SETCURRENTDIR(DQStr dir) { return plat::ChangeFolder(dir.c_str()) ? 1 : 0; }

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
    std::vector<std::string> names;
    if (plat::ListFolder(".", names)) {
        bool sawDot = false, sawDotDot = false;
        for (const std::string& n : names) {
            sawDot = sawDot || n == ".";
            sawDotDot = sawDotDot || n == "..";
        }
        // "." and ".." are listed like every other folder, first when the system
        // leaves them out.
        if (!sawDotDot) names.insert(names.begin(), "..");
        if (!sawDot) names.insert(names.begin(), ".");
        for (const std::string& n : names) {
            // Pipes, sockets and devices are not files: listing them would invite
            // reads that never end.
            const plat::FileType type = plat::TypeOf(n.c_str());
            if (type == plat::FileType::Folder) folders.Add(DQStr(n.c_str()));
            else if (type == plat::FileType::Regular && szWildMatch(pattern.c_str(), n.c_str()))
                files.Add(DQStr(n.c_str()));
        }
    }
    const int nf = folders.Count(), nm = files.Count();
    DIM(list, nf + nm);
    for (int i = 0; i < nf; ++i) list(i) = folders[i];
    for (int i = 0; i < nm; ++i) list(nf + i) = files[i];
    return static_cast<double>(nf) * 65536 + nm;
}

DQStr FILEREQUEST_Str(double open, DQStr filter) {
    const std::string zenity = plat::FindProgram("zenity");
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
    const std::string cwd = plat::CurrentFolder();
    __HideWindowForDialog();
    std::string chosen;
    int code = 1;
    bool ran = plat::RunCapturingOutput(args, chosen, code);
    if (!cwd.empty() && !plat::ChangeFolder(cwd.c_str()))
        std::fprintf(stderr, "Tolvane: cannot return to %s\n", cwd.c_str());
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
std::vector<int> g_unwaited;

void CollectEnded() {
    std::erase_if(g_unwaited, [](int pid) { return plat::PollChild(pid).state != plat::ChildStatus::Running; });
}

}  // namespace

double SHELLCMD(DQStr command, double wait, double show, double& exitCode) {
    (void)show;  // programs started from here open their windows as they like
    exitCode = 0;
    CollectEnded();
    const int pid = plat::StartShellCommand(command.c_str());
    if (pid < 0) return 0;
    if (wait != 0) {
        plat::ChildStatus child;
        while ((child = plat::PollChild(pid)).state == plat::ChildStatus::Running) __WaitStep(kPollMs);
        if (child.state == plat::ChildStatus::Gone) return 1;  // started, but its end was collected elsewhere
        if (child.couldNotStart) return 0;
        exitCode = static_cast<double>(static_cast<unsigned>(child.exitCode));
        return 1;
    }
    // Not waiting: watch the shell until it ends (then its status tells whether the
    // program could start) or a program of the command line is seen running, for a
    // short while at most; the program then runs on by itself.
    for (int waited = 0; waited < kStartWatchMs; waited += kStartPollMs) {
        const plat::ChildStatus child = plat::PollChild(pid);
        if (child.state == plat::ChildStatus::Ended) return child.couldNotStart ? 0 : 1;
        if (plat::ShellStartedProgram(pid)) break;
        plat::SleepMs(kStartPollMs);
    }
    g_unwaited.push_back(pid);
    return 1;
}

DQStr GETCOMMANDLINE_Str() { return __g_cmdline; }
