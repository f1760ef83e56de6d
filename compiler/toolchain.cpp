// Finding the toolchain from tolvanec's own place (see toolchain.h).
#include "toolchain.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tolvanec_web_config.h"
#include "toolchain_config.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tvc {

std::string SelfPath() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

std::string FindProgram(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::istringstream dirs(std::string("/usr/bin:") + (path ? path : ""));
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

namespace {

// key=value lines; relative values are taken from `dir`, except a compiler's, which
// PATH finds.
bool ReadLayoutFile(const fs::path& file, const fs::path& dir, Toolchain& tc) {
    std::ifstream in(file);
    if (!in) return false;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        fs::path value = line.substr(eq + 1);
        const bool program = key == "cxx" || key == "emxx";
        if (!program && !value.empty() && value.is_relative()) value = dir / value;
        const std::string v = value.empty() ? std::string() : value.lexically_normal().string();
        if (key == "cxx" || key == "emxx") tc.compiler = v;
        else if (key == "include") tc.include = v;
        else if (key == "lib") tc.lib = v;
        else if (key == "shoebox") tc.shoebox = v;
        else if (key == "font") tc.font = v;
        else if (key == "docs") tc.docs = v;
        else if (key == "jslibrary") tc.jsLibrary = v;
        else if (key == "page") tc.page = v;
        else if (key == "synth") tc.synth = v;
        else if (key == "webmovie") tc.webmovie = v;
        else if (key == "nodepath") tc.nodePath = v;
    }
    return true;
}

}  // namespace

Toolchain LocateToolchain(Target target) {
    Toolchain tc;
    tc.target = target;
    const bool web = target == Target::Web;
    if (web) {
        for (const char* flag : kWebLinkFlags) tc.linkFlags.push_back(flag);
    } else {
        for (const char* flag : kTvcLinkFlags) tc.linkFlags.push_back(flag);
    }
    std::string self = SelfPath();
    fs::path dir = self.empty() ? fs::current_path() : fs::path(self).parent_path();
    // The build tree's web file names only what differs; the rest is the native one's.
    if (ReadLayoutFile(dir / kTvcBuildTreeFile, dir, tc)) {
        tc.where = "the build tree " + dir.parent_path().string();
        if (web) {
            tc.compiler.clear();
            ReadLayoutFile(dir / kWebKitFile, dir, tc);
        }
    } else {
        auto at = [&](const char* rel) { return (dir / rel).lexically_normal().string(); };
        tc.compiler = web ? "em++" : "c++";
        tc.include = at(kTvcInstalledInclude);
        tc.lib = at(web ? kTvcInstalledWebLib : kTvcInstalledLib);
        tc.shoebox = at(kTvcInstalledShoebox);
        tc.font = at(kTvcInstalledFont);
        tc.docs = at(kTvcInstalledDocs);
        if (web) {
            tc.jsLibrary = at(kTvcInstalledWebJs);
            tc.page = at(kTvcInstalledWebPage);
            tc.synth = at(kTvcInstalledWebSynth);
            tc.webmovie = at(kTvcInstalledWebmovie);
            tc.nodePath = "/usr/share/nodejs";
            std::error_code ec;
            if (!fs::exists(tc.webmovie, ec)) tc.webmovie.clear();
        }
        std::string prefix = at(kTvcInstalledPrefix);
        if (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
        tc.where = "the installed tree " + prefix;
    }
    if (const char* env = std::getenv("CXX"); !web && env && *env) tc.compiler = env;
    return tc;
}

std::vector<std::string> NeededFiles(const Toolchain& tc) {
    std::vector<std::string> files = {tc.include + "/tolvane.h", tc.lib, tc.shoebox, tc.font};
    if (tc.target == Target::Web) files.insert(files.end(), {tc.jsLibrary, tc.page, tc.synth});
    return files;
}

std::vector<std::string> CompileFlags(const Toolchain& tc, bool debug) {
    if (tc.target == Target::Web) return {"-std=c++20", "-O2", "-ffp-contract=off", "-w"};
    std::vector<std::string> flags = {"-std=c++20", debug ? "-Og" : "-O2", "-ffp-contract=off", "-w"};
    if (debug) flags.insert(flags.begin(), "-g");
    // clang stops at 256 nested brackets by default; the language allows deeper nesting.
    if (fs::path(tc.compiler).filename().string().find("clang") != std::string::npos)
        flags.insert(flags.begin(), "-fbracket-depth=4096");
    return flags;
}

const std::vector<std::string>* CompilerEnvironment(const Toolchain& tc) {
    if (tc.target != Target::Web) return nullptr;
    static std::vector<std::string> env;
    env.clear();
    bool nodePath = false;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("PATH=", 0) == 0) v = "PATH=/usr/bin:" + v.substr(5);
        if (v.rfind("NODE_PATH=", 0) == 0) nodePath = true;
        env.push_back(v);
    }
    if (!nodePath && !tc.nodePath.empty()) env.push_back("NODE_PATH=" + tc.nodePath);
    env.push_back("EMCC_SKIP_SANITY_CHECK=1");
    return &env;
}

std::string MissingFile(const std::vector<std::string>& files, const std::string& where) {
    std::error_code ec;
    for (const std::string& f : files)
        if (!fs::exists(f, ec)) return f + " is missing (tolvanec looks for it in " + where + ")";
    return "";
}

}  // namespace tvc
