// Internal (the platform contract): files and folders: a file handle that reads
// regular files only and writes new files only, whole files read and written at once,
// what a path names, and the folder operations the file commands, archives, data files
// and screenshots need. Paths are the system's own, with '/' separators; a '\\' is an
// ordinary character of a name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// One open file, closed when the handle goes; handles move but are not copied.
class File {
public:
    File() = default;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() { Close(); }

    // Opens a regular file for reading; false (nothing held) for a missing file, a
    // folder, a pipe, a socket or a device. Never waits: a name that is replaced by a
    // pipe while it is being opened is refused as well.
    bool OpenRead(const char* path);

    enum class Created { Yes, NameTaken, Failed };
    // Makes a new file for writing with the given permission bits (less the process's
    // file-creation mask). An existing name, a link among them, is never opened:
    // NameTaken then.
    Created CreateNew(const char* path, unsigned permissions);

    bool IsOpen() const { return fd_ >= 0; }
    // Size in bytes, -1 without a file.
    int64_t Size() const;
    // Reads exactly n bytes from the offset on; false when fewer are there or reading
    // fails. The file's position is not used.
    bool ReadAt(int64_t offset, void* dst, size_t n) const;
    // The whole file, from its start to its end as it is when reading ends; false (and
    // nothing) when reading fails or the file holds more than `most` bytes.
    bool ReadAll(std::vector<uint8_t>& out, size_t most) const;

    // What tells one state of a file from another: which file it is, its size and
    // when it was last written.
    struct Stamp {
        uint64_t device = 0, inode = 0;
        int64_t size = -1, modifiedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    // The held file's stamp; false without a file.
    bool GetStamp(Stamp& stamp) const;

    // Writes all `size` bytes, going on after partial writes and interruptions; 0 when
    // done, else the system's error number (ENOSPC when nothing more could be written).
    int WriteAll(const void* data, size_t size);
    // Gives the file these permission bits (07777 at most); false when refused.
    bool SetPermissions(unsigned permissions);
    // Waits until the written contents are on the storage device; false when that fails.
    bool Sync();
    // Closes the file; false when the system reports an error in closing it (writes
    // that did not reach the file). True when nothing is held.
    bool Close();

private:
    int fd_ = -1;
};

// As File::WriteAll, for code that holds a descriptor of its own (the tools).
int WriteAll(int descriptor, const void* data, size_t size);

// Writes a whole file: made when missing (rw-rw-rw- less the file-creation mask),
// emptied first when there, a link followed. False when it cannot be made or written.
bool WriteWholeFile(const char* path, const void* data, size_t size);

// ---- what a path names (links followed) ------------------------------------------
enum class FileType {
    Missing,  // nothing there, or it cannot be examined
    Regular,
    Folder,
    Other,  // pipe, socket or device: never read, it could wait forever
};
FileType TypeOf(const char* path);
// The permission bits (07777) of what the path names; false when it names nothing.
bool PermissionsOf(const char* path, unsigned& permissions);

// ---- changing names ------------------------------------------------------------------
// Removes a file (or a link, never what it leads to); false when nothing was removed.
bool RemoveFile(const char* path);
// Gives a file another name, replacing a file of that name in one step; false when
// it cannot be done.
bool Rename(const char* from, const char* to);

// ---- folders ---------------------------------------------------------------------------
// Makes a folder (rwxr-xr-x less the file-creation mask); false when it cannot be made
// or is already there.
bool MakeFolder(const char* path);
// Makes a new folder named `prefix` followed by six characters that no other folder
// has, readable only by this user; its path, empty when none can be made.
std::string MakeUniqueFolder(const std::string& prefix);
// The current folder, without a trailing '/' (but "/" itself); empty when the system
// cannot tell it.
std::string CurrentFolder();
bool ChangeFolder(const char* path);
// The names in a folder, "." and ".." as far as the system lists them, in the
// system's order. False when the folder cannot be read.
bool ListFolder(const char* path, std::vector<std::string>& names);

}  // namespace plat
