// Internal: where tolvanec finds what it makes programs with, for each target: the
// compiler (c++ for the desktop, em++ for the browser), the runtime's public headers and
// library built for that target, the archive tool and the built-in font; for the
// browser also the page, its JavaScript, the synthesizer and the movie converter.
//
// Everything is found from the running tolvanec's own place, so a tree works wherever
// it is put. In a build tree the build writes `tolvanec-toolchain.txt` (and, for the
// browser, `tolvanec-web.txt`) beside tolvanec, naming its files; an installed tolvanec
// has no such file and takes the installed layout, relative to its own folder
// (bin/../include/tolvane, bin/../share/tolvane/web and so on).
#pragma once

#include <string>
#include <vector>

namespace tvc {

enum class Target { Native, Web };

struct Toolchain {
    Target target = Target::Native;
    std::string compiler;  // native: $CXX, else the build tree's compiler, else "c++" from PATH;
                           // web: the build tree's em++, else "em++" from PATH ("" where there is none)
    std::string include;   // the folder holding tolvane.h
    std::string lib;       // the runtime library, built for the target
    std::string shoebox;   // the archive tool
    std::string font;      // the built-in font
    std::string docs;      // the documentation and examples (installed tree only)
    std::vector<std::string> linkFlags;  // native: the libraries the runtime needs; web: em++'s settings
    // The browser only.
    std::string jsLibrary;  // the runtime's JavaScript, linked into the program's
    std::string page;       // the page template
    std::string synth;      // the folder of the MIDI synthesizer and its soundfont
    std::string webmovie;   // the movie converter ("" where there is none)
    std::string nodePath;   // the Node modules em++ runs with
    std::string where;      // "the build tree DIR" or "the installed tree PREFIX", for messages
};

// The toolchain of the running tolvanec for `target`.
Toolchain LocateToolchain(Target target);

// The files a build with `tc` needs, as they must exist.
std::vector<std::string> NeededFiles(const Toolchain& tc);

// The flags that compile a translated program for the toolchain's target. A debug build
// for the desktop carries debugging information (naming the BASIC lines) and is
// optimised only as far as debugging allows.
std::vector<std::string> CompileFlags(const Toolchain& tc, bool debug);

// The environment the target's compiler runs in: tolvanec's own for the desktop (null);
// for em++ the system's Python and Node modules first, and no check of its own
// installation at every start (the build tree and the package check it once).
const std::vector<std::string>* CompilerEnvironment(const Toolchain& tc);

// The first of `files` that is not there, as a message naming `where`; "" when all are.
std::string MissingFile(const std::vector<std::string>& files, const std::string& where);

// The running program's own file ("" when the system does not say).
std::string SelfPath();

// The program `name` as PATH finds it, or `name` itself when it names a folder; "" when
// it is nowhere.
std::string FindProgram(const std::string& name);

}  // namespace tvc
