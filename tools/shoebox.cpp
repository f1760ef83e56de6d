// shoebox: packs game assets into an archive and puts it where a program finds it.
//
//   shoebox pack <archive> <file or folder>...   entries named by their path within
//                                                 each folder given, with '/'
//                                                 separators; a link is stored under
//                                                 its own name with the contents of
//                                                 the file it leads to
//   shoebox append <program> <archive>           appends the archive to the program
//                                                 file so the program reads its own
//                                                 assets (positions counted from the end)
//   shoebox list <archive or program>
//   shoebox extract <archive or program> <folder>
//
// A damaged entry is named on stderr with what is wrong with it, and the tool then
// exits with 1: extract writes the good entries only, append writes nothing. Extract
// never writes through a link already in the folder, nor outside the folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "files/archive_format.h"
#include "files/file_handle.h"
#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: shoebox pack <archive> <file or folder>...\n"
                 "       shoebox append <program> <archive>\n"
                 "       shoebox list <archive>\n"
                 "       shoebox extract <archive> <folder>\n");
    return 2;
}

// A regular file's bytes (a link is followed; pipes and devices are refused).
bool ReadFile(const fs::path& p, std::vector<uint8_t>& out) {
    KWFileSystem f;
    return f.OpenRead(p.c_str()) && f.ReadAll(out);
}

// Every good entry of an archive with its unpacked bytes; each damaged one is reported
// and counted in `damaged`. False when the file holds no archive at all.
bool ReadArchive(const std::string& path, std::vector<__ArchiveInput>& out, int& damaged) {
    KWFileSystem f;
    std::vector<__ArchiveEntry> entries;
    damaged = 0;
    if (!f.OpenRead(path.c_str()) || !__ReadArchiveDirectory(__ArchiveSource(f.File()), entries)) {
        std::fprintf(stderr, "shoebox: %s holds no readable archive\n", path.c_str());
        return false;
    }
    for (const __ArchiveEntry& e : entries) {
        __ArchiveInput in{e.name, {}};
        std::string reason;
        if (__ReadArchiveEntry(__ArchiveSource(f.File()), e, in.data, &reason)) {
            out.push_back(std::move(in));
        } else {
            std::fprintf(stderr, "shoebox: %s: entry %s is damaged: %s\n", path.c_str(), e.name.c_str(),
                         reason.c_str());
            ++damaged;
        }
    }
    return true;
}

// Writes a new archive file (positions from the start), or appends one to the end of
// an existing file (positions from the end).
int Write(const std::string& path, const std::vector<__ArchiveInput>& inputs, bool append) {
    FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
    ByteWriter archive;
    bool ok = f && fseeko(f, 0, SEEK_END) == 0;
    ok = ok && __WriteArchive(inputs, ftello(f), append, archive) &&
         std::fwrite(archive.Data().data(), 1, archive.Size(), f) == archive.Size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "shoebox: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%zu entries %s %s\n", inputs.size(), append ? "appended to" : "packed into", path.c_str());
    return 0;
}

// The regular files under a folder, each with its path within the folder. Links to
// files count as files under their own names; links to folders are left out.
bool CollectFolder(const fs::path& src, std::vector<std::pair<fs::path, std::string>>& files) {
    std::error_code ec;
    fs::recursive_directory_iterator it(src, fs::directory_options::none, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& e = *it;
        std::string rel = e.path().native().substr(src.native().size());
        rel.erase(0, rel.find_first_not_of('/'));
        std::error_code tec;
        if (e.is_regular_file(tec)) files.push_back({e.path(), fs::path(rel).generic_string()});
        else if (e.is_symlink(tec) && e.is_directory(tec))
            std::fprintf(stderr, "shoebox: %s left out: a link to a folder\n", e.path().c_str());
        else if (!e.is_directory(tec))
            std::fprintf(stderr, "shoebox: %s left out: not a regular file\n", e.path().c_str());
    }
    if (ec) std::fprintf(stderr, "shoebox: cannot read the folder %s: %s\n", src.c_str(), ec.message().c_str());
    return !ec;
}

int Pack(const std::string& archive, const std::vector<std::string>& sources) {
    std::vector<__ArchiveInput> inputs;
    for (const std::string& s : sources) {
        fs::path src(s);
        std::vector<std::pair<fs::path, std::string>> files;
        std::error_code ec;
        if (fs::is_directory(src, ec)) {
            if (!CollectFolder(src, files)) return 1;
        } else if (fs::is_regular_file(src, ec)) {
            files.push_back({src, src.filename().generic_string()});
        } else {
            std::fprintf(stderr, "shoebox: %s is neither a file nor a folder\n", s.c_str());
            return 1;
        }
        std::sort(files.begin(), files.end(), [](auto& a, auto& b) { return a.second < b.second; });
        for (auto& [path, name] : files) {
            __ArchiveInput in{name, {}};
            if (name.empty() || name.size() > 255 || !ReadFile(path, in.data)) {
                std::fprintf(stderr, "shoebox: cannot take %s\n", path.c_str());
                return 1;
            }
            inputs.push_back(std::move(in));
        }
    }
    return Write(archive, inputs, false);
}

