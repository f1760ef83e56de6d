#include "files/file_handle.h"

#include <sys/stat.h>

bool KWFileSystem::OpenRead(const char* path) {
    Close();
    if (!path || !*path) return false;
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
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
