// KWFileSystem: holds one open file and closes it when it goes.
#pragma once

#include <cstddef>
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

// Writes all `size` bytes to the descriptor, going on after partial writes and
// interruptions; 0 when done, else the error (ENOSPC when nothing more could be written).
int __WriteAll(int fd, const void* data, size_t size);
