// tolvanec's usage text and the words of its command line (usage.h).
#include "usage.h"

#include <cstdio>

#include "front.h"

namespace tvc {

const char* const kUsageText =
    "usage: tolvanec check [FILE.bas]\n"
    "       tolvanec cpp [FILE.bas] [-o FILE.cpp] [--entry FILE.cpp] [settings]\n"
    "       tolvanec build [FILE.bas] [-o PROGRAM] [--assets DIR] [settings] [tools]\n"
    "       tolvanec run [FILE.bas] [--assets DIR] [settings] [tools] [-- ARGS...]\n"
    "       tolvanec build --web [FILE.bas] [-o FOLDER] [--assets DIR] [settings] [web page] [web tools]\n"
    "       tolvanec run --web [FILE.bas] [--assets DIR] [--port N] [settings] [web page] [web tools]\n"
    "       tolvanec new NAME\n"
    "       tolvanec lsp [--stdio]\n"
    "       tolvanec dap\n"
    "       tolvanec help (or --help, -h)\n"
    "without FILE.bas: the program of the current folder (NAME.bas named like it, or main.bas)\n"
    "settings:  --title TEXT --width N --height N --fps N --fullscreen --windowed --debug --no-mouse\n"
    "tools:     --cxx PATH --include DIR --lib FILE --shoebox PATH --font FILE\n"
    "web page:  --id NAME  the name the page keeps the game's saves under (default: made from the game)\n"
    "           --optimize  optimise the whole page: smaller and faster, slower to build (to publish)\n"
    "           --touch-keys[=KEYS]  on-screen keys on touch devices (default Up,Down,Left,Right,Space,Return)\n"
    "web tools: --emxx PATH --include DIR --lib FILE --shoebox PATH --font FILE\n";

int Usage() {
    std::fputs(kUsageText, stderr);
    return 2;
}

std::string UnknownCommand(const std::string& word) {
    std::string best;
    // One slip in a short word, two in a longer one; a word of one letter is no slip.
    int bestDistance = word.size() <= 4 ? 2 : 3;
    for (const char* command : kCommands) {
        const int d = EditDistance(word, command);
        if (d < bestDistance && d < static_cast<int>(word.size())) {
            bestDistance = d;
            best = command;
        }
    }
    return "unknown command '" + word + "'" + (best.empty() ? "" : " (did you mean '" + best + "'?)");
}

}  // namespace tvc