int Append(const std::string& program, const std::string& archive) {
    std::vector<__ArchiveInput> inputs;
    int damaged = 0;
    if (!ReadArchive(archive, inputs, damaged)) return 1;
    if (damaged > 0) {
        std::fprintf(stderr, "shoebox: %d damaged entries: nothing appended to %s\n", damaged, program.c_str());
        return 1;
    }
    return Write(program, inputs, true);
}

int List(const std::string& archive) {
    KWFileSystem f;
    std::vector<__ArchiveEntry> entries;
    if (!f.OpenRead(archive.c_str()) || !__ReadArchiveDirectory(__ArchiveSource(f.File()), entries)) {
        std::fprintf(stderr, "shoebox: %s holds no readable archive\n", archive.c_str());
        return 1;
    }
    for (const __ArchiveEntry& e : entries) std::printf("%10lld  %s\n", static_cast<long long>(e.size), e.name.c_str());
    return 0;
}

// Splits an entry name into plain path components; false for an absolute name, a
// '\\', or an empty, "." or ".." component: such a name could lead outside the folder.
bool SplitName(const std::string& name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.empty() || name[0] == '/' || name.find('\\') != std::string::npos) return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty() || part == "." || part == "..") return false;
        parts.push_back(part);
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

// A descriptor that is closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(-1); }
    void Reset(int fd) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    int Get() const { return fd_; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Why `name` inside the folder `dir` cannot be used as a `want` ("folder" or "file").
std::string Obstacle(int dir, const std::string& name, const char* want, int err) {
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode)) return "it is a link";
        if (std::strcmp(want, "folder") == 0 && !S_ISDIR(st.st_mode)) return "it is not a folder";
        if (std::strcmp(want, "file") == 0 && !S_ISREG(st.st_mode)) return "it is not a regular file";
    }
    return std::strerror(err);
}

// Writes one entry below the folder `root`, creating its folders, following no link
// on the way. False with the reason when something is in the way.
bool WriteEntry(int root, const std::vector<std::string>& parts, const std::vector<unsigned char>& data,
                std::string& reason) {
    Fd dir(dup(root));
    if (dir.Get() < 0) {
        reason = std::strerror(errno);
        return false;
    }
    std::string at;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        at += parts[i] + "/";
        if (mkdirat(dir.Get(), parts[i].c_str(), 0755) != 0 && errno != EEXIST) {
            const int err = errno;
            reason = "cannot make the folder " + at + ": " + std::strerror(err);
            return false;
        }
        int next = openat(dir.Get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            const int err = errno;
            reason = "cannot enter " + at + ": " + Obstacle(dir.Get(), parts[i], "folder", err);
            return false;
        }
        dir.Reset(next);
    }
    const std::string& leaf = parts.back();
    // Only a regular file is replaced: writing into a pipe or a device is refused
    // before it is opened, and checked again once it is.
    struct stat st;
    if (fstatat(dir.Get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
        reason = "cannot write " + at + leaf + ": " + Obstacle(dir.Get(), leaf, "file", EEXIST);
        return false;
    }
    Fd out(openat(dir.Get(), leaf.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (out.Get() < 0 || fstat(out.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = out.Get() < 0 ? errno : EINVAL;
        reason = "cannot write " + at + leaf + ": " + Obstacle(dir.Get(), leaf, "file", err);
        return false;
    }
    if (const int err = plat::WriteAll(out.Get(), data.data(), data.size())) {
        reason = "cannot write " + at + leaf + ": " + std::strerror(err);
        return false;
    }
    if (close(out.Release()) != 0) {
        const int err = errno;
        reason = "cannot write " + at + leaf + ": " + std::strerror(err);
        return false;
    }
    return true;
}

int Extract(const std::string& archive, const std::string& folder) {
    std::vector<__ArchiveInput> inputs;
    int failed = 0;
    if (!ReadArchive(archive, inputs, failed)) return 1;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "shoebox: cannot make the folder %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    Fd root(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.Get() < 0) {
        const int err = errno;
        std::fprintf(stderr, "shoebox: cannot extract into %s: %s\n", folder.c_str(),
                     Obstacle(AT_FDCWD, folder, "folder", err).c_str());
        return 1;
    }
    std::vector<std::string> parts;
    for (const __ArchiveInput& in : inputs) {
        std::string reason;
        if (!SplitName(in.name, parts)) {
            std::fprintf(stderr, "shoebox: entry %s left out: its name leads outside the folder\n", in.name.c_str());
            ++failed;
        } else if (!WriteEntry(root.Get(), parts, in.data, reason)) {
            std::fprintf(stderr, "shoebox: entry %s left out: %s\n", in.name.c_str(), reason.c_str());
            ++failed;
        }
    }
    return failed ? 1 : 0;
}

int Run(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string cmd = argv[1];
    if (cmd == "pack" && argc >= 4) return Pack(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    if (cmd == "append" && argc == 4) return Append(argv[2], argv[3]);
    if (cmd == "list" && argc == 3) return List(argv[2]);
    if (cmd == "extract" && argc == 4) return Extract(argv[2], argv[3]);
    return Usage();
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "shoebox: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "shoebox: failed\n");
    }
    return 1;
}
