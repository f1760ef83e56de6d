// Archive lookup: every command that loads a file by name asks here first. A file on
// disk always wins; otherwise the name is looked up in the record's archive, the entry
// whose name ends the requested name. Loaders take the file's bytes (Fetch); what must
// hand a path to another library (music through the mixer, movies) has the entry
// unpacked into a private temporary file whose path replaces the name (Resolve).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/dqstr.h"

struct __ArchiveDirectory;

// What a lookup found.
enum class __Found {
    Nothing,     // neither on disk nor in the archive: the loader changes nothing
    Unreadable,  // a file on disk that could not be read whole (too large, or a read
                 // error): the loader fails as it does on a damaged file
    Bytes,       // the file's bytes
};

class KWShoeBox {
public:
    KWShoeBox();
    KWShoeBox(const KWShoeBox&) = delete;
    KWShoeBox& operator=(const KWShoeBox&) = delete;
    ~KWShoeBox();

    // The bytes of the file `name`: the file on disk, else the unpacked archive entry.
    // A damaged entry counts as not there; a file or entry of more than `most` bytes
    // (by default the largest file a loader reads, 2 GiB) is unreadable.
    __Found Fetch(const char* name, std::vector<uint8_t>& bytes);
    __Found Fetch(const char* name, std::vector<uint8_t>& bytes, size_t most);
    // Resolves `name` in place to a path on disk; true when it now names a readable
    // file. The record keeps one extracted file at a time: every lookup in it, Fetch
    // included, removes the one before.
    bool Resolve(DQStr& name);
    // Deletes the extracted file, if any, and forgets the archive.
    void Clear();
    // Sets the archive path (empty switches the archive off).
    void SetArchive(const char* path);
    const char* Extracted() const { return extracted_.c_str(); }

private:
    enum class FromArchive {
        NoArchive,  // none set, or it cannot be opened
        NotThere,   // no directory, or no entry of that name
        Damaged,
        Unpacked,
    };
    // The unpacked entry for `name`; its name and place for the extracted file's name.
    FromArchive Unpack(const char* name, std::vector<uint8_t>& bytes, std::string* extractName);
    void DropExtracted();

    DQStr archive_;
    DQStr extracted_;
    // The archive's directory, read once and kept while the archive file is the same
    // file, of the same size, written last at the same time; null before the first
    // lookup in the archive.
    std::unique_ptr<__ArchiveDirectory> directory_;
};

extern KWShoeBox __g_ShoeBox_Data;   // assets and data files
extern KWShoeBox __g_ShoeBox_Media;  // music and movies

// Sets the data archive and the media archive; either may be empty.
double SETSHOEBOX(DQStr data, DQStr media);

// Removes the process's private folder of extracted files with whatever it still
// holds. The end routine calls it after clearing both records; a later lookup makes
// a new folder.
void __RemoveExtractFolder();
