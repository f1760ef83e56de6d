// Archives: the directory walk, then the lookup every loader runs through a data
// archive — tail matching of names, reading and unpacking the entry, and writing the
// extracted file. The input is the archive file; the names looked up are a few of the
// entry names it lists (as given and behind a folder) and one that no entry has.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/archive_format.h"
#include "files/file_handle.h"
#include "files/shoebox.h"
#include "input_file.h"

namespace {
// Lookups per input: enough to reach later entries, few enough to stay fast.
constexpr size_t kLookups = 6;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = fuzz::WriteInput(data, size);
    std::vector<__ArchiveEntry> entries;
    {
        KWFileSystem file;
        if (!file.OpenRead(path)) std::abort();
        __ReadArchiveDirectory(file.Get(), file.Size(), entries);
    }

    std::vector<std::string> names{"no/such/entry.bmp"};
    for (size_t i = 0; i < entries.size() && names.size() < kLookups; ++i) {
        names.push_back(entries[i].name);
        names.push_back("folder/" + entries[i].name);
    }
    KWShoeBox box;
    box.SetArchive(path);
    for (const std::string& n : names) {
        DQStr name(n.c_str());
        box.Resolve(name);
    }
    box.Clear();
    return 0;
}
