// Files and folders over the POSIX calls.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace plat {

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), stream_(std::exchange(other.stream_, nullptr)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        stream_ = std::exchange(other.stream_, nullptr);
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
    std::FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return false;
    }
    fd_ = fd;
    stream_ = f;
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

int File::WriteAll(const void* data, size_t size) { return plat::WriteAll(fd_, data, size); }

bool File::SetPermissions(unsigned permissions) {
    return fd_ >= 0 && fchmod(fd_, static_cast<mode_t>(permissions & 07777)) == 0;
}

bool File::Sync() { return fd_ >= 0 && fsync(fd_) == 0; }

bool File::Close() {
    bool ok = true;
    if (stream_) ok = std::fclose(stream_) == 0;
    else if (fd_ >= 0) ok = close(fd_) == 0;
    stream_ = nullptr;
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
