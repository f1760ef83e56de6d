// For a harness whose parser reads only from a path: each input is written to one
// private file, made once under TMPDIR (else /tmp) and rewritten for every run, so
// the real loader reads it as it would read any file. The file goes at exit.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline std::string& InputPath() {
    static std::string path;
    return path;
}

inline void RemoveInputFile() {
    if (!InputPath().empty()) std::remove(InputPath().c_str());
}

// Writes the bytes to the private file and returns its path. The file is overwritten
// in place and then cut to size: truncating it to nothing first would make some file
// systems flush it to disk on every run.
inline const char* WriteInput(const uint8_t* data, size_t size) {
    std::string& path = InputPath();
    if (path.empty()) {
        const char* t = std::getenv("TMPDIR");
        std::string name = std::string(t && *t ? t : "/tmp") + "/tolvane-fuzz-XXXXXX";
        int fd = mkstemp(name.data());
        if (fd < 0) std::abort();
        close(fd);
        path = name;
        std::atexit(RemoveInputFile);
    }
    int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) std::abort();
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<size_t>(n);
    }
    if (ftruncate(fd, static_cast<off_t>(size)) != 0 || close(fd) != 0) std::abort();
    return path.c_str();
}

}  // namespace fuzz
