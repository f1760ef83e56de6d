// tolvanec's command line for check, cpp, build and run (build_options.h).
#include "build_options.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "touch_keys.h"
#include "usage.h"

namespace fs = std::filesystem;

namespace tvc {

namespace {

// A storage name the author gives: letters, digits, '.', '-' and '_', at most 64, not
// starting with a dot.
bool GoodStorageName(const std::string& id) {
    if (id.empty() || id.size() > 64 || id[0] == '.') return false;
    for (char c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
    return true;
}

// The target the command line asks for: the browser when --web comes before any "--".
Target ChosenTarget(int argc, char** argv) {
    const std::string command = argv[1];
    if (command != "build" && command != "run") return Target::Native;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "--web") == 0) return Target::Web;
    }
    return Target::Native;
}

}  // namespace

std::optional<BuildOptions> ParseBuildOptions(int argc, char** argv, int& status) {
    status = 2;
    BuildOptions o;
    o.command = argv[1];
    o.target = ChosenTarget(argc, argv);
    o.toolchain = LocateToolchain(o.target);
    const bool web = o.target == Target::Web;
    const auto wrong = [&status]() -> std::optional<BuildOptions> {
        status = Usage();
        return std::nullopt;
    };
    const auto said = [](const char* format, const std::string& what) -> std::optional<BuildOptions> {
        std::fprintf(stderr, format, what.c_str());
        return std::nullopt;
    };
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        std::string v;
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        // An option of one target or command only.
        const bool nativeOnly = a == "--cxx" || a == "--entry" || a == "--";
        const bool webOnly =
            a == "--web" || a == "--emxx" || a == "--port" || a == "--id" || a == "--optimize" ||
            a.rfind("--touch-keys", 0) == 0;
        if ((web && nativeOnly) || (!web && webOnly)) {
            if (a == "--") return wrong();
            std::fprintf(stderr, "tolvanec: unknown option %s%s\n", a.c_str(),
                         a == "--cxx" ? " (the browser build uses --emxx)" : "");
            return wrong();
        }
        if (a == "--web") {
        } else if (a == "--") {
            if (o.command != "run") return wrong();
            o.programArgs.assign(argv + i + 1, argv + argc);
            break;
        } else if (a == "-o") {
            if ((web && o.command != "build") || !value(o.output)) return wrong();
        } else if (a == "--entry") {
            if (o.command != "cpp" || !value(o.entry)) return wrong();
        } else if (a == "--assets") {
            if (!value(o.assets)) return wrong();
        } else if (a == "--cxx" || a == "--emxx") {
            if (!value(o.toolchain.compiler)) return wrong();
        } else if (a == "--include") {
            if (!value(o.toolchain.include)) return wrong();
        } else if (a == "--lib") {
            if (!value(o.toolchain.lib)) return wrong();
        } else if (a == "--shoebox") {
            if (!value(o.toolchain.shoebox)) return wrong();
        } else if (a == "--font") {
            if (!value(o.toolchain.font)) return wrong();
        } else if (a == "--port") {
            if (o.command != "run" || !value(v)) return wrong();
            char* end = nullptr;
            const long port = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || port < 1 || port > 65535)
                return said("tolvanec: %s needs a whole number from 1 to 65535\n", a);
            o.port = static_cast<int>(port);
        } else if (a == "--id") {
            if (!value(o.id)) return wrong();
            if (!GoodStorageName(o.id))
                return said(
                    "tolvanec: %s needs a name of letters, digits, '.', '-' and '_', at most 64, not "
                    "starting with '.'\n",
                    a);
        } else if (a == "--optimize") {
            o.optimize = true;
        } else if (a == "--touch-keys" || a.rfind("--touch-keys=", 0) == 0) {
            const std::string list = a.size() > 12 ? a.substr(13) : kDefaultTouchKeys;
            std::string error;
            if (!ParseTouchKeys(list, o.touchKeys, error)) return said("tolvanec: --touch-keys: %s\n", error);
        } else if (a == "--title") {
            if (!value(v)) return wrong();
            o.settings.title = v;
        } else if (const NumberSetting* setting = SettingByOption(a); setting) {
            // --width, --height, --fps: a whole number in range, tested before it becomes an int
            char* end = nullptr;
            const double number = value(v) ? std::strtod(v.c_str(), &end) : 0;
            const std::optional<int> n =
                end && end != v.c_str() && *end == 0 ? SettingValue(*setting, number) : std::nullopt;
            if (!n) {
                std::fprintf(stderr, "tolvanec: %s needs a whole number from %d to %d\n", a.c_str(), setting->lo,
                             setting->hi);
                return std::nullopt;
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
            return wrong();
        } else if (o.source.empty()) {
            o.source = a;
        } else {
            return wrong();
        }
    }
    status = 0;
    return o;
}

std::string DefaultOutput(const BuildOptions& o) {
    fs::path p(o.source);
    const std::string base = (p.extension() == ".bas" ? p.replace_extension() : p.concat(".out")).string();
    return o.target == Target::Web ? base + "-web" : base;
}

}  // namespace tvc
