#include "files/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool KWFileSystem::OpenRead(const char* path) {
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
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return false;
    }
    file_ = f;
    return true;
}

void KWFileSystem::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

int64_t KWFileSystem::Size() const {
    struct stat st;
    if (!file_ || fstat(fileno(file_), &st) != 0) return -1;
    return st.st_size;
}

int __WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}
