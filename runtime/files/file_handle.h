// Internal: KWFileSystem: holds one open file and closes it when it goes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/files.h"

class KWFileSystem {
public:
    KWFileSystem() = default;
    KWFileSystem(const KWFileSystem&) = delete;
    KWFileSystem& operator=(const KWFileSystem&) = delete;

    // Opens a regular file for reading; false (nothing held) for a missing file, a
    // folder, a pipe, a socket or a device. Never waits.
    bool OpenRead(const char* path) { return file_.OpenRead(path); }
    void Close() { file_.Close(); }
    // The held file's stream, null without one.
    FILE* Get() const { return file_.Stream(); }
    // Size in bytes of the held file, -1 without one.
    int64_t Size() const { return file_.Size(); }

private:
    plat::File file_;
};
