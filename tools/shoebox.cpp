// shoebox: packs game assets into an archive and puts it where a program finds it.
//
//   shoebox pack <archive> <file or folder>...   entries named relative to each
//                                                 folder given, with '/' separators
//   shoebox append <program> <archive>           appends the archive to the program
//                                                 file so the program reads its own
//                                                 assets (positions counted from the end)
//   shoebox list <archive or program>
//   shoebox extract <archive or program> <folder>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/archive_format.h"
#include "files/compression.h"
#include "files/file_handle.h"

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

bool ReadFile(const fs::path& p, std::vector<unsigned char>& out) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Every entry of an archive with its unpacked bytes.
bool ReadArchive(const std::string& path, std::vector<__ArchiveInput>& out) {
    KWFileSystem f;
    std::vector<__ArchiveEntry> entries;
    if (!f.OpenRead(path.c_str()) || !__ReadArchiveDirectory(f.Get(), f.Size(), entries)) {
        std::fprintf(stderr, "shoebox: %s holds no readable archive\n", path.c_str());
        return false;
    }
    KWCompression unpacker;
    for (const __ArchiveEntry& e : entries) {
        std::vector<unsigned char> packed(static_cast<size_t>(e.size));
        if (fseeko(f.Get(), e.offset, SEEK_SET) != 0 || std::fread(packed.data(), 1, packed.size(), f.Get()) != packed.size()) {
            std::fprintf(stderr, "shoebox: %s: entry %s is cut off\n", path.c_str(), e.name.c_str());
            return false;
        }
        unpacker.UnPack(packed.data(), static_cast<int>(packed.size()));
        out.push_back({e.name, std::vector<unsigned char>(unpacker.Output(), unpacker.Output() + unpacker.OutputSize())});
    }
    return true;
}

// Writes a new archive file (positions from the start), or appends one to the end of
// an existing file (positions from the end).
int Write(const std::string& path, const std::vector<__ArchiveInput>& inputs, bool append) {
    FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
    bool ok = f && __WriteArchive(f, inputs, append);
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "shoebox: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%zu entries %s %s\n", inputs.size(), append ? "appended to" : "packed into", path.c_str());
    return 0;
}

int Pack(const std::string& archive, const std::vector<std::string>& sources) {
    std::vector<__ArchiveInput> inputs;
    for (const std::string& s : sources) {
        fs::path src(s);
        std::vector<std::pair<fs::path, std::string>> files;
        if (fs::is_directory(src)) {
            for (const auto& e : fs::recursive_directory_iterator(src))
                if (e.is_regular_file()) files.push_back({e.path(), fs::relative(e.path(), src).generic_string()});
        } else if (fs::is_regular_file(src)) {
            files.push_back({src, src.filename().generic_string()});
        } else {
            std::fprintf(stderr, "shoebox: %s is neither a file nor a folder\n", s.c_str());
            return 1;
        }
        std::sort(files.begin(), files.end(), [](auto& a, auto& b) { return a.second < b.second; });
        for (auto& [path, name] : files) {
            __ArchiveInput in{name, {}};
            if (name.size() > 255 || !ReadFile(path, in.data)) {
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
    if (!ReadArchive(archive, inputs)) return 1;
    return Write(program, inputs, true);
}

int List(const std::string& archive) {
    KWFileSystem f;
    std::vector<__ArchiveEntry> entries;
    if (!f.OpenRead(archive.c_str()) || !__ReadArchiveDirectory(f.Get(), f.Size(), entries)) {
        std::fprintf(stderr, "shoebox: %s holds no readable archive\n", archive.c_str());
        return 1;
    }
    for (const __ArchiveEntry& e : entries) std::printf("%10lld  %s\n", static_cast<long long>(e.size), e.name.c_str());
    return 0;
}

// A relative path of plain components; anything else never leaves the folder.
bool SafeName(const std::string& name) {
    fs::path p(name);
    if (name.empty() || p.is_absolute() || name.find('\\') != std::string::npos) return false;
    for (const fs::path& part : p)
        if (part == ".." || part == "." || part.empty()) return false;
    return true;
}

int Extract(const std::string& archive, const std::string& folder) {
    std::vector<__ArchiveInput> inputs;
    if (!ReadArchive(archive, inputs)) return 1;
    int refused = 0;
    for (const __ArchiveInput& in : inputs) {
        if (!SafeName(in.name)) {
            std::fprintf(stderr, "shoebox: entry %s left out: its name leads outside the folder\n", in.name.c_str());
            ++refused;
            continue;
        }
        fs::path target = fs::path(folder) / in.name;
        fs::create_directories(target.parent_path());
        std::ofstream out(target, std::ios::binary);
        out.write(reinterpret_cast<const char*>(in.data.data()), static_cast<std::streamsize>(in.data.size()));
        if (!out) {
            std::fprintf(stderr, "shoebox: cannot write %s\n", target.c_str());
            return 1;
        }
    }
    return refused ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string cmd = argv[1];
    if (cmd == "pack" && argc >= 4) return Pack(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    if (cmd == "append" && argc == 4) return Append(argv[2], argv[3]);
    if (cmd == "list" && argc == 3) return List(argv[2]);
    if (cmd == "extract" && argc == 4) return Extract(argv[2], argv[3]);
    return Usage();
}
