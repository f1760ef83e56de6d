// Archives: the directory walk, then the lookup every loader runs in a data archive:
// tail matching of names, and reading and unpacking the entry found. The input is the
// archive's bytes; the names looked up are a few of the entry names it lists (as given
// and behind a folder) and one that no entry has. An entry that reads must unpack to
// exactly the length its stream claims.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "files/archive_format.h"

namespace {
// Lookups per input: enough to reach later entries, few enough to stay fast.
constexpr size_t kLookups = 6;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const __ArchiveSource archive(std::span(data, size));
    std::vector<__ArchiveEntry> entries;
    if (!__ReadArchiveDirectory(archive, entries) && !entries.empty()) std::abort();

    std::vector<std::string> names{"no/such/entry.bmp"};
    for (size_t i = 0; i < entries.size() && names.size() < kLookups; ++i) {
        names.push_back(entries[i].name);
        names.push_back("folder/" + entries[i].name);
    }
    for (const std::string& n : names) {
        const __ArchiveEntry* e = __FindArchiveEntry(entries, n.c_str());
        if (!e) continue;
        if (e->name.size() > n.size()) std::abort();
        std::vector<uint8_t> bytes;
        std::string reason;
        if (__ReadArchiveEntry(archive, *e, bytes, &reason)) {
            if (e->size < 4 || bytes.size() != Le32(data + e->offset)) std::abort();
        } else if (reason.empty() || !bytes.empty()) {
            std::abort();
        }
    }
    return 0;
}
