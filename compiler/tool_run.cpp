// Running the outside tools of a build (see tool_run.h).
#include "tool_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

extern char** environ;

namespace tvc {

int RunTool(const std::vector<std::string>& argv, const std::string& log, const std::vector<std::string>* environment) {
    if (argv.empty()) return 127;
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (environment) {
        for (const std::string& v : *environment) envp.push_back(const_cast<char*>(v.c_str()));
        envp.push_back(nullptr);
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (!log.empty()) {
        posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
    }
    pid_t pid;
    const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        std::fprintf(stderr, "tolvanec: cannot start %s: %s\n", argv[0].c_str(), std::strerror(rc));
        return 127;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

std::string OutputProblem(const std::string& path, bool folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::exists(st)) {
        if (fs::is_directory(st) != folder) return folder ? "it is not a folder" : "it is a folder";
        return access(path.c_str(), folder ? W_OK | X_OK : W_OK) == 0 ? "" : "it is not writable";
    }
    // The nearest folder above that exists must be a writable folder; a file's own
    // folder must exist.
    fs::path parent = fs::path(path).parent_path();
    if (parent.empty()) parent = ".";
    fs::path existing = parent;
    while (!fs::exists(existing, ec)) {
        const fs::path up = existing.parent_path();
        if (up.empty() || up == existing) {
            existing = up.empty() ? fs::path(".") : up;
            break;
        }
        existing = up;
    }
    if (!fs::is_directory(existing, ec)) return existing.string() + " is not a folder";
    if (!folder && existing != parent) return "the folder " + parent.string() + " does not exist";
    if (access(existing.c_str(), W_OK | X_OK) != 0) return "the folder " + existing.string() + " is not writable";
    return "";
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) std::fprintf(stderr, "tolvanec: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

std::string MakeTempFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = prefix.find('/') != std::string::npos
                           ? prefix + "-XXXXXX"
                           : std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    return mkdtemp(tmpl.data()) ? tmpl : std::string();
}

std::string CacheBase() {
    std::string base;
    if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.cache";
    else
        base = "/tmp";
    return base + "/tolvanec";
}

std::string CacheFolder(const std::string& source, const std::string& suffix) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string abs = fs::absolute(source, ec).lexically_normal().string();
    char id[32];
    std::snprintf(id, sizeof id, "%016zx", std::hash<std::string>{}(abs));
    return CacheBase() + "/" + fs::path(source).stem().string() + "-" + id + suffix;
}

}  // namespace tvc
