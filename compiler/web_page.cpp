// A program for the browser (web_page.h).
#include "web_page.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "asset_pack.h"
#include "front.h"
#include "precompiled.h"
#include "tool_run.h"

namespace fs = std::filesystem;

namespace tvc {

std::string PageName(const std::string& source) {
    std::string name;
    for (char c : fs::path(source).stem().string())
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return name.empty() ? "program" : name;
}

namespace {

std::string ReadAll(const std::string& path) {
    std::string text;
    ReadTextFile(path, text);
    return text;
}

std::string HtmlText(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

// The name of the game's folder in the browser's storage, where the page keeps the data
// files the program writes: the one the author gave, else the program's name with a
// hash of its title and its archive, so two games of one name on one web site keep
// their saves apart. (A new version has another hash: its page takes over the saves of
// the version it replaces at the same address, see page.html.)
std::string StorageName(const std::string& given, const std::string& name, const std::string& title,
                        const std::string& archive) {
    if (!given.empty()) return given;
    uint64_t h = 14695981039346656037ull;  // FNV-1a, 64 bits
    auto mix = [&h](unsigned char c) { h = (h ^ c) * 1099511628211ull; };
    for (char c : title) mix(static_cast<unsigned char>(c));
    mix('\n');
    std::ifstream in(archive, std::ios::binary);
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        for (std::streamsize i = 0; i < in.gcount(); ++i) mix(static_cast<unsigned char>(buffer[i]));
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return name + "-" + hex;
}

// The assets as the page packs them: the movies among them that the browser cannot
// play converted to WebM, under their own names (a folder of links in `work`, made by
// webmovie, which keeps the converted movies in tolvanec's cache). Where that cannot be
// done the assets go as they are, with a warning: the page then answers that such a
// movie is no movie.
std::string PlayableAssets(const Toolchain& tc, const std::string& assets, const std::string& work) {
    if (assets.empty() || tc.webmovie.empty()) return assets;
    const std::string staged = work + "/assets";
    if (RunTool({tc.webmovie, assets, staged, CacheBase() + "/web-movies"}) == 0) return staged;
    std::fprintf(stderr,
                 "tolvanec: warning: the movies among the assets could not be made playable in the browser; "
                 "they are packed as they are\n");
    return assets;
}

}  // namespace

std::vector<std::string> WebLinkFlags(const Toolchain& tc, bool optimize) {
    return {optimize ? "-O2" : "-O1", "--js-library", tc.jsLibrary};
}

bool MakeWebPage(const Toolchain& tc, const std::string& cpp, const std::string& assets, const PageOptions& page,
                 const std::string& folder, const std::string& work) {
    std::error_code ec;
    fs::create_directories(fs::path(folder) / "synth", ec);
    if (ec) {
        std::fprintf(stderr, "tolvanec: cannot make %s: %s\n", folder.c_str(), ec.message().c_str());
        return false;
    }
    const std::string source = work + "/program.cpp", object = work + "/program.o", log = work + "/emxx.log";
    if (!WriteTextFile(source, cpp)) return false;
    std::vector<std::string> link = {tc.compiler, object, tc.lib, "-o", folder + "/" + page.name + ".js"};
    for (const std::string& flag : WebLinkFlags(tc, page.optimize)) link.push_back(flag);
    link.insert(link.end(), tc.linkFlags.begin(), tc.linkFlags.end());
    if (!CompileTranslation(tc, CompileFlags(tc, false), {"-c", source, "-o", object}, log) ||
        RunTool(link, log, CompilerEnvironment(tc)) != 0) {
        std::fprintf(stderr,
                     "tolvanec: internal error: em++ refused the translated program.\n"
                     "This is a fault of tolvanec, not of the program; please report it with the program.\n%s",
                     ReadAll(log).c_str());
        return false;
    }
    const std::string archive = folder + "/" + page.name + ".sbx";
    if (!PackArchive(tc, PlayableAssets(tc, assets, work), archive, work + "/pack.log")) return false;
    for (const auto& entry : fs::directory_iterator(tc.synth, ec)) {
        fs::copy_file(entry.path(), fs::path(folder) / "synth" / entry.path().filename(),
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "tolvanec: cannot copy %s: %s\n", entry.path().c_str(), ec.message().c_str());
            return false;
        }
    }
    const std::string templ = ReadAll(tc.page);
    if (templ.empty()) {
        std::fprintf(stderr, "tolvanec: cannot read the page template %s\n", tc.page.c_str());
        return false;
    }
    const std::string title = page.title.empty() ? page.name : page.title;
    const std::string storage = StorageName(page.id, page.name, title, archive);
    return WriteTextFile(
        folder + "/index.html",
        Replace(Replace(Replace(Replace(templ, "@NAME@", page.name), "@STORE@", storage), "@TITLE@", HtmlText(title)),
                "@TOUCHKEYS@", page.touchKeys));
}

}  // namespace tvc
