// tolvanec: the Tolvane BASIC compiler.
//
//   tolvanec check FILE.bas                      report the program's errors, write nothing
//   tolvanec cpp FILE.bas [-o FILE.cpp] [--entry FILE.cpp]
//                                                write the C++ (to standard output without -o);
//                                                with --entry, main() goes to a file of its own
//   tolvanec build FILE.bas [-o PROGRAM]         make a program (default: FILE without .bas)
//   tolvanec run FILE.bas [-- ARGS...]           build into the cache folder and start it
//   tolvanec build|run --web FILE.bas ...        the same for the browser (web_page.h)
//   tolvanec new NAME                            make a folder with a small starting game
//   tolvanec lsp [--stdio]                       the language server, on standard input/output
//   tolvanec dap                                 the debugger for editors, on standard input/output
//   tolvanec help                                the usage (usage.h), on standard output
//
// Without FILE.bas, the program of the current folder (a game folder, see game_folder.h).
// check, cpp, build and run, for either target, are build.h's; their options are read
// by build_options.h.
//
// Options of build and run:
//   --assets DIR    pack DIR's files into the program file (a single-file game); without
//                   it, the folder assets/ beside the program when there is one
//   --title TEXT  --width N  --height N  --fps N  --fullscreen  --windowed  --debug
//   --no-mouse      build settings; they win over the program's SETTINGS line
//   --cxx PATH (--emxx PATH with --web)  --include DIR  --lib FILE  --shoebox PATH  --font FILE
//                   the compiler, the runtime's headers, library, archive tool and
//                   built-in font (defaults: found from tolvanec's own place, see toolchain.h)
// Options of build --web and run --web: --id NAME  --touch-keys[=KEYS]  --port N (run)
//
// Exit status: 0 when all went well (run: the program's own status), 1 for errors in
// the program or a failed build step, 2 for a wrong command line (an unknown command or
// option, or an output place that cannot be written). The manual page, package/tolvanec.1,
// describes all of it for people; keep it in step.
#include <algorithm>
#include <cstdio>
#include <string>

#include "build.h"
#include "build_options.h"
#include "dap/server.h"
#include "game_folder.h"
#include "lsp/server.h"
#include "toolchain.h"
#include "usage.h"

namespace {

int Main(int argc, char** argv) {
    using namespace tvc;
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    if (std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands)) {
        std::fprintf(stderr, "tolvanec: %s\n", UnknownCommand(command).c_str());
        return Usage();
    }
    // Clients that start servers over pipes often add --stdio; it is what the server does anyway.
    if (command == "lsp")
        return argc == 2 || (argc == 3 && std::string(argv[2]) == "--stdio") ? lsp::Serve(0, 1) : Usage();
    if (command == "dap") return argc == 2 ? dap::Serve(0, 1) : Usage();
    if (command == "new") return argc == 3 ? MakeGameFolder(argv[2], LocateToolchain(Target::Native).docs) : Usage();
    if (command == "check" || command == "cpp" || command == "build" || command == "run") {
        int status = 0;
        std::optional<BuildOptions> options = ParseBuildOptions(argc, argv, status);
        return options ? BuildCommand(std::move(*options)) : status;
    }
    return Usage();
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }
