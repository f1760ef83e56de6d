// Internal: the archive file: entry data blocks, then the directory, then 4 bytes giving the
// directory's position D. With D >= 0, D and every entry offset count from the file's
// first byte; with D < 0 they count back from its end, so the archive reads the same
// on its own and appended to another file (a program file, say).
//
// Directory entry: name length L (1 byte, 1 ... 255; 0 ends the directory), the name
// (L bytes), the data offset O and the packed size S (4 bytes each, signed,
// little-endian). The data is a packed stream (KWCompression).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "platform/files.h"

struct __ArchiveEntry {
    std::string name;
    int64_t offset = 0;        // from the file's start, resolved from either form
    int64_t size = 0;          // packed bytes
    int32_t storedOffset = 0;  // O as written (for the extracted file's name)
};

// Where an archive's bytes come from: an open file, read piece by piece, or bytes
// already in memory. Either must outlive the source.
class __ArchiveSource {
public:
    explicit __ArchiveSource(const plat::File& file) : file_(&file), size_(file.Size()) {}
    explicit __ArchiveSource(std::span<const uint8_t> bytes)
        : bytes_(bytes), size_(static_cast<int64_t>(bytes.size())) {}
    int64_t Size() const { return size_; }
    // The n bytes at the offset; false when they are not all there.
    bool Read(int64_t offset, size_t n, std::vector<uint8_t>& out) const;

private:
    const plat::File* file_ = nullptr;
    std::span<const uint8_t> bytes_;
    int64_t size_ = 0;
};

// Reads the archive's directory; false when it holds none (too short, or the position
// lies outside it). The walk stops at a length byte of 0 or at the end of the file.
// The entries are not checked here: one damaged entry must not hide the others, so
// each is checked when it is read (__ReadArchiveEntry).
bool __ReadArchiveDirectory(const __ArchiveSource& archive, std::vector<__ArchiveEntry>& entries);

// Reads and unpacks one entry into `out`. False, with the reason in `reason` when it
// is given, when the entry's bytes lie outside the archive or cannot be read, when its
// stream claims more bytes than its packed size can hold, or when it does not unpack
// to exactly the length it claims.
bool __ReadArchiveEntry(const __ArchiveSource& archive, const __ArchiveEntry& entry, std::vector<uint8_t>& out,
                        std::string* reason = nullptr);

// The first entry, in directory order, whose name is the end of `name` (the letters
// A-Z in either case; no separators are translated); null when none is.
const __ArchiveEntry* __FindArchiveEntry(const std::vector<__ArchiveEntry>& entries, const char* name);

// An archive file's directory as read, and the state of the file it was read from.
struct __ArchiveDirectory {
    plat::File::Stamp stamp;
    bool valid = false;  // the file holds a directory at all
    std::vector<__ArchiveEntry> entries;
};

// One entry to write: its name and unpacked bytes.
struct __ArchiveInput {
    std::string name;
    std::vector<uint8_t> data;
};
// Writes the archive of these entries for a place `base` bytes into a file (0 for an
// archive of its own, the file's size to append it); `fromEnd` writes the negative
// position form. False when a name is empty or longer than 255, or the archive would
// reach beyond what 32-bit positions count.
bool __WriteArchive(const std::vector<__ArchiveInput>& inputs, int64_t base, bool fromEnd, ByteWriter& out);
