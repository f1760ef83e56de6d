// Internal: KWFileSystem: holds one open file and closes it when it goes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/files.h"

// The largest file a loader reads whole: no picture, sound or data file that the
// runtime could use comes near it, and it is the largest block an archive entry unpacks
// to.
constexpr size_t __kLargestFileBytes = size_t{1} << 31;

class KWFileSystem {
public:
    KWFileSystem() = default;
    KWFileSystem(const KWFileSystem&) = delete;
    KWFileSystem& operator=(const KWFileSystem&) = delete;

    // Opens a regular file for reading; false (nothing held) for a missing file, a
    // folder, a pipe, a socket or a device. Never waits.
    bool OpenRead(const char* path) { return file_.OpenRead(path); }
    void Close() { file_.Close(); }
    // The held file, for reading pieces of it.
    const plat::File& File() const { return file_; }
    // Size in bytes of the held file, -1 without one.
    int64_t Size() const { return file_.Size(); }
    // The held file's bytes; false (and none) when it cannot be read or is larger than
    // __kLargestFileBytes.
    bool ReadAll(std::vector<uint8_t>& out) const { return file_.ReadAll(out, __kLargestFileBytes); }

private:
    plat::File file_;
};
