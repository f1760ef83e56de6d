// Internal: a game folder, the way `tolvanec new` makes it and `tolvanec build` and
// `tolvanec run` find their way in it:
//
//   NAME/NAME.bas      the program (the folder's own name)
//   NAME/assets/       its pictures and sounds, packed into the program file
//   NAME/README.md     three lines: what it is, how to play it, where the language is
#pragma once

#include <string>

namespace tvc {

// Makes the folder `path` with a small starting game: a sprite that moves (the arrow
// keys steer it), a sound (Space plays it, and every bounce), and its assets. `docs` is
// where the language reference lives, for the README. Returns the exit status; errors
// are printed.
int MakeGameFolder(const std::string& path, const std::string& docs);

// The program of the folder `dir`: DIR.bas named like the folder, else main.bas, else
// the one .bas file there. "" when there is none or no single one (`why` says which).
std::string FolderProgram(const std::string& dir, std::string& why);

// The assets folder beside a program (its folder's assets/), or "" when there is none.
std::string ProgramAssets(const std::string& program);

// The program and assets a `build` or `run` command works on: without a source, the
// program of the current folder; without assets (when `defaultAssets`), the folder
// beside the program. False, with the reason printed, when no program is found or the
// assets are no folder.
bool ChooseProgramAndAssets(std::string& source, std::string& assets, bool defaultAssets);

}  // namespace tvc
