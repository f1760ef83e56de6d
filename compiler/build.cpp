// Translating and building a program for either target (build.h).
#include "build.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "build_cache.h"
#include "emit.h"
#include "front.h"
#include "game_folder.h"
#include "native_program.h"
#include "tool_run.h"
#include "web_page.h"
#include "web_serve.h"

namespace fs = std::filesystem;

namespace tvc {

namespace {

struct Translation {
    std::string cpp, entry;
    bool debug = false;  // the command line's or the program's own setting
};

// Reads, checks and translates the program; errors and warnings are printed. False
// when it has errors.
bool Translate(const BuildOptions& o, Translation& t) {
    std::string text;
    if (!ReadTextFile(o.source, text)) {
        std::fprintf(stderr, "tolvanec: cannot read %s\n", o.source.c_str());
        return false;
    }
    const std::unique_ptr<Analysis> a = Analyze(o.source, text, ReadTextFile);
    const Diagnostics& diag = a->diag;
    if (!diag.Items().empty()) std::fputs(diag.Text().c_str(), stderr);
    if (diag.Count() > 0) {
        std::fprintf(stderr, "%d error%s\n", diag.Count(), diag.Count() == 1 ? "" : "s");
        return false;
    }
    Settings settings = Settings::Defaults(fs::path(o.source).stem().string());
    settings.Apply(a->program.settings);
    settings.Apply(o.settings);
    t.cpp = EmitCpp(a->program, settings, o.entry.empty() ? nullptr : &t.entry);
    t.debug = *settings.debug != 0;
    return true;
}

// True when `path` can be written; else says why on standard error.
bool CanWrite(const std::string& path, bool folder = false) {
    const std::string problem = OutputProblem(path, folder);
    if (problem.empty()) return true;
    std::fprintf(stderr, "tolvanec: cannot write %s: %s\n", path.c_str(), problem.c_str());
    return false;
}

// False, with the reason, when the toolchain cannot make programs here.
bool ToolchainReady(const Toolchain& tc) {
    const bool web = tc.target == Target::Web;
    if (web && tc.compiler.empty()) {
        std::fprintf(stderr,
                     "tolvanec: this tolvanec makes no pages for the browser: %s was built without em++ "
                     "and the packages of scripts/install-web-deps.sh\n",
                     tc.where.c_str());
        return false;
    }
    if (const std::string missing = MissingFile(NeededFiles(tc), tc.where); !missing.empty()) {
        std::fprintf(stderr, "tolvanec: cannot make %s: %s\n", web ? "pages for the browser" : "programs",
                     missing.c_str());
        return false;
    }
    if (FindProgram(tc.compiler).empty()) {
        std::fprintf(stderr, "tolvanec: cannot make %s: %s is not installed%s\n",
                     web ? "pages for the browser" : "programs", tc.compiler.c_str(),
                     web ? " (Debian's package emscripten has it)" : "");
        return false;
    }
    return true;
}

// A folder of this build's files in between, removed at the end.
struct WorkFolder {
    std::string dir = MakeTempFolder("tolvanec");
    WorkFolder() {
        if (dir.empty()) std::fprintf(stderr, "tolvanec: cannot make a temporary folder\n");
    }
    ~WorkFolder() {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
};

// Makes the product in its folder of the cache unless the one there is up to date;
// `product` is the program file or the page's index.html.
bool MakeProduct(const BuildOptions& o, const Translation& t, const std::string& folder, const std::string& product) {
    const bool web = o.target == Target::Web;
    const PageOptions page{PageName(o.source), o.settings.title.value_or(""), o.id, o.touchKeys, o.optimize};
    std::vector<std::string> flags = CompileFlags(o.toolchain, t.debug);
    if (web) {
        const std::vector<std::string> link = WebLinkFlags(o.toolchain, o.optimize);
        flags.insert(flags.end(), link.begin(), link.end());
    }
    const std::string key = BuildKey(o.toolchain, t.cpp, flags, o.assets, {page.title, page.id, page.touchKeys});
    if (UpToDate(folder, key, product)) return true;
    ForgetKey(folder);
    WorkFolder work;
    if (work.dir.empty()) return false;
    if (web) return MakeWebPage(o.toolchain, t.cpp, o.assets, page, folder, work.dir) && RecordKey(folder, key);
    // Made aside and moved into place whole: a program file that is running cannot be
    // written over, but it can be replaced.
    const std::string made = folder + "/.new-" + fs::path(product).filename().string();
    std::error_code ec;
    if (!MakeNativeProgram(o.toolchain, t.cpp, t.debug, o.assets, made, work.dir)) {
        fs::remove(made, ec);
        return false;
    }
    fs::rename(made, product, ec);
    if (ec) {
        std::fprintf(stderr, "tolvanec: cannot write %s: %s\n", product.c_str(), ec.message().c_str());
        return false;
    }
    return RecordKey(folder, key);
}

// Copies the product to the output: a program file replaced whole, or the page's files
// into the folder (all but the key).
bool CopyOut(const BuildOptions& o, const std::string& folder, const std::string& product, const std::string& out) {
    std::error_code ec;
    if (o.target == Target::Native) {
        const std::string aside = out + ".tolvanec-new";
        fs::copy_file(product, aside, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::rename(aside, out, ec);
        if (ec) {
            fs::remove(aside, ec);
            std::fprintf(stderr, "tolvanec: cannot write %s: %s\n", out.c_str(), ec.message().c_str());
            return false;
        }
        return true;
    }
    fs::create_directories(out, ec);
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const fs::path rel = fs::relative(it->path(), folder, ec);
        if (ec) break;
        if (rel == kBuildKeyFile || rel == kSourceFile || rel == kLockFile) continue;
        if (it->is_directory(ec))
            fs::create_directories(fs::path(out) / rel, ec);
        else
            fs::copy_file(it->path(), fs::path(out) / rel, fs::copy_options::overwrite_existing, ec);
    }
    if (ec) std::fprintf(stderr, "tolvanec: cannot write %s: %s\n", out.c_str(), ec.message().c_str());
    return !ec;
}

}  // namespace

int BuildCommand(BuildOptions o) {
    const bool web = o.target == Target::Web;
    const bool makes = o.command == "build" || o.command == "run";
    if (!ChooseProgramAndAssets(o.source, o.assets, makes)) return 2;
    // Where the files go is checked before any work: a wrong place is a wrong command line.
    const std::string out = o.output.empty() ? DefaultOutput(o) : o.output;
    if (o.command == "build" && !CanWrite(out, web)) return 2;
    if (o.command == "cpp" && ((!o.output.empty() && !CanWrite(o.output)) || (!o.entry.empty() && !CanWrite(o.entry))))
        return 2;

    Translation t;
    if (!Translate(o, t)) return 1;
    if (o.command == "check") return 0;
    if (o.command == "cpp") {
        if (!o.entry.empty() && !WriteTextFile(o.entry, t.entry)) return 1;
        if (o.output.empty()) {
            std::fputs(t.cpp.c_str(), stdout);
            return 0;
        }
        return WriteTextFile(o.output, t.cpp) ? 0 : 1;
    }

    if (!ToolchainReady(o.toolchain)) return 1;
    // Without a cache folder that can be written, `build` makes its product in a
    // folder of its own, kept no longer than the build.
    std::string folder = ProductFolder(o.source, o.target);
    std::optional<WorkFolder> uncached;
    if (folder.empty() && o.command == "build") folder = uncached.emplace().dir;
    if (folder.empty()) return 1;
    const std::string product = folder + "/" + (web ? std::string("index.html") : fs::path(o.source).stem().string());
    {
        const ProductLock lock(folder);
        if (!MakeProduct(o, t, folder, product)) return 1;
        if (o.command == "build") return CopyOut(o, folder, product, out) ? 0 : 1;
    }
    if (web) return ServeFolder(folder, o.port);
    std::vector<std::string> args = {product};
    args.insert(args.end(), o.programArgs.begin(), o.programArgs.end());
    std::fflush(stdout);
    return RunTool(args);
}

}  // namespace tvc
