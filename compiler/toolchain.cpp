// Finding the toolchain from tolvanec's own place (see toolchain.h).
#include "toolchain.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "toolchain_config.h"

namespace fs = std::filesystem;

namespace tvc {

std::string SelfPath() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

namespace {

// key=value lines; relative values are taken from `dir`.
bool ReadLayoutFile(const fs::path& file, const fs::path& dir, Toolchain& tc) {
    std::ifstream in(file);
    if (!in) return false;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        fs::path value = line.substr(eq + 1);
        if (key != "cxx" && value.is_relative()) value = dir / value;
        const std::string v = value.lexically_normal().string();
        if (key == "cxx") tc.cxx = v;
        else if (key == "include") tc.include = v;
        else if (key == "lib") tc.lib = v;
        else if (key == "shoebox") tc.shoebox = v;
        else if (key == "font") tc.font = v;
        else if (key == "docs") tc.docs = v;
    }
    return true;
}

}  // namespace

Toolchain LocateToolchain() {
    Toolchain tc;
    for (const char* flag : kTvcLinkFlags) tc.linkFlags.push_back(flag);
    std::string self = SelfPath();
    fs::path dir = self.empty() ? fs::current_path() : fs::path(self).parent_path();
    if (ReadLayoutFile(dir / kTvcBuildTreeFile, dir, tc)) {
        tc.where = "the build tree " + dir.parent_path().string();
    } else {
        auto at = [&](const char* rel) { return (dir / rel).lexically_normal().string(); };
        tc.cxx = "c++";
        tc.include = at(kTvcInstalledInclude);
        tc.lib = at(kTvcInstalledLib);
        tc.shoebox = at(kTvcInstalledShoebox);
        tc.font = at(kTvcInstalledFont);
        tc.docs = at(kTvcInstalledDocs);
        std::string prefix = at(kTvcInstalledPrefix);
        if (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
        tc.where = "the installed tree " + prefix;
    }
    if (const char* env = std::getenv("CXX"); env && *env) tc.cxx = env;
    return tc;
}

std::string MissingFile(const std::vector<std::string>& files, const std::string& where) {
    std::error_code ec;
    for (const std::string& f : files)
        if (!fs::exists(f, ec)) return f + " is missing (tolvanec looks for it in " + where + ")";
    return "";
}

}  // namespace tvc
