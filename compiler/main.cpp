// tolvanec: the Tolvane BASIC compiler.
//
//   tolvanec check FILE.bas                      report the program's errors, write nothing
//   tolvanec cpp FILE.bas [-o FILE.cpp] [--entry FILE.cpp]
//                                                write the C++ (to standard output without -o);
//                                                with --entry, main() goes to a file of its own
//   tolvanec build FILE.bas [-o PROGRAM]         make a program (default: FILE without .bas)
//   tolvanec run FILE.bas [-- ARGS...]           build into the cache folder and start it
//   tolvanec build|run --web FILE.bas ...        the same for the browser (web_build.h)
//   tolvanec new NAME                            make a folder with a small starting game
//   tolvanec lsp [--stdio]                       the language server, on standard input/output
//   tolvanec dap                                 the debugger for editors, on standard input/output
//   tolvanec help                                the usage (usage.h), on standard output
//
// Without FILE.bas, the program of the current folder (a game folder, see game_folder.h).
//
// Options of build and run:
//   --assets DIR    pack DIR's files into the program file (a single-file game); without
//                   it, the folder assets/ beside the program when there is one
//   --title TEXT  --width N  --height N  --fps N  --fullscreen  --windowed  --debug
//   --no-mouse      build settings; they win over the program's SETTINGS line
//   --cxx PATH  --include DIR  --lib FILE  --shoebox PATH  --font FILE
//                   the C++ compiler, the runtime's headers, library, archive tool and
//                   built-in font (defaults: found from tolvanec's own place, see toolchain.h)
//
// Exit status: 0 when all went well (run: the program's own status), 1 for errors in
// the program or a failed build step, 2 for a wrong command line (an unknown command or
// option, or an output place that cannot be written). The manual page, package/tolvanec.1,
// describes all of it for people; keep it in step.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>

#include "emit.h"
#include "front.h"
#include "game_folder.h"
#include "dap/server.h"
#include "lsp/server.h"
#include "tool_run.h"
#include "toolchain.h"
#include "usage.h"
#include "web_build.h"

namespace fs = std::filesystem;

