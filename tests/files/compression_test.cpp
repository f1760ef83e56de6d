#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "files/compression.h"

namespace {

std::vector<unsigned char> RoundTrip(const std::vector<unsigned char>& in) {
    KWCompression packer, unpacker;
    packer.Pack(in.data(), static_cast<long>(in.size()));
    int n = unpacker.UnPack(packer.Output(), packer.OutputSize());
    EXPECT_EQ(n, static_cast<int>(in.size()));
    return std::vector<unsigned char>(unpacker.Output(), unpacker.Output() + unpacker.OutputSize());
}

TEST(Compression, RoundTrips) {
    std::vector<unsigned char> empty;
    EXPECT_EQ(RoundTrip(empty), empty);
    KWCompression k;
    k.Pack(empty.data(), 0);
    ASSERT_GE(k.OutputSize(), 4);
    EXPECT_EQ(k.Output()[0] | k.Output()[1] | k.Output()[2] | k.Output()[3], 0);  // length 0, then the end marker

    std::vector<unsigned char> small = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(RoundTrip(small), small);

    std::mt19937 rng(7);
    std::vector<unsigned char> noise(100000);
    for (auto& b : noise) b = static_cast<unsigned char>(rng());
    EXPECT_EQ(RoundTrip(noise), noise);

    std::vector<unsigned char> large(8 << 20);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<unsigned char>((i / 1000) % 7);
    KWCompression p;
    p.Pack(large.data(), static_cast<long>(large.size()));
    EXPECT_LT(p.OutputSize(), static_cast<int>(large.size() / 20));
    EXPECT_EQ(RoundTrip(large), large);
}

TEST(Compression, DamagedStreamsGiveZero) {
    std::vector<unsigned char> text(5000);
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<unsigned char>("abcabdabe"[i % 9]);
    KWCompression packer, unpacker;
    packer.Pack(text.data(), static_cast<long>(text.size()));
    std::vector<unsigned char> s(packer.Output(), packer.Output() + packer.OutputSize());

    // A header claiming fewer bytes than the data: an error, never a write beyond.
    std::vector<unsigned char> fewer = s;
    fewer[0] = 100;
    fewer[1] = fewer[2] = fewer[3] = 0;
    EXPECT_EQ(unpacker.UnPack(fewer.data(), static_cast<int>(fewer.size())), 0);
    EXPECT_LE(unpacker.OutputSize(), 100);

    std::vector<unsigned char> cut(s.begin(), s.begin() + s.size() / 2);
    EXPECT_EQ(unpacker.UnPack(cut.data(), static_cast<int>(cut.size())), 0);

    std::vector<unsigned char> huge = s;
    huge[3] = 0x7F;  // about two gigabytes from a few bytes: refused before allocating
    EXPECT_EQ(unpacker.UnPack(huge.data(), static_cast<int>(huge.size())), 0);
    EXPECT_EQ(unpacker.OutputSize(), 0);

    unsigned char tiny[3] = {1, 0, 0};
    EXPECT_EQ(unpacker.UnPack(tiny, 3), 0);
    EXPECT_EQ(unpacker.UnPack(nullptr, 10), 0);

    // A second unpack replaces the first result.
    EXPECT_EQ(unpacker.UnPack(s.data(), static_cast<int>(s.size())), 5000);
    EXPECT_EQ(unpacker.UnPack(s.data(), static_cast<int>(s.size())), 5000);
    EXPECT_EQ(unpacker.OutputSize(), 5000);
}

}  // namespace
