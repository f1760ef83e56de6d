#include "files/shoebox.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "files/archive_format.h"
#include "files/compression.h"
#include "files/file_handle.h"
#include "platform/platform.h"

KWShoeBox __g_ShoeBox_Data;
KWShoeBox __g_ShoeBox_Media;

namespace {

// Paths are kept within the 259 characters of the archive records.
constexpr size_t kLongestPath = 259;

std::string g_extractDir;

void RemoveExtractDir() {
    std::error_code ec;
    if (!g_extractDir.empty()) std::filesystem::remove_all(g_extractDir, ec);
    g_extractDir.clear();
}

// The process's own folder for extracted files, made on first use with owner-only
// rights inside the temporary folder and removed at exit.
const std::string& ExtractDir() {
    if (g_extractDir.empty()) {
        std::string tmpl = plat::TempDir() + "tolvane-" + std::to_string(getpid()) + "-XXXXXX";
        if (mkdtemp(tmpl.data())) {
            g_extractDir = tmpl + "/";
            std::atexit(RemoveExtractDir);
        }
    }
    return g_extractDir;
}

// Compares the entry name with the end of the requested name, ignoring the case of
// A-Z.
bool TailMatches(const std::string& entry, const char* name) {
    size_t n = std::strlen(name);
    if (entry.size() > n) return false;
    const char* tail = name + (n - entry.size());
    for (size_t i = 0; i < entry.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(entry[i]), b = static_cast<unsigned char>(tail[i]);
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
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
}

void KWShoeBox::SetArchive(const char* path) {
    Clear();
    archive_ = path;
}

bool KWShoeBox::Resolve(DQStr& name) {
    DropExtracted();
    if (name.Length() == 0) return false;
    {
        KWFileSystem disk;
        if (disk.OpenRead(name.c_str())) return true;  // a file on disk always wins
    }
    if (archive_.Length() == 0) return false;
    KWFileSystem archive;
    if (!archive.OpenRead(archive_.c_str())) return false;
    std::vector<__ArchiveEntry> entries;
    if (!__ReadArchiveDirectory(archive.Get(), archive.Size(), entries)) {
        name = "";
        return false;
    }
    const __ArchiveEntry* found = nullptr;
    for (const __ArchiveEntry& e : entries)
        if (TailMatches(e.name, name.c_str())) {
            found = &e;
            break;
        }
    if (!found) {
        name = "";
        return false;
    }
    std::vector<unsigned char> packed(static_cast<size_t>(found->size));
    if (fseeko(archive.Get(), found->offset, SEEK_SET) != 0 ||
        std::fread(packed.data(), 1, packed.size(), archive.Get()) != packed.size())
        return false;
    archive.Close();
    KWCompression unpacker;
    if (unpacker.UnPack(packed.data(), static_cast<int>(packed.size())) == 0 && packed.size() > 0) {
        // A damaged stream: nothing usable to hand on. (An empty entry unpacks to 0 bytes.)
        uint32_t claimed = packed[0] | (packed[1] << 8) | (packed[2] << 16) | (static_cast<uint32_t>(packed[3]) << 24);
        if (claimed != 0) return false;
    }

    const std::string& dir = ExtractDir();
    if (dir.empty()) return false;
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "~sbx%X%x", static_cast<uint32_t>(found->storedOffset),
                  static_cast<uint32_t>(found->size));
    std::string path = dir + prefix + FlatName(found->name);
    if (path.size() > kLongestPath) return false;
    unlink(path.c_str());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    const unsigned char* p = unpacker.Output();
    size_t left = static_cast<size_t>(unpacker.OutputSize());
    bool ok = true;
    while (ok && left > 0) {
        ssize_t n = write(fd, p, left);
        ok = n > 0;
        if (ok) {
            p += n;
            left -= static_cast<size_t>(n);
        }
    }
    ok = (close(fd) == 0) && ok;
    extracted_ = path.c_str();
    name = path.c_str();
    return ok;
}

double SETSHOEBOX(DQStr data, DQStr media) {
    __g_ShoeBox_Data.SetArchive(data.c_str());
    __g_ShoeBox_Media.SetArchive(media.c_str());
    return 0;
}
