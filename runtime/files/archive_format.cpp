#include "files/archive_format.h"

#include <cstring>
#include <new>

#include "files/compression.h"

bool __ArchiveSource::Read(int64_t offset, size_t n, std::vector<uint8_t>& out) const {
    out.clear();
    if (offset < 0 || offset > size_ || n > static_cast<uint64_t>(size_ - offset)) return false;
    try {
        out.resize(n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (file_) return file_->ReadAt(offset, out.data(), n);
    if (n > 0) std::memcpy(out.data(), bytes_.data() + offset, n);
    return true;
}

bool __ReadArchiveDirectory(const __ArchiveSource& archive, std::vector<__ArchiveEntry>& entries) {
    entries.clear();
    const int64_t size = archive.Size();
    std::vector<uint8_t> bytes;
    if (size < 4 || !archive.Read(size - 4, 4, bytes)) return false;
    const int32_t d = static_cast<int32_t>(Le32(bytes.data()));
    const bool fromEnd = d < 0;
    const int64_t dirStart = fromEnd ? size + d : d;
    if (dirStart < 0 || dirStart > size - 4) return false;
    // The walk may run on into the position itself when no 0 ends the directory.
    if (!archive.Read(dirStart, static_cast<size_t>(size - dirStart), bytes)) return false;
    ByteReader r(bytes.data(), bytes.size());
    for (;;) {
        const uint8_t length = r.U8();
        if (!r.Ok() || length == 0) break;
        const uint8_t* name = r.Bytes(length);
        const int32_t offset = r.I32();
        const int32_t packed = r.I32();
        if (!r.Ok()) break;  // a directory cut off by the end of the file ends there
        __ArchiveEntry e;
        e.name.assign(reinterpret_cast<const char*>(name), length);
        e.storedOffset = offset;
        e.offset = fromEnd ? size + offset : offset;
        e.size = packed;
        entries.push_back(std::move(e));
        if (r.AtEnd()) break;
    }
    return true;
}

bool __ReadArchiveEntry(const __ArchiveSource& archive, const __ArchiveEntry& entry, std::vector<uint8_t>& out,
                        std::string* reason) {
    out.clear();
    auto fail = [reason](const std::string& why) {
        if (reason) *reason = why;
        return false;
    };
    const int64_t size = archive.Size();
    if (entry.offset < 0 || entry.offset >= size) return fail("its data lies outside the archive");
    if (entry.size < 4) return fail("its packed size " + std::to_string(entry.size) + " is too small");
    if (entry.size > size - entry.offset) return fail("its data runs past the end of the archive");
    std::vector<uint8_t> packed;
    if (!archive.Read(entry.offset, static_cast<size_t>(entry.size), packed)) return fail("its data cannot be read");
    const uint32_t claimed = Le32(packed.data());
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

const __ArchiveEntry* __FindArchiveEntry(const std::vector<__ArchiveEntry>& entries, const char* name) {
    const size_t n = std::strlen(name);
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c; };
    for (const __ArchiveEntry& e : entries) {
        if (e.name.size() > n) continue;
        const char* tail = name + (n - e.name.size());
        size_t i = 0;
        while (i < e.name.size() && lower(static_cast<unsigned char>(e.name[i])) ==
                                        lower(static_cast<unsigned char>(tail[i])))
            ++i;
        if (i == e.name.size()) return &e;
    }
    return nullptr;
}

bool __WriteArchive(const std::vector<__ArchiveInput>& inputs, int64_t base, bool fromEnd, ByteWriter& out) {
    ByteWriter body, directory;
    std::vector<int64_t> offsets, sizes;
    KWCompression packer;
    for (const __ArchiveInput& in : inputs) {
        if (in.name.empty() || in.name.size() > 255) return false;
        packer.Pack(in.data.data(), static_cast<long>(in.data.size()));
        offsets.push_back(base + static_cast<int64_t>(body.Size()));
        sizes.push_back(packer.OutputSize());
        body.Bytes(packer.Output(), static_cast<size_t>(packer.OutputSize()));
    }
    const int64_t dirStart = base + static_cast<int64_t>(body.Size());
    int64_t dirLength = 1 + 4;  // end byte and the position
    for (const __ArchiveInput& in : inputs) dirLength += 1 + static_cast<int64_t>(in.name.size()) + 8;
    const int64_t end = dirStart + dirLength;
    if (end > INT32_MAX) return false;
    for (size_t i = 0; i < inputs.size(); ++i) {
        directory.U8(static_cast<uint8_t>(inputs[i].name.size())).Text(inputs[i].name);
        directory.I32(static_cast<int32_t>(fromEnd ? offsets[i] - end : offsets[i]));
        directory.I32(static_cast<int32_t>(sizes[i]));
    }
    directory.U8(0).I32(static_cast<int32_t>(fromEnd ? dirStart - end : dirStart));
    out.Bytes(body.Data().data(), body.Size()).Bytes(directory.Data().data(), directory.Size());
    return true;
}
