// Internal: where tolvanec finds what it makes programs with: the C++ compiler, the
// runtime's public headers and library, the archive tool and the built-in font.
//
// Everything is found from the running tolvanec's own place, so a tree works wherever
// it is put. In a build tree the build writes `tolvanec-toolchain.txt` beside tolvanec,
// naming its files; an installed tolvanec has no such file and takes the installed
// layout, relative to its own folder (bin/../include/tolvane and so on).
#pragma once

#include <string>
#include <vector>

namespace tvc {

struct Toolchain {
    std::string cxx;      // $CXX, else the build tree's compiler, else "c++" from PATH
    std::string include;  // the folder holding tolvane.h
    std::string lib;      // the runtime library
    std::string shoebox;  // the archive tool
    std::string font;     // the built-in font
    std::string docs;     // the documentation and examples (installed tree only)
    std::vector<std::string> linkFlags;  // the libraries the runtime needs
    std::string where;    // "the build tree DIR" or "the installed tree PREFIX", for messages
};

// The toolchain of the running tolvanec.
Toolchain LocateToolchain();

// The first of `files` that is not there, as a message naming `where`; "" when all are.
std::string MissingFile(const std::vector<std::string>& files, const std::string& where);

// The running program's own file ("" when the system does not say).
std::string SelfPath();

}  // namespace tvc
