// Archive lookup: every command that loads a file by name asks here first. A file on
// disk always wins; otherwise the name is looked up in the record's archive and the
// entry is unpacked into a private temporary file whose path replaces the name.
#pragma once

#include "core/dqstr.h"

class KWShoeBox {
public:
    KWShoeBox() = default;
    KWShoeBox(const KWShoeBox&) = delete;
    KWShoeBox& operator=(const KWShoeBox&) = delete;
    ~KWShoeBox() { Clear(); }

    // Resolves `name` in place; true when it now names a readable file.
    bool Resolve(DQStr& name);
    // Deletes the extracted file, if any, and forgets the archive.
    void Clear();
    // Sets the archive path (empty switches the archive off).
    void SetArchive(const char* path);
    const char* Extracted() const { return extracted_.c_str(); }

private:
    void DropExtracted();
    DQStr archive_;
    DQStr extracted_;
};

extern KWShoeBox __g_ShoeBox_Data;   // assets and data files
extern KWShoeBox __g_ShoeBox_Media;  // music and movies

// Sets the data archive and the media archive; either may be empty.
double SETSHOEBOX(DQStr data, DQStr media);

// Removes the process's private folder of extracted files with whatever it still
// holds. The end routine calls it after clearing both records; a later lookup makes
// a new folder.
void __RemoveExtractFolder();
