// Internal: serving a page folder that tolvanec made (`run --web`).
#pragma once

#include <string>

namespace tvc {

// Serves the files of `folder` over HTTP on 127.0.0.1 (port 0: 8080 when it is free,
// else any free one) until the process is stopped; prints the address first. Returns 1
// when it cannot listen.
int ServeFolder(const std::string& folder, int port);

}  // namespace tvc
