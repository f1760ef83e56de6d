#include "support/child.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {
std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
}  // namespace

namespace {
ChildResult Run(const std::string& progPath, const std::vector<std::string>& arguments,
                const std::vector<std::string>& extraEnv, const std::string& priorLog) {
    namespace fs = std::filesystem;
    ChildResult r;
    const char* prog = progPath.c_str();
    char tmpl[] = "/tmp/tolvane-scenario-XXXXXX";
    fs::path dir = mkdtemp(tmpl);
    if (!priorLog.empty()) std::ofstream(dir / "ErrorLog.txt", std::ios::binary) << priorLog;
    fs::path outFile = dir / "stdout.txt", errFile = dir / "stderr.txt";

    // The extra entries (and TMPDIR) replace the parent's entries of the same name.
    std::vector<std::string> own = extraEnv;
    own.push_back("TMPDIR=" + dir.string());
    auto named = [&](const std::string& entry) {
        std::string name = entry.substr(0, entry.find('=') + 1);
        for (const auto& o : own)
            if (o.rfind(name, 0) == 0) return true;
        return false;
    };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (!named(*e)) env.emplace_back(*e);
    for (const auto& e : own) env.push_back(e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args = {progPath};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, prog, &fa, nullptr, argv.data(), envp.data()) == 0) {
        int st = 0;
        waitpid(pid, &st, 0);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    r.out = ReadAll(outFile);
    r.err = ReadAll(errFile);
    r.logExists = fs::exists(dir / "ErrorLog.txt");
    if (r.logExists) r.log = ReadAll(dir / "ErrorLog.txt");
    fs::remove_all(dir);
    return r;
}
}  // namespace

ChildResult RunProgram(const std::string& program, const std::string& argument, const std::vector<std::string>& env) {
    return Run(program, {argument}, env, "");
}

ChildResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& env) {
    return Run(program, arguments, env, "");
}

ChildResult RunScenario(const std::string& scenario, const std::vector<std::string>& extraEnv,
                        const std::string& priorLog) {
    // The scenario program is built beside the test binary.
    namespace fs = std::filesystem;
    return Run((fs::read_symlink("/proc/self/exe").parent_path() / "scenario_prog").string(), {scenario}, extraEnv,
               priorLog);
}
