// Files and folders over the POSIX calls.
#include "platform/files.h"
#include "platform/system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <utility>

namespace plat {

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool File::OpenRead(const char* path) {
    Close();
    if (!path || !*path) return false;
    // Only regular files are read: opening a pipe or a device could wait forever for a
    // writer. The type is checked before opening, the open itself never waits, and the
    // opened descriptor is checked again in case the name was replaced in between.
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

File::Created File::CreateNew(const char* path, unsigned permissions) {
    Close();
    if (!path || !*path) return Created::Failed;
    fd_ = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(permissions));
    if (fd_ >= 0) return Created::Yes;
    return errno == EEXIST ? Created::NameTaken : Created::Failed;
}

int64_t File::Size() const {
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

bool File::ReadAt(int64_t offset, void* dst, size_t n) const {
    if (fd_ < 0 || offset < 0) return false;
    char* p = static_cast<char*>(dst);
    while (n > 0) {
        const ssize_t got = pread(fd_, p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        offset += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool File::ReadAll(std::vector<uint8_t>& out, size_t most) const {
    out.clear();
    const int64_t size = Size();
    if (size < 0 || static_cast<uint64_t>(size) > most) return false;
    try {
        // The size is a first guess only: the file may change while it is read. One
        // byte more than it shows whether the file grew.
        out.reserve(static_cast<size_t>(size) + 1);
        AdviseHugePages(out.data(), out.capacity());
        out.resize(static_cast<size_t>(size) + 1);
        size_t have = 0;
        for (;;) {
            const ssize_t got = pread(fd_, out.data() + have, out.size() - have, static_cast<off_t>(have));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 || (got > 0 && have + static_cast<size_t>(got) > most)) {
                std::vector<uint8_t>().swap(out);
                return false;
            }
            if (got == 0) break;
            have += static_cast<size_t>(got);
            if (have == out.size()) out.resize(std::min(most + 1, have * 2));
        }
        out.resize(have);
    } catch (const std::bad_alloc&) {
        std::vector<uint8_t>().swap(out);
        return false;
    }
    return true;
}

bool File::GetStamp(Stamp& stamp) const {
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0) return false;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

int File::WriteAll(const void* data, size_t size) { return plat::WriteAll(fd_, data, size); }

bool File::SetPermissions(unsigned permissions) {
    return fd_ >= 0 && fchmod(fd_, static_cast<mode_t>(permissions & 07777)) == 0;
}

bool File::Sync() { return fd_ >= 0 && fsync(fd_) == 0; }

bool File::Close() {
    const bool ok = fd_ < 0 || close(fd_) == 0;
    fd_ = -1;
    return ok;
}

int WriteAll(int descriptor, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(descriptor, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

bool WriteWholeFile(const char* path, const void* data, size_t size) {
    if (!path || !*path) return false;
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, data, size) == 0;
    return close(fd) == 0 && written;
}

FileType TypeOf(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return FileType::Missing;
    if (S_ISREG(st.st_mode)) return FileType::Regular;
    if (S_ISDIR(st.st_mode)) return FileType::Folder;
    return FileType::Other;
}

bool PermissionsOf(const char* path, unsigned& permissions) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return false;
    permissions = st.st_mode & 07777;
    return true;
}

bool RemoveFile(const char* path) { return path && unlink(path) == 0; }

bool Rename(const char* from, const char* to) { return from && to && rename(from, to) == 0; }

bool MakeFolder(const char* path) { return path && mkdir(path, 0755) == 0; }

std::string MakeUniqueFolder(const std::string& prefix) {
    std::string path = prefix + "XXXXXX";
    return mkdtemp(path.data()) ? path : std::string();
}

std::string CurrentFolder() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

bool ChangeFolder(const char* path) { return path && chdir(path) == 0; }

bool ListFolder(const char* path, std::vector<std::string>& names) {
    names.clear();
    DIR* d = path ? opendir(path) : nullptr;
    if (!d) return false;
    while (dirent* e = readdir(d)) names.emplace_back(e->d_name);
    closedir(d);
    return true;
}

}  // namespace plat
