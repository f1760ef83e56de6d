// Packed streams (the data of every archive entry): the input is unpacked as a
// stream, and also packed and unpacked again, which must give it back unchanged. The
// LZO library itself is not instrumented, so the packed stream is also held to the
// worst-case size the packer reserves for it (length + length / 64 + 23).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "files/compression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KWCompression stream;
    const int produced = stream.UnPack(data, static_cast<int>(size));
    if (produced < 0 || produced > stream.OutputSize()) std::abort();
    // The same object unpacks again, releasing the first result.
    stream.UnPack(data, static_cast<int>(size));

    KWCompression packer, unpacker;
    packer.Pack(data, static_cast<long>(size));
    if (static_cast<size_t>(packer.OutputSize()) > size + size / 64 + 23) std::abort();
    if (unpacker.UnPack(packer.Output(), packer.OutputSize()) != static_cast<int>(size) && size > 0) std::abort();
    if (unpacker.OutputSize() != static_cast<int>(size) ||
        (size > 0 && std::memcmp(unpacker.Output(), data, size) != 0))
        std::abort();
    return 0;
}
