// Internal: a program for the browser, a folder that a static web server can serve as
// it is:
//   index.html      the page: the game centred and scaled, a start click where the
//                   browser wants one for sound, a message where WebGL 2 is missing
//   NAME.js, NAME.wasm  the program, compiled by em++ against the browser runtime
//   NAME.sbx        its archive: the assets and the built-in font; movies the browser
//                   cannot play converted to WebM under their own names (webmovie)
//   synth/          the MIDI synthesizer and the soundfont, fetched when MIDI plays
// With on-screen keys the page shows them on touch devices (touch_keys.h).
#pragma once

#include <string>

#include "toolchain.h"

namespace tvc {

struct PageOptions {
    std::string name;       // the program's files are NAME.js, NAME.wasm and NAME.sbx (PageName)
    std::string title;      // the page's title
    std::string id;         // the folder of the game's saves in the browser's storage; empty: made from the game
    std::string touchKeys;  // the page's on-screen keys as it reads them; empty: none
    bool optimize = false;  // the link optimises the whole program (WebLinkFlags)
};

// The program's name in the folder: letters, digits, '-' and '_' of the file's stem.
std::string PageName(const std::string& source);

// The flags em++ links a program with beyond the toolchain's own.
// `optimize`: the link optimises the whole program, which makes the page a little over a
// third of the size and faster where the processor is what limits it, but takes several
// times as long as the rest of the build (a page to publish); else the program's own
// code is optimised by its compile and the runtime's by the kit's build.
std::vector<std::string> WebLinkFlags(const Toolchain& tc, bool optimize);

// Makes the page's files in `folder` from the translated program `cpp` and the assets
// (none when empty). `work` is a folder for the files in between. False, with the
// reason printed, when a step fails.
bool MakeWebPage(const Toolchain& tc, const std::string& cpp, const std::string& assets, const PageOptions& page,
                 const std::string& folder, const std::string& work);

}  // namespace tvc
