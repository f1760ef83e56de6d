// Internal: the lines of a program that hold a statement, where a breakpoint can stop,
// for each of its files by full path.
#pragma once

#include <map>
#include <set>
#include <string>

namespace tvc::dap {

using StatementLines = std::map<std::string, std::set<int>>;

// The program of `source` and the files it includes; a file that cannot be read
// gives nothing.
StatementLines FindStatementLines(const std::string& source);

// A path as the map names files: absolute, with symbolic links resolved where it can be.
std::string FullPath(const std::string& path);

}  // namespace tvc::dap
