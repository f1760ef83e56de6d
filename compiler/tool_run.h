// Internal: running the outside tools a build needs (the C++ compiler, em++, the
// archive tool), and the files and folders handed to them.
#pragma once

#include <string>
#include <vector>

namespace tvc {

// Runs a program, found on PATH when argv[0] names no folder, and waits for it. Its
// output and errors go to `log` when one is named. The environment is tolvanec's own,
// or `environment` ("NAME=value" entries) when one is given. The program's exit status;
// 127 when it could not start, 128 + the signal when one ended it.
int RunTool(const std::vector<std::string>& argv, const std::string& log = "",
            const std::vector<std::string>* environment = nullptr);

// What stands in the way of writing `path`, a file, or with `folder` a folder (which
// is made, with the folders above it that are missing): "" when nothing does, else the
// reason, to follow "cannot write PATH: " ("the folder D does not exist", "D is not a
// folder", "the folder D is not writable", "it is a folder", "it is not a folder", "it
// is not writable").
std::string OutputProblem(const std::string& path, bool folder);

// Writes `text` as the whole file; says so on standard error when it cannot.
bool WriteTextFile(const std::string& path, const std::string& text);

// A new, empty folder of this process under $TMPDIR (else /tmp), named `prefix`-XXXXXX,
// or `prefix`-XXXXXX itself when `prefix` names a folder; "" when none could be made.
std::string MakeTempFolder(const std::string& prefix);

// Where `build` and `run` keep what they made of a program between builds, one folder a
// source file and target (build_cache.h): $XDG_CACHE_HOME (else ~/.cache, else
// /tmp)/tolvanec/NAME-HASH`suffix`, the hash taken of the file's absolute path.
std::string CacheFolder(const std::string& source, const std::string& suffix);
// tolvanec's own cache folder, $XDG_CACHE_HOME (else ~/.cache, else /tmp)/tolvanec.
std::string CacheBase();

}  // namespace tvc
