#include "files/archive_format.h"

#include "files/compression.h"

namespace {

int32_t Le32(const unsigned char* p) {
    return static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

void Put32(std::vector<unsigned char>& v, int32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<unsigned char>(static_cast<uint32_t>(x) >> (8 * i)));
}

}  // namespace

bool __ReadArchiveDirectory(FILE* f, int64_t fileSize, std::vector<__ArchiveEntry>& entries) {
    entries.clear();
    if (!f || fileSize < 4) return false;
    unsigned char tail[4];
    if (fseeko(f, fileSize - 4, SEEK_SET) != 0 || std::fread(tail, 1, 4, f) != 4) return false;
    const int32_t d = Le32(tail);
    const bool fromEnd = d < 0;
    const int64_t dirStart = fromEnd ? fileSize + d : d;
    if (dirStart < 0 || dirStart > fileSize - 4) return false;
    if (fseeko(f, dirStart, SEEK_SET) != 0) return false;

    int64_t pos = dirStart;
    for (;;) {
        int length = std::fgetc(f);
        if (length == EOF || length == 0) break;
        ++pos;
        __ArchiveEntry e;
        e.name.resize(static_cast<size_t>(length));
        unsigned char fields[8];
        if (std::fread(e.name.data(), 1, e.name.size(), f) != e.name.size() || std::fread(fields, 1, 8, f) != 8)
            break;  // a directory cut off by the end of the file ends there
        pos += length + 8;
        e.storedOffset = Le32(fields);
        e.offset = fromEnd ? fileSize + e.storedOffset : e.storedOffset;
        e.size = Le32(fields + 4);
        entries.push_back(std::move(e));
        if (pos >= fileSize) break;
    }
    return true;
}

bool __ReadArchiveEntry(FILE* f, int64_t fileSize, const __ArchiveEntry& entry, std::vector<unsigned char>& out,
                        std::string* reason) {
    out.clear();
    auto fail = [reason](const std::string& why) {
        if (reason) *reason = why;
        return false;
    };
    if (!f) return fail("the archive is not open");
    if (entry.offset < 0 || entry.offset >= fileSize) return fail("its data lies outside the archive");
    if (entry.size < 4) return fail("its packed size " + std::to_string(entry.size) + " is too small");
    if (entry.size > fileSize - entry.offset) return fail("its data runs past the end of the archive");
    std::vector<unsigned char> packed(static_cast<size_t>(entry.size));
    if (fseeko(f, entry.offset, SEEK_SET) != 0 || std::fread(packed.data(), 1, packed.size(), f) != packed.size())
        return fail("its data cannot be read");
    const uint32_t claimed = static_cast<uint32_t>(Le32(packed.data()));
    if (claimed > __MaxUnpackedLength(static_cast<uint64_t>(entry.size)))
        return fail("it claims " + std::to_string(claimed) + " bytes, more than its packed data can hold");
    KWCompression unpacker;
    const int produced = unpacker.UnPack(packed.data(), static_cast<int>(packed.size()));
    if ((produced == 0 && claimed != 0) || static_cast<uint32_t>(unpacker.OutputSize()) != claimed)
        return fail("its packed data is damaged (" + std::to_string(unpacker.OutputSize()) + " of " +
                    std::to_string(claimed) + " bytes unpacked)");
    out = unpacker.TakeOutput();
    return true;
}

bool __WriteArchive(FILE* f, const std::vector<__ArchiveInput>& inputs, bool fromEnd) {
    if (!f || fseeko(f, 0, SEEK_END) != 0) return false;
    const int64_t base = ftello(f);
    std::vector<unsigned char> body, directory;
    std::vector<int64_t> offsets, sizes;
    KWCompression packer;
    for (const __ArchiveInput& in : inputs) {
        if (in.name.empty() || in.name.size() > 255) return false;
        packer.Pack(in.data.data(), static_cast<long>(in.data.size()));
        offsets.push_back(base + static_cast<int64_t>(body.size()));
        sizes.push_back(packer.OutputSize());
        body.insert(body.end(), packer.Output(), packer.Output() + packer.OutputSize());
    }
    const int64_t dirStart = base + static_cast<int64_t>(body.size());
    int64_t dirLength = 1 + 4;  // end byte and the position
    for (const __ArchiveInput& in : inputs) dirLength += 1 + static_cast<int64_t>(in.name.size()) + 8;
    const int64_t end = dirStart + dirLength;
    if (end > INT32_MAX) return false;
    for (size_t i = 0; i < inputs.size(); ++i) {
        directory.push_back(static_cast<unsigned char>(inputs[i].name.size()));
        directory.insert(directory.end(), inputs[i].name.begin(), inputs[i].name.end());
        Put32(directory, static_cast<int32_t>(fromEnd ? offsets[i] - end : offsets[i]));
        Put32(directory, static_cast<int32_t>(sizes[i]));
    }
    directory.push_back(0);
    Put32(directory, static_cast<int32_t>(fromEnd ? dirStart - end : dirStart));
    return std::fwrite(body.data(), 1, body.size(), f) == body.size() &&
           std::fwrite(directory.data(), 1, directory.size(), f) == directory.size() && std::fflush(f) == 0;
}
