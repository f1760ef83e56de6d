// tolvanec's browser target: `build --web` makes a folder with index.html, the program
// in WebAssembly, its assets and the built-in font, and the MIDI synthesizer;
// `run --web` makes it in the cache folder and serves it on 127.0.0.1.
#pragma once

#include <string>

namespace tvc {

// True when the command line asks for the browser (build or run with --web).
bool WantsWeb(int argc, char** argv);
// The whole command for the browser; the exit status of tolvanec.
int WebMain(int argc, char** argv);

// Serves the files of `folder` over HTTP on 127.0.0.1 (port 0: any free one) until
// the process is stopped; prints the address first. Returns 1 when it cannot listen.
int ServeFolder(const std::string& folder, int port);

}  // namespace tvc
