// The runtime's header precompiled in the cache (precompiled.h).
#include "precompiled.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "tool_run.h"

namespace fs = std::filesystem;

namespace tvc {

namespace {

// Which compiler makes it, and how: a precompiled header serves that one only.
std::string CompilerKey(const Toolchain& tc, const std::vector<std::string>& flags) {
    std::ostringstream key;
    std::error_code ec;
    const std::string compiler = FindProgram(tc.compiler);
    key << compiler << ':' << fs::last_write_time(compiler, ec).time_since_epoch().count() << '|' << tc.include;
    for (const std::string& f : flags) key << '|' << f;
    return key.str();
}

// The state of the headers: every header of the include folder with its time.
std::string HeadersKey(const Toolchain& tc) {
    std::ostringstream key;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(tc.include, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::error_code e2;
        if (it->path().extension() == ".h")
            key << '|' << it->path().string() << ':' << it->last_write_time(e2).time_since_epoch().count();
    }
    return key.str();
}

std::string Hex(const std::string& text) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "%016zx", std::hash<std::string>{}(text));
    return hex;
}

}  // namespace

std::vector<std::string> PrecompiledHeaderFlags(const Toolchain& tc, const std::vector<std::string>& flags) {
    // pch-COMPILER-HEADERS, each a hash.
    const bool web = tc.target == Target::Web;
    const std::string prefix = "pch-" + Hex(CompilerKey(tc, flags)) + "-";
    const fs::path base = CacheBase(), folder = base / (prefix + Hex(HeadersKey(tc)));
    const std::string stub = (folder / "tolvane.h").string(), compiled = stub + (web ? ".pch" : ".gch");
    std::error_code ec;
    if (fs::exists(compiled, ec)) return {"-include", stub};

    // The compiler notes the header's own path in what it makes, so it is made in its
    // place, under a name of this process's, and renamed when whole: a build beside
    // this one never sees half of it.
    fs::create_directories(folder, ec);
    const std::string mine = "." + std::to_string(getpid());
    if (!WriteTextFile(stub + mine, "#include \"" + tc.include + "/tolvane.h\"\n")) return {};
    fs::rename(stub + mine, stub, ec);
    std::vector<std::string> cmd = {tc.compiler};
    cmd.insert(cmd.end(), flags.begin(), flags.end());
    cmd.insert(cmd.end(), {"-I", tc.include, "-x", "c++-header", stub, "-o", compiled + mine});
    const bool made = !ec && RunTool(cmd, compiled + mine + ".log", CompilerEnvironment(tc)) == 0;
    fs::remove(compiled + mine + ".log", ec);
    if (made) fs::rename(compiled + mine, compiled, ec);
    if (!made || ec) {
        fs::remove(compiled + mine, ec);
        return {};
    }
    // The same compiler's headers of an earlier state of the headers are of no more use.
    for (auto it = fs::directory_iterator(base, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0 && it->path() != folder) {
            std::error_code e2;
            fs::remove_all(it->path(), e2);
        }
    }
    return {"-include", stub};
}

bool CompileTranslation(const Toolchain& tc, const std::vector<std::string>& flags,
                        const std::vector<std::string>& rest, const std::string& log) {
    const std::vector<std::string> pch = PrecompiledHeaderFlags(tc, flags);
    auto compile = [&](bool withPch) {
        std::vector<std::string> cmd = {tc.compiler};
        cmd.insert(cmd.end(), flags.begin(), flags.end());
        if (withPch) cmd.insert(cmd.end(), pch.begin(), pch.end());
        cmd.insert(cmd.end(), {"-I", tc.include});
        cmd.insert(cmd.end(), rest.begin(), rest.end());
        return RunTool(cmd, log, CompilerEnvironment(tc)) == 0;
    };
    return (!pch.empty() && compile(true)) || compile(false);
}

}  // namespace tvc
