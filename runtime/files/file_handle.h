// KWFileSystem: holds one open file and closes it when it goes.
#pragma once

#include <cstdint>
#include <cstdio>

class KWFileSystem {
public:
    KWFileSystem() = default;
    explicit KWFileSystem(FILE* f) : file_(f) {}
    KWFileSystem(const KWFileSystem&) = delete;
    KWFileSystem& operator=(const KWFileSystem&) = delete;
    ~KWFileSystem() { Close(); }

    // Opens a regular file for reading; false (nothing held) for a missing file, a
    // folder, a pipe, a socket or a device. Never waits.
    bool OpenRead(const char* path);
    void Close();
    FILE* Get() const { return file_; }
    // Size in bytes of the held file, -1 without one.
    int64_t Size() const;

private:
    FILE* file_ = nullptr;
};
