#include "files/compression.h"

#include <lzo/lzo1x.h>

#include <cstdlib>
#include <cstring>

#include "core/byte_io.h"

namespace {

// The compressor's work area, shared by every Pack.
alignas(16) unsigned char g_wrkmem[LZO1X_1_MEM_COMPRESS];

bool LzoReady() {
    static const bool ready = lzo_init() == LZO_E_OK;
    return ready;
}

// Largest block the runtime unpacks at all.
constexpr uint64_t kLargestBlock = uint64_t{1} << 31;

}  // namespace

uint64_t __MaxUnpackedLength(uint64_t packedSize) {
    // LZO1X encodes a long match in about one byte per 255 bytes of output.
    uint64_t most = packedSize * 256 + 4096;
    return most < kLargestBlock ? most : kLargestBlock;
}

void KWCompression::Clear() {
    out_.clear();
    out_.shrink_to_fit();
}

void KWCompression::Pack(const unsigned char* data, long length) {
    Clear();
    if (length < 0 || !LzoReady()) return;
    out_.resize(static_cast<size_t>(length) + length / 64 + 23 + 64);
    lzo_uint packed = 0;
    lzo1x_1_compress(data, static_cast<lzo_uint>(length), out_.data() + 4, &packed, g_wrkmem);
    const uint32_t n = static_cast<uint32_t>(length);
    for (int i = 0; i < 4; ++i) out_[i] = static_cast<unsigned char>(n >> (8 * i));
    out_.resize(packed + 4);
}

int KWCompression::UnPack(const unsigned char* packed, int packedSize) {
    Clear();
    if (!packed || packedSize < 4 || !LzoReady()) return 0;
    const uint32_t n = Le32(packed);
    if (n > __MaxUnpackedLength(static_cast<uint64_t>(packedSize))) return 0;
    out_.resize(n);
    lzo_uint produced = n;
    int rc = lzo1x_decompress_safe(packed + 4, static_cast<lzo_uint>(packedSize - 4), out_.data(), &produced, nullptr);
    out_.resize(produced <= n ? produced : n);
    if (rc != LZO_E_OK) return 0;
    return static_cast<int>(out_.size());
}