namespace {

using tvc::Usage;

struct Options {
    std::string command, source, output, entry, assets;
    std::vector<std::string> programArgs;
    tvc::Settings settings;  // from the command line; they win over the program's SETTINGS line
    std::string cxx, include, lib, shoebox, font;
    tvc::Toolchain toolchain;
};

// Reads, checks and translates the program; errors and warnings are printed. False
// when it has errors. `debug`: whether it is a debug build (the command line's or the
// program's own setting).
bool Translate(const Options& o, std::string& cpp, std::string* entry, bool& debug) {
    std::string text;
    if (!tvc::ReadTextFile(o.source, text)) {
        std::fprintf(stderr, "tolvanec: cannot read %s\n", o.source.c_str());
        return false;
    }
    const std::unique_ptr<tvc::Analysis> a = tvc::Analyze(o.source, text, tvc::ReadTextFile);
    const tvc::Diagnostics& diag = a->diag;
    if (!diag.Items().empty()) std::fputs(diag.Text().c_str(), stderr);
    if (diag.Count() > 0) {
        std::fprintf(stderr, "%d error%s\n", diag.Count(), diag.Count() == 1 ? "" : "s");
        return false;
    }
    tvc::Settings settings = tvc::Settings::Defaults(fs::path(o.source).stem().string());
    settings.Apply(a->program.settings);
    settings.Apply(o.settings);
    cpp = tvc::EmitCpp(a->program, settings, entry);
    debug = *settings.debug != 0;
    return true;
}

// Compiles the C++ into `program` and packs the assets and the built-in font into it. A
// debug build carries debugging information (naming the BASIC lines) and is optimised
// only as far as debugging allows.
bool Build(const Options& o, const std::string& cpp, const std::string& program, bool debug) {
    if (std::string missing = tvc::MissingFile({o.include + "/tolvane.h", o.lib, o.shoebox, o.font}, o.toolchain.where);
        !missing.empty()) {
        std::fprintf(stderr, "tolvanec: cannot make programs: %s\n", missing.c_str());
        return false;
    }
    std::string work = tvc::MakeTempFolder("tolvanec");
    if (work.empty()) {
        std::fprintf(stderr, "tolvanec: cannot make a temporary folder\n");
        return false;
    }
    struct Cleanup {
        std::string dir;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } cleanup{work};
    const std::string source = work + "/program.cpp", log = work + "/cxx.log";
    if (!tvc::WriteTextFile(source, cpp)) return false;
    std::vector<std::string> cmd = {o.cxx, "-std=c++20", debug ? "-Og" : "-O2", "-ffp-contract=off", "-w", "-I",
                                    o.include, source, "-o", program, o.lib};
    if (debug) cmd.insert(cmd.begin() + 1, "-g");
    // clang stops at 256 nested brackets by default; the language allows deeper nesting.
    if (fs::path(o.cxx).filename().string().find("clang") != std::string::npos)
        cmd.insert(cmd.begin() + 1, "-fbracket-depth=4096");
    for (const std::string& flag : o.toolchain.linkFlags) cmd.push_back(flag);
    if (tvc::RunTool(cmd, log) != 0) {
        std::string text;
        tvc::ReadTextFile(log, text);
        std::fprintf(stderr,
                     "tolvanec: internal error: the C++ compiler refused the translated program.\n"
                     "This is a fault of tolvanec, not of the program; please report it with the program.\n%s",
                     text.c_str());
        return false;
    }
    std::vector<std::string> pack = {o.shoebox, "pack", work + "/assets.sbx"};
    std::error_code ec;
    if (!o.assets.empty()) pack.push_back(o.assets);
    if (o.assets.empty() || !fs::exists(fs::path(o.assets) / "Smalfont.bmp", ec)) pack.push_back(o.font);
    if (tvc::RunTool(pack, work + "/pack.log") != 0 ||
        tvc::RunTool({o.shoebox, "append", program, work + "/assets.sbx"}, work + "/pack.log") != 0) {
        std::string text;
        tvc::ReadTextFile(work + "/pack.log", text);
        std::fprintf(stderr, "tolvanec: packing the assets failed:\n%s", text.c_str());
        return false;
    }
    return true;
}

// What the cached program was made from, as one text.
std::string BuildKey(const Options& o, const std::string& cpp) {
    std::ostringstream key;
    key << std::hash<std::string>{}(cpp) << '|' << o.cxx << '|' << o.include << '|' << o.lib << '|' << o.font;
    std::error_code ec;
    for (const std::string& f : {o.lib, o.font, o.shoebox})
        key << '|' << fs::last_write_time(f, ec).time_since_epoch().count();
    if (!o.assets.empty()) {
        key << '|' << fs::absolute(o.assets, ec).string();
        for (auto it = fs::recursive_directory_iterator(o.assets, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::error_code e2;
            key << '|' << it->path().string() << ':' << (it->is_regular_file(e2) ? it->file_size(e2) : 0) << ':'
                << it->last_write_time(e2).time_since_epoch().count();
        }
    }
    return key.str();
}

// True when `path` can be written; else says why on standard error.
bool CanWrite(const std::string& path, bool folder = false) {
    const std::string problem = tvc::OutputProblem(path, folder);
    if (problem.empty()) return true;
    std::fprintf(stderr, "tolvanec: cannot write %s: %s\n", path.c_str(), problem.c_str());
    return false;
}

int Main(int argc, char** argv) {
    if (argc < 2) return Usage();
    Options o;
    o.command = argv[1];
    if (o.command == "help" || o.command == "--help" || o.command == "-h") {
        std::fputs(tvc::kUsageText, stdout);
        return 0;
    }
    if (std::find(std::begin(tvc::kCommands), std::end(tvc::kCommands), o.command) == std::end(tvc::kCommands)) {
        std::fprintf(stderr, "tolvanec: %s\n", tvc::UnknownCommand(o.command).c_str());
        return Usage();
    }
    o.toolchain = tvc::LocateToolchain();
    // Clients that start servers over pipes often add --stdio; it is what the server does anyway.
    if (o.command == "lsp")
        return argc == 2 || (argc == 3 && std::string(argv[2]) == "--stdio") ? tvc::lsp::Serve(0, 1) : Usage();
    if (o.command == "dap") return argc == 2 ? tvc::dap::Serve(0, 1) : Usage();
    if (o.command == "new") return argc == 3 ? tvc::MakeGameFolder(argv[2], o.toolchain.docs) : Usage();
    o.cxx = o.toolchain.cxx;
    o.include = o.toolchain.include;
    o.lib = o.toolchain.lib;
    o.shoebox = o.toolchain.shoebox;
    o.font = o.toolchain.font;
    if (o.command != "check" && o.command != "cpp" && o.command != "build" && o.command != "run") return Usage();
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--") {
            if (o.command != "run") return Usage();
            o.programArgs.assign(argv + i + 1, argv + argc);
            break;
        } else if (a == "-o") {
            if (!value(o.output)) return Usage();
        } else if (a == "--entry") {
            if (o.command != "cpp" || !value(o.entry)) return Usage();
        } else if (a == "--assets") {
            if (!value(o.assets)) return Usage();
        } else if (a == "--cxx") {
            if (!value(o.cxx)) return Usage();
        } else if (a == "--include") {
            if (!value(o.include)) return Usage();
        } else if (a == "--lib") {
            if (!value(o.lib)) return Usage();
        } else if (a == "--shoebox") {
            if (!value(o.shoebox)) return Usage();
        } else if (a == "--font") {
            if (!value(o.font)) return Usage();
        } else if (a == "--title") {
            if (!value(v)) return Usage();
            o.settings.title = v;
        } else if (const tvc::NumberSetting* setting = tvc::SettingByOption(a); setting) {
            // --width, --height, --fps: a whole number in range, tested before it becomes an int
            char* end = nullptr;
            const double number = value(v) ? std::strtod(v.c_str(), &end) : 0;
            const std::optional<int> n =
                end && end != v.c_str() && *end == 0 ? tvc::SettingValue(*setting, number) : std::nullopt;
            if (!n) {
                std::fprintf(stderr, "tolvanec: %s needs a whole number from %d to %d\n", a.c_str(), setting->lo,
                             setting->hi);
                return 2;
            }
            o.settings.*setting->field = *n;
        } else if (a == "--fullscreen" || a == "--windowed") {
            o.settings.fullscreen = a == "--fullscreen";
        } else if (a == "--debug") {
            o.settings.debug = 1;
        } else if (a == "--no-mouse") {
            o.settings.mouse = 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "tolvanec: unknown option %s\n", a.c_str());
            return Usage();
        } else if (o.source.empty()) {
            o.source = a;
        } else {
            return Usage();
        }
    }
    if (!tvc::ChooseProgramAndAssets(o.source, o.assets, o.command == "build" || o.command == "run")) return 2;
    // Where the files go is checked before any work: a wrong place is a wrong command line.
    std::string program = o.output;
    if (o.command == "build" && program.empty()) {
        fs::path p(o.source);
        program = (p.extension() == ".bas" ? p.replace_extension() : p.concat(".out")).string();
    }
    if (o.command == "build" && !CanWrite(program)) return 2;
    if (o.command == "cpp" && ((!o.output.empty() && !CanWrite(o.output)) || (!o.entry.empty() && !CanWrite(o.entry))))
        return 2;

    std::string cpp, entry;
    bool debug = false;
    if (!Translate(o, cpp, o.entry.empty() ? nullptr : &entry, debug)) return 1;
    if (o.command == "check") return 0;
    if (o.command == "cpp") {
        if (!o.entry.empty() && !tvc::WriteTextFile(o.entry, entry)) return 1;
        if (o.output.empty()) {
            std::fputs(cpp.c_str(), stdout);
            return 0;
        }
        return tvc::WriteTextFile(o.output, cpp) ? 0 : 1;
    }
    if (o.command == "build") return Build(o, cpp, program, debug) ? 0 : 1;
    // run: rebuild only when something it was made from changed.
    std::error_code ec;
    std::string folder = tvc::CacheFolder(o.source, "");
    fs::create_directories(folder, ec);
    program = folder + "/" + fs::path(o.source).stem().string();
    std::string key = BuildKey(o, cpp), oldKey;
    tvc::ReadTextFile(folder + "/build-key", oldKey);
    if (oldKey != key || !fs::exists(program, ec)) {
        fs::remove(folder + "/build-key", ec);
        if (!Build(o, cpp, program, debug)) return 1;
        tvc::WriteTextFile(folder + "/build-key", key);
    }
    std::vector<std::string> args = {program};
    args.insert(args.end(), o.programArgs.begin(), o.programArgs.end());
    std::fflush(stdout);
    return tvc::RunTool(args);
}

}  // namespace

int main(int argc, char** argv) { return tvc::WantsWeb(argc, argv) ? tvc::WebMain(argc, argv) : Main(argc, argv); }
