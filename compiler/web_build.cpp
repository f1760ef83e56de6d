// tolvanec build --web / run --web: the program translated by tolvanec itself (`cpp`),
// compiled by em++ against the browser runtime, and a folder that a static web server
// can serve as it is:
//   index.html      the page: the game centred and scaled, a start click where the
//                   browser wants one for sound, a message where WebGL 2 is missing
//   NAME.js, NAME.wasm  the program
//   NAME.sbx        its archive: the assets and the built-in font; movies the browser
//                   cannot play converted to WebM under their own names (webmovie)
//   synth/          the MIDI synthesizer and the soundfont, fetched when MIDI plays
// With --touch-keys the page shows keys of its own on touch devices (touch_keys.h).
#include "web_build.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "front.h"
#include "game_folder.h"
#include "tool_run.h"
#include "toolchain.h"
#include "tolvanec_web_config.h"
#include "touch_keys.h"
#include "usage.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tvc {
namespace {

// What pages are made with: in a build tree with the browser part, the files named by
// tolvanec-web.txt beside tolvanec; elsewhere nothing (emxx empty).
struct WebKit {
    std::string emxx, include, lib, jsLibrary, page, synth, shoebox, webmovie, font, nodePath = "/usr/share/nodejs";
};

const WebKit& Kit() {
    static const WebKit kit = [] {
        WebKit k;
        const std::string self = SelfPath();
        if (self.empty()) return k;
        std::ifstream in(fs::path(self).parent_path() / kWebKitFile);
        for (std::string line; std::getline(in, line);) {
            const size_t eq = line.find('=');
            if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "emxx") k.emxx = value;
            else if (key == "include") k.include = value;
            else if (key == "lib") k.lib = value;
            else if (key == "jslibrary") k.jsLibrary = value;
            else if (key == "page") k.page = value;
            else if (key == "synth") k.synth = value;
            else if (key == "shoebox") k.shoebox = value;
            else if (key == "webmovie") k.webmovie = value;
            else if (key == "font") k.font = value;
            else if (key == "nodepath") k.nodePath = value;
        }
        return k;
    }();
    return kit;
}

struct WebOptions {
    std::string command, source, output, assets;
    std::vector<std::string> settings;  // passed on to `tolvanec cpp`
    std::string title;
    std::string id;  // the folder of the game's saves in the browser's storage; empty: made from the game
    std::string touchKeys;  // the page's on-screen keys as it reads them; empty: none
    int port = 0;
    std::string emxx = Kit().emxx, include = Kit().include, lib = Kit().lib, shoebox = Kit().shoebox,
                font = Kit().font;
};

std::string ReadAll(const std::string& path) {
    std::string text;
    ReadTextFile(path, text);
    return text;
}

// Runs a program and waits; its output goes to `log` when one is named. em++ finds
// the system's own Python and Node modules first.
int Run(const std::vector<std::string>& argv, const std::string& log = "") {
    std::vector<std::string> env;
    bool nodePath = false;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("PATH=", 0) == 0) v = "PATH=/usr/bin:" + v.substr(5);
        if (v.rfind("NODE_PATH=", 0) == 0) nodePath = true;
        env.push_back(v);
    }
    if (!nodePath) env.push_back("NODE_PATH=" + Kit().nodePath);
    return RunTool(argv, log, &env);
}

