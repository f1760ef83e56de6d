#include "files/shoebox.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "files/archive_format.h"
#include "files/file_handle.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"

KWShoeBox __g_ShoeBox_Data;
KWShoeBox __g_ShoeBox_Media;

namespace {

// Paths are kept within the 259 characters of the archive records.
constexpr size_t kLongestPath = 259;

// The extraction folder's path, ended by '/'; empty while there is no folder. A plain
// array, never destroyed, so that removing the folder at exit depends on nothing that
// static destruction may already have taken away.
char g_extractDir[4096] = {};
bool g_removalRegistered = false;

// Programs remove the folder in their end routine; this catches every other process
// that extracted something (tools, tests).
void RemoveExtractDirAtExit() { __RemoveExtractFolder(); }

// The process's own folder for extracted files, made on first use with owner-only
// rights inside the temporary folder.
std::string ExtractDir() {
    if (!g_extractDir[0]) {
        const std::string prefix = plat::TempDir() + "tolvane-" + std::to_string(plat::ProcessId()) + "-";
        // The folder's name is the prefix and six characters; with its '/' it must fit.
        const std::string made =
            prefix.size() + 6 + 1 < sizeof g_extractDir ? plat::MakeUniqueFolder(prefix) : std::string();
        if (!made.empty()) {
            std::snprintf(g_extractDir, sizeof g_extractDir, "%s/", made.c_str());
            if (!g_removalRegistered) g_removalRegistered = std::atexit(RemoveExtractDirAtExit) == 0;
        }
    }
    return g_extractDir;
}

// The entry name as one file name: folder separators and other unsafe bytes become '_'.
std::string FlatName(const std::string& name) {
    std::string flat;
    for (char c : name) flat += (c == '/' || c == '\\' || c == 0 || static_cast<unsigned char>(c) < 32) ? '_' : c;
    return flat;
}

}  // namespace

void KWShoeBox::DropExtracted() {
    if (extracted_.Length() > 0) std::remove(extracted_.c_str());
    extracted_ = "";
}

void KWShoeBox::Clear() {
    DropExtracted();
    archive_ = "";
    directory_.reset();
}

void KWShoeBox::SetArchive(const char* path) {
    Clear();
    archive_ = path;
}

KWShoeBox::KWShoeBox() = default;

KWShoeBox::~KWShoeBox() { Clear(); }

KWShoeBox::FromArchive KWShoeBox::Unpack(const char* name, std::vector<uint8_t>& bytes, std::string* extractName) {
    bytes.clear();
    if (archive_.Length() == 0) return FromArchive::NoArchive;
    KWFileSystem file;
    plat::File::Stamp stamp;
    if (!file.OpenRead(archive_.c_str()) || !file.File().GetStamp(stamp)) return FromArchive::NoArchive;
    const __ArchiveSource archive(file.File());
    if (!directory_ || !(directory_->stamp == stamp)) {
        if (!directory_) directory_ = std::make_unique<__ArchiveDirectory>();
        directory_->valid = __ReadArchiveDirectory(archive, directory_->entries);
        directory_->stamp = stamp;
    }
    const __ArchiveEntry* found = directory_->valid ? __FindArchiveEntry(directory_->entries, name) : nullptr;
    if (!found) return FromArchive::NotThere;
    if (extractName) {
        char prefix[48];
        std::snprintf(prefix, sizeof prefix, "~sbx%X%x", static_cast<uint32_t>(found->storedOffset),
                      static_cast<uint32_t>(found->size));
        *extractName = prefix + FlatName(found->name);
    }
    // Only the entry asked for is checked: a damaged neighbour does not matter here.
    return __ReadArchiveEntry(archive, *found, bytes) ? FromArchive::Unpacked : FromArchive::Damaged;
}

__Found KWShoeBox::Fetch(const char* name, std::vector<uint8_t>& bytes) {
    return Fetch(name, bytes, __kLargestFileBytes);
}

__Found KWShoeBox::Fetch(const char* name, std::vector<uint8_t>& bytes, size_t most) {
    DropExtracted();
    bytes.clear();
    if (!name || !*name) return __Found::Nothing;
    {
        KWFileSystem disk;
        if (disk.OpenRead(name))
            return disk.File().ReadAll(bytes, std::min(most, __kLargestFileBytes)) ? __Found::Bytes
                                                                                    : __Found::Unreadable;
    }
    if (Unpack(name, bytes, nullptr) != FromArchive::Unpacked) return __Found::Nothing;
    if (bytes.size() <= most) return __Found::Bytes;
    std::vector<uint8_t>().swap(bytes);
    return __Found::Unreadable;
}

bool KWShoeBox::Resolve(DQStr& name) {
    DropExtracted();
    if (name.Length() == 0) return false;
    {
        KWFileSystem disk;
        if (disk.OpenRead(name.c_str())) return true;  // a file on disk always wins
    }
    std::vector<uint8_t> data;
    std::string extractName;
    switch (Unpack(name.c_str(), data, &extractName)) {
        case FromArchive::NoArchive: return false;
        case FromArchive::NotThere: name = ""; return false;
        case FromArchive::Damaged: return false;
        case FromArchive::Unpacked: break;
    }
    const std::string& dir = ExtractDir();
    if (dir.empty()) return false;
    const std::string path = dir + extractName;
    if (path.size() > kLongestPath) return false;
    plat::RemoveFile(path.c_str());
    plat::File out;
    if (out.CreateNew(path.c_str(), 0600) != plat::File::Created::Yes) return false;
    bool ok = out.WriteAll(data.data(), data.size()) == 0;
    ok = out.Close() && ok;
    extracted_ = path.c_str();
    name = path.c_str();
    return ok;
}

void __RemoveExtractFolder() {
    if (!g_extractDir[0]) return;
    std::error_code ec;
    std::filesystem::remove_all(g_extractDir, ec);
    g_extractDir[0] = 0;
}

double SETSHOEBOX(DQStr data, DQStr media) {
    __g_ShoeBox_Data.SetArchive(data.c_str());
    __g_ShoeBox_Media.SetArchive(media.c_str());
    return 0;
}
