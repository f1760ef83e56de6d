// Internal: the command line of tolvanec's commands that work on a program (check, cpp,
// build, run), for both targets, read in one place: each option is checked where it is
// read, and an option of the other target or of another command is a wrong command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings.h"
#include "toolchain.h"

namespace tvc {

struct BuildOptions {
    std::string command;  // check, cpp, build or run
    Target target = Target::Native;
    std::string source, output, entry, assets;
    std::vector<std::string> programArgs;  // run: after "--"
    Settings settings;                     // from the command line; they win over the program's SETTINGS line
    // The browser's page.
    std::string id;         // the folder of the game's saves in the browser's storage; empty: made from the game
    std::string touchKeys;  // the page's on-screen keys as it reads them; empty: none
    bool optimize = false;  // the link optimises the whole program: a smaller, faster page, built slower
    int port = 0;           // run --web: 0 for any free one
    Toolchain toolchain;    // the target's, with the tools the command line names
};

// Reads the command line after the command word (argv[1]). The options, or the exit
// status of a wrong command line (2), with the reason and the usage printed.
std::optional<BuildOptions> ParseBuildOptions(int argc, char** argv, int& status);

// Where `build` puts its output when -o names none: FILE without .bas beside it (a
// folder FILE-web for the browser).
std::string DefaultOutput(const BuildOptions& o);

}  // namespace tvc