// The program's name in the folder: letters, digits, '-' and '_' of the file's stem.
std::string PageName(const std::string& source) {
    std::string name;
    for (char c : fs::path(source).stem().string())
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return name.empty() ? "program" : name;
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

// What a page was made from, as one text: the translated program and every file it
// was built with.
std::string BuildKey(const WebOptions& o, const std::string& cpp) {
    std::ostringstream key;
    key << std::hash<std::string>{}(cpp) << '|' << o.emxx << '|' << o.lib << '|' << o.font << '|' << o.id << '|'
        << o.touchKeys;
    std::error_code ec;
    for (const std::string& f : {o.lib, o.font, o.shoebox, Kit().webmovie, Kit().jsLibrary, Kit().page})
        key << '|' << fs::last_write_time(f, ec).time_since_epoch().count();
    for (const std::string& folder : {o.assets, Kit().synth}) {
        if (folder.empty()) continue;
        key << '|' << fs::absolute(folder, ec).string();
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::error_code e2;
            key << '|' << it->path().string() << ':' << (it->is_regular_file(e2) ? it->file_size(e2) : 0) << ':'
                << it->last_write_time(e2).time_since_epoch().count();
        }
    }
    return key.str();
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

// A storage name the author gives: letters, digits, '.', '-' and '_', at most 64, not
// starting with a dot.
bool GoodStorageName(const std::string& id) {
    if (id.empty() || id.size() > 64 || id[0] == '.') return false;
    for (char c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
    return true;
}

// The assets as the page packs them: the movies among them that the browser cannot
// play converted to WebM, under their own names (a folder of links in `work`, made by
// webmovie, which keeps the converted movies in tolvanec's cache). Where that cannot be
// done the assets go as they are, with a warning: the page then answers that such a
// movie is no movie.
std::string PlayableAssets(const std::string& assets, const std::string& work) {
    if (assets.empty() || Kit().webmovie.empty()) return assets;
    const std::string staged = work + "/assets";
    if (Run({Kit().webmovie, assets, staged, CacheBase() + "/web-movies"}) == 0) return staged;
    std::fprintf(stderr,
                 "tolvanec: warning: the movies among the assets could not be made playable in the browser; "
                 "they are packed as they are\n");
    return assets;
}

// Makes the page folder from the translated program.
bool BuildPage(const WebOptions& o, const std::string& work, const std::string& cppPath, const std::string& out) {
    if (o.emxx.empty() || Kit().jsLibrary.empty()) {
        std::fprintf(stderr, "tolvanec: this tolvanec makes no pages for the browser: that needs a build tree "
                             "with em++ and the packages of scripts/install-web-deps.sh\n");
        return false;
    }
    std::error_code ec;
    fs::create_directories(fs::path(out) / "synth", ec);
    if (ec) {
        std::fprintf(stderr, "tolvanec: cannot make %s: %s\n", out.c_str(), ec.message().c_str());
        return false;
    }
    const std::string name = PageName(o.source);
    const std::string log = work + "/emxx.log";
    std::vector<std::string> cmd = {o.emxx, "-std=c++20", "-O2", "-ffp-contract=off", "-w", "-I", o.include, cppPath,
                                    o.lib, "-o", out + "/" + name + ".js", "--js-library", Kit().jsLibrary};
    for (const char* flag : kWebLinkFlags) cmd.push_back(flag);
    if (Run(cmd, log) != 0) {
        std::fprintf(stderr,
                     "tolvanec: internal error: em++ refused the translated program.\n"
                     "This is a fault of tolvanec, not of the program; please report it with the program.\n%s",
                     ReadAll(log).c_str());
        return false;
    }
    std::vector<std::string> pack = {o.shoebox, "pack", out + "/" + name + ".sbx"};
    if (!o.assets.empty()) pack.push_back(PlayableAssets(o.assets, work));
    if (o.assets.empty() || !fs::exists(fs::path(o.assets) / "Smalfont.bmp", ec)) pack.push_back(o.font);
    fs::remove(out + "/" + name + ".sbx", ec);
    if (Run(pack, work + "/pack.log") != 0) {
        std::fprintf(stderr, "tolvanec: packing the assets failed:\n%s", ReadAll(work + "/pack.log").c_str());
        return false;
    }
    for (const auto& entry : fs::directory_iterator(Kit().synth, ec)) {
        fs::copy_file(entry.path(), fs::path(out) / "synth" / entry.path().filename(),
                      fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "tolvanec: cannot copy %s: %s\n", entry.path().c_str(), ec.message().c_str());
            return false;
        }
    }
    const std::string page = ReadAll(Kit().page);
    if (page.empty()) {
        std::fprintf(stderr, "tolvanec: cannot read the page template %s\n", Kit().page.c_str());
        return false;
    }
    const std::string title = o.title.empty() ? name : o.title;
    const std::string storage = StorageName(o.id, name, title, out + "/" + name + ".sbx");
    return WriteTextFile(out + "/index.html", Replace(Replace(Replace(Replace(page, "@NAME@", name), "@STORE@", storage),
                                                              "@TITLE@", HtmlText(title)),
                                                      "@TOUCHKEYS@", o.touchKeys));
}

}  // namespace

bool WantsWeb(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "build") != 0 && std::strcmp(argv[1], "run") != 0)) return false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return false;
        if (std::strcmp(argv[i], "--web") == 0) return true;
    }
    return false;
}

int WebMain(int argc, char** argv) {
    WebOptions o;
    o.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--web") {
        } else if (a == "-o") {
            if (o.command != "build" || !value(o.output)) return Usage();
        } else if (a == "--assets") {
            if (!value(o.assets)) return Usage();
        } else if (a == "--port") {
            char* end = nullptr;
            if (o.command != "run" || !value(v)) return Usage();
            const long port = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || port < 1 || port > 65535) {
                std::fprintf(stderr, "tolvanec: --port needs a whole number from 1 to 65535\n");
                return 2;
            }
            o.port = static_cast<int>(port);
        } else if (a == "--id") {
            if (!value(o.id)) return Usage();
            if (!GoodStorageName(o.id)) {
                std::fprintf(stderr, "tolvanec: --id needs a name of letters, digits, '.', '-' and '_', at most 64, "
                                     "not starting with '.'\n");
                return 2;
            }
        } else if (a == "--touch-keys" || a.rfind("--touch-keys=", 0) == 0) {
            const std::string list = a.size() > 12 ? a.substr(13) : kDefaultTouchKeys;
            std::string error;
            if (!ParseTouchKeys(list, o.touchKeys, error)) {
                std::fprintf(stderr, "tolvanec: --touch-keys: %s\n", error.c_str());
                return 2;
            }
        } else if (a == "--emxx") {
            if (!value(o.emxx)) return Usage();
        } else if (a == "--include") {
            if (!value(o.include)) return Usage();
        } else if (a == "--lib") {
            if (!value(o.lib)) return Usage();
        } else if (a == "--shoebox") {
            if (!value(o.shoebox)) return Usage();
        } else if (a == "--font") {
            if (!value(o.font)) return Usage();
        } else if (a == "--title" || a == "--width" || a == "--height" || a == "--fps") {
            if (!value(v)) return Usage();
            if (a == "--title") o.title = v;
            o.settings.push_back(a);
            o.settings.push_back(v);
        } else if (a == "--fullscreen" || a == "--windowed" || a == "--debug" || a == "--no-mouse") {
            o.settings.push_back(a);
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "tolvanec: unknown option %s%s\n", a.c_str(),
                         a == "--cxx" ? " (the browser build uses --emxx)" : "");
            return Usage();
        } else if (o.source.empty()) {
            o.source = a;
        } else {
            return Usage();
        }
    }
    if (!ChooseProgramAndAssets(o.source, o.assets, true)) return 2;
    std::error_code ec;
    std::string out = o.output;
    if (o.command == "build") {
        if (out.empty()) {
            fs::path p(o.source);
            out = (p.extension() == ".bas" ? p.replace_extension() : p.concat(".out")).string() + "-web";
        }
        // Checked before any work: a place that cannot be written is a wrong command line.
        if (const std::string problem = OutputProblem(out, true); !problem.empty()) {
            std::fprintf(stderr, "tolvanec: cannot write %s: %s\n", out.c_str(), problem.c_str());
            return 2;
        }
    }

    const std::string work = MakeTempFolder("tolvanec-web");
    if (work.empty()) {
        std::fprintf(stderr, "tolvanec: cannot make a temporary folder\n");
        return 1;
    }
    struct Cleanup {
        std::string dir;
        ~Cleanup() {
            std::error_code e;
            fs::remove_all(dir, e);
        }
    } cleanup{work};

    // The translation and its error reports are tolvanec's own `cpp` command.
    const std::string cppPath = work + "/program.cpp";
    std::vector<std::string> translate = {SelfPath(), "cpp", o.source, "-o", cppPath};
    translate.insert(translate.end(), o.settings.begin(), o.settings.end());
    if (Run(translate) != 0) return 1;

    if (o.command == "build") return BuildPage(o, work, cppPath, out) ? 0 : 1;
    // run: rebuild only when something the page is made from changed, then serve it.
    const std::string folder = CacheFolder(o.source, "-web");
    fs::create_directories(folder, ec);
    const std::string key = BuildKey(o, ReadAll(cppPath));
    if (ReadAll(folder + "/build-key") != key || !fs::exists(folder + "/index.html", ec)) {
        fs::remove(folder + "/build-key", ec);
        if (!BuildPage(o, work, cppPath, folder)) return 1;
        WriteTextFile(folder + "/build-key", key);
    }
    return ServeFolder(folder, o.port);
}

}  // namespace tvc
