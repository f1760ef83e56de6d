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
#include <cstdio>
#include <string>
#include <vector>

struct __ArchiveEntry {
    std::string name;
    int64_t offset = 0;  // from the file's start, resolved from either form
    int64_t size = 0;    // packed bytes
    int32_t storedOffset = 0;  // O as written (for the extracted file's name)
};

// Reads the directory of the archive in an open file of `fileSize` bytes; false when
// the file holds no directory (too short, or its position lies outside the file). The
// walk stops at a length byte of 0 or at the end of the file. The entries are not
// checked here: one damaged entry must not hide the others, so each is checked when
// it is read (__ReadArchiveEntry).
bool __ReadArchiveDirectory(FILE* f, int64_t fileSize, std::vector<__ArchiveEntry>& entries);

// Reads and unpacks one entry into `out`. False, with the reason in `reason` when it
// is given, when the entry's bytes lie outside the file or cannot be read, when its
// stream claims more bytes than its packed size can hold, or when it does not unpack
// to exactly the length it claims.
bool __ReadArchiveEntry(FILE* f, int64_t fileSize, const __ArchiveEntry& entry, std::vector<unsigned char>& out,
                        std::string* reason = nullptr);

// One entry to write: its name and unpacked bytes.
struct __ArchiveInput {
    std::string name;
    std::vector<unsigned char> data;
};
// Appends an archive to the open file (at its end); `fromEnd` writes the negative
// position form. False when writing fails or a name is empty or longer than 255.
bool __WriteArchive(FILE* f, const std::vector<__ArchiveInput>& inputs, bool fromEnd);
