#include <chrono>
#include <cstring>
#include <random>

#include "files/archive_format.h"
#include "files/compression.h"
#include "files/shoebox.h"
#include "support/bmp_writer.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Packed(const Bytes& in) {
    KWCompression packer;
    packer.Pack(in.data(), static_cast<long>(in.size()));
    return Bytes(packer.Output(), packer.Output() + packer.OutputSize());
}

// Packed streams: a length of 4 bytes, the LZO data, an end marker. A damaged stream
// unpacks to nothing and is never written beyond its claimed length.
TEST(Compression, RoundTripsAndDamagedStreams) {
    std::mt19937 rng(7);
    Bytes noise(100000), large(8 << 20), text(5000);
    for (auto& b : noise) b = static_cast<unsigned char>(rng());
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<unsigned char>((i / 1000) % 7);
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<unsigned char>("abcabdabe"[i % 9]);
    const Bytes empty = Packed({}), s = Packed(text);
    ASSERT_GE(empty.size(), 4u);
    EXPECT_EQ(Bytes(empty.begin(), empty.begin() + 4), (Bytes{0, 0, 0, 0}));
    EXPECT_LT(Packed(large).size(), large.size() / 20);
    KWCompression unpacker;
    auto unpack = [&](Bytes b) { return unpacker.UnPack(b.data(), static_cast<int>(b.size())); };
    for (const Bytes& in : {Bytes{}, Bytes{'h', 'e', 'l', 'l', 'o'}, noise, large}) {
        EXPECT_EQ(unpack(Packed(in)), static_cast<int>(in.size()));
        EXPECT_TRUE(Bytes(unpacker.Output(), unpacker.Output() + unpacker.OutputSize()) == in) << in.size();
    }
    auto withLength = [&](uint32_t n) {
        Bytes b = s;
        for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(n >> (8 * i));
        return b;
    };
    EXPECT_EQ(unpack(withLength(100)), 0);  // fewer bytes than the data
    EXPECT_LE(unpacker.OutputSize(), 100);
    EXPECT_EQ(unpack(Bytes(s.begin(), s.begin() + s.size() / 2)), 0);
    EXPECT_EQ(unpack(withLength(0x7F000000 + 5000)), 0);  // two gigabytes from a few bytes: refused before allocating
    EXPECT_EQ(unpacker.OutputSize(), 0);
    EXPECT_EQ(unpack({1, 0, 0}), 0);
    EXPECT_EQ(unpacker.UnPack(nullptr, 10), 0);
    EXPECT_EQ(unpack(s), 5000);
    EXPECT_EQ(unpack(s), 5000);  // a second unpack replaces the first result
    EXPECT_EQ(unpacker.OutputSize(), 5000);
}

using Entries = std::vector<std::pair<std::string, std::string>>;

// Writes an archive of (name, content) entries to the end of the file.
bool AppendArchive(const std::string& path, const Entries& entries, bool fromEnd) {
    std::vector<__ArchiveInput> in;
    for (auto& [n, t] : entries) in.push_back({n, std::vector<unsigned char>(t.begin(), t.end())});
    std::error_code ec;
    const auto size = fs::exists(path) ? fs::file_size(path, ec) : 0;
    ByteWriter archive;
    if (ec || !__WriteArchive(in, static_cast<int64_t>(size), fromEnd, archive)) return false;
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(archive.Data().data()), static_cast<std::streamsize>(archive.Size()));
    return fs::file_size(path) == size + archive.Size();
}

std::vector<__ArchiveEntry> Directory(const std::string& path) {
    std::vector<__ArchiveEntry> d;
    const std::string bytes = ReadText(path);
    EXPECT_TRUE(__ReadArchiveDirectory(__ArchiveSource(std::span(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                                 bytes.size())),
                                       d));
    return d;
}

ChildResult Tool(const std::string& args) { return RunProgram(TestBinDir().parent_path() / "shoebox", args); }

class ShoeBoxTest : public testing::Test {
protected:
    void SetUp() override { fs::current_path(dir_.path); }
    void TearDown() override {
        box_.Clear();
        fs::current_path("/");
    }
    std::string Archive(const std::string& file, const Entries& entries, bool fromEnd, const std::string& prefix = "") {
        EXPECT_TRUE(AppendArchive(WriteText(dir_ / file, prefix), entries, fromEnd));
        return dir_ / file;
    }
    // The name as Resolve leaves it, or "FAIL" and the name when it fails.
    std::string Resolve(const std::string& name, KWShoeBox* box = nullptr) {
        DQStr n(name.c_str());
        bool ok = (box ? box : &box_)->Resolve(n);
        return ok ? n.c_str() : std::string("FAIL ") + n.c_str();
    }
    TempDir dir_;
    KWShoeBox box_;
};

TEST_F(ShoeBoxTest, DiskFirstThenTheArchiveByTheTailOfTheName) {
    // The position counted from the start (only on its own) or from the end (also
    // appended to other data).
    for (auto [fromEnd, prefix] : {std::pair{false, std::string()}, {true, ""}, {true, std::string(10000, 'x')}}) {
        box_.SetArchive(Archive("a.sbx", {{"art/tile.bmp", "TILE"}, {"music.mid", "MIDI"}}, fromEnd, prefix).c_str());
        EXPECT_EQ(ReadText(Resolve("art/tile.bmp")), "TILE") << fromEnd << prefix.size();
        EXPECT_EQ(ReadText(Resolve("music.mid")), "MIDI");
    }
    // The tail of the name matches, in any case; separators are not translated.
    for (const char* name : {"C:/game/ART/Tile.bmp", "myart/tile.bmp"}) EXPECT_EQ(ReadText(Resolve(name)), "TILE");
    EXPECT_EQ(Resolve("art\\tile.bmp"), "FAIL ");  // a failed lookup in the archive empties the name
    EXPECT_EQ(Resolve("tile.bmp"), "FAIL ");       // the entry name is longer
    EXPECT_EQ(Resolve(""), "FAIL ");
    WriteText(dir_ / "music.mid", "disk");
    EXPECT_EQ(Resolve("music.mid"), "music.mid");  // a file on disk wins
    EXPECT_STREQ(box_.Extracted(), "");
    box_.SetArchive((dir_ / "missing.sbx").c_str());
    EXPECT_EQ(Resolve("x.txt"), "FAIL x.txt");  // the archive could not be opened: the name stays
}

TEST_F(ShoeBoxTest, OneExtractedFilePerRecordInAPrivateFolder) {
    box_.SetArchive(Archive("a.sbx", {{"one.txt", "1"}, {"two.txt", "2"}, {"../../up.txt", "x"}, {"/etc/abs.txt", "y"}},
                            false).c_str());
    const std::string first = Resolve("one.txt");
    EXPECT_NE(fs::path(first).filename().string().find("~sbx"), std::string::npos);
    EXPECT_NE(fs::path(first).filename().string().find("one.txt"), std::string::npos);
    EXPECT_EQ(fs::status(fs::path(first).parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    const std::string second = Resolve("two.txt");
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(Resolve("three.txt"), "FAIL ");
    EXPECT_FALSE(fs::exists(second));  // even a failed lookup removes the last one
    // Entry names never leave the folder.
    const std::string up = Resolve("../../up.txt");
    EXPECT_EQ(fs::path(up).parent_path(), fs::path(first).parent_path());
    EXPECT_EQ(up.find("/../"), std::string::npos);
    EXPECT_EQ(ReadText(Resolve("/etc/abs.txt")), "y");
    // The media record keeps its file while the data record works.
    KWShoeBox media;
    media.SetArchive((dir_ / "a.sbx").c_str());
    const std::string kept = Resolve("one.txt", &media);
    Resolve("two.txt");
    Resolve("one.txt");
    EXPECT_TRUE(fs::exists(kept));
    media.Clear();
    EXPECT_FALSE(fs::exists(kept));
}

// Loaders take a file's bytes: from disk when it is there (a folder is not), else the
// unpacked entry, and no file is extracted. A file too large to read whole is found
// but unreadable.
TEST_F(ShoeBoxTest, FetchGivesTheBytesFromDiskOrTheArchive) {
    const std::string arc = Archive("a.sbx", {{"art/tile.bmp", "TILE"}, {"data.txt", "ARCHIVE"}}, true, "program");
    box_.SetArchive(arc.c_str());
    auto fetch = [&](const char* name) {
        std::vector<uint8_t> bytes;
        const __Found found = box_.Fetch(name, bytes);
        if (found != __Found::Bytes) return std::string(found == __Found::Nothing ? "NOTHING" : "UNREADABLE");
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(fetch("C:/game/Art/Tile.bmp"), "TILE");
    EXPECT_EQ(fetch("data.txt"), "ARCHIVE");
    fs::create_directory(dir_.path / "data.txt");
    EXPECT_EQ(fetch("data.txt"), "ARCHIVE");
    fs::remove(dir_.path / "data.txt");
    WriteText(dir_ / "data.txt", "DISK");
    EXPECT_EQ(fetch("data.txt"), "DISK");
    EXPECT_EQ(fetch("none.txt"), "NOTHING");
    EXPECT_EQ(fetch(""), "NOTHING");
    // A lookup of either kind removes the file the one before extracted.
    const std::string extracted = Resolve("art/tile.bmp");
    ASSERT_TRUE(fs::exists(extracted));
    EXPECT_EQ(fetch("art/tile.bmp"), "TILE");
    EXPECT_FALSE(fs::exists(extracted));
    EXPECT_STREQ(box_.Extracted(), "");
    // Larger than any file a loader reads (the file holds no data: nothing is read).
    fs::resize_file(WriteText(dir_ / "huge.bin", ""), (uintmax_t{1} << 31) + 1);
    EXPECT_EQ(fetch("huge.bin"), "UNREADABLE");
}

// The directory is read once and kept while the archive file stays the same: a
// directory damaged behind the record's back (size and time of writing kept) is not
// seen, a rewritten archive is.
TEST_F(ShoeBoxTest, TheDirectoryIsReadOnceWhileTheArchiveStaysTheSame) {
    const std::string arc = Archive("a.sbx", {{"one.txt", "1"}}, false);
    box_.SetArchive(arc.c_str());
    std::vector<uint8_t> bytes;
    ASSERT_EQ(box_.Fetch("one.txt", bytes), __Found::Bytes);
    const auto written = fs::last_write_time(arc);
    std::string b = ReadText(arc);
    const size_t name = b.rfind("one.txt");
    ASSERT_NE(name, std::string::npos);
    b.replace(name, 3, "two");
    WriteText(arc, b);
    fs::last_write_time(arc, written);
    EXPECT_EQ(box_.Fetch("one.txt", bytes), __Found::Bytes);
    EXPECT_EQ(box_.Fetch("two.txt", bytes), __Found::Nothing);
    fs::last_write_time(arc, written + std::chrono::seconds(1));
    EXPECT_EQ(box_.Fetch("one.txt", bytes), __Found::Nothing);
    EXPECT_EQ(box_.Fetch("two.txt", bytes), __Found::Bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "1");
    // Another archive file under the same name.
    fs::remove(arc);
    Archive("a.sbx", {{"three.txt", "3"}}, false);
    EXPECT_EQ(box_.Fetch("three.txt", bytes), __Found::Bytes);
}

TEST_F(ShoeBoxTest, DamagedArchivesAndEntries) {
    const std::string bytes = ReadText(Archive("good.sbx", {{"x.txt", std::string(3000, 'q')}}, false));
    // The directory starts right after the data: 1 + 5 name bytes, then O and S.
    const size_t dir = bytes.size() - 4 - 1 - (1 + 5 + 8);
    auto patched = [&](size_t at, uint32_t v) { return std::string(bytes).replace(at, 4, U32(v)); };
    std::string claim = bytes;
    claim[3] = 0x7F;  // the stream claims about two gigabytes
    for (const std::string& b : {bytes.substr(0, 3), bytes.substr(0, bytes.size() - 9),
                                 patched(bytes.size() - 4, 1u << 30),         // directory past the end
                                 patched(bytes.size() - 4, -(1u << 30)),      // directory before the start
                                 patched(dir + 6, 1u << 30),                  // entry offset past the end
                                 patched(dir + 10, 0x7FFFFFFF), claim}) {     // packed size beyond the file
        box_.SetArchive(WriteText(dir_ / "bad.sbx", b).c_str());
        EXPECT_EQ(Resolve("x.txt").substr(0, 4), "FAIL");
    }
    // One damaged entry hides no other.
    const std::string two = Archive("two.sbx", {{"bad.txt", "B"}, {"good.txt", "G"}}, false);
    std::string b = ReadText(two);
    uint32_t at = 0;  // the directory's position, from the start
    std::memcpy(&at, &b[b.size() - 4], 4);
    b.replace(at + 1 + 7, 4, U32(1u << 30));  // bad.txt's offset
    box_.SetArchive(WriteText(two, b).c_str());
    EXPECT_EQ(ReadText(Resolve("good.txt")), "G");
    EXPECT_EQ(Resolve("bad.txt").substr(0, 4), "FAIL");
}

// The shoebox tool packs a folder and appends it to a program on the runtime, which
// then loads its sprite and data file from itself with nothing beside it.
TEST(ShoeBoxTool, AppendedAssetsLinksDamageAndTheTargetFolder) {
    TempDir w;
    fs::create_directories(w.path / "assets/Gfx");
    fs::create_directories(w.path / "bin");
    fs::copy_file(TestBinDir() / "Smalfont.bmp", w / "assets/Smalfont.bmp");
    fs::copy_file(TestBinDir() / "scenario_prog", w / "bin/game");
    WriteBitmap(w / "assets/Gfx/Block.bmp", {.width = 3, .height = 2, .pixel = Solid(0x7F7F7F)});
    WriteText(w / "assets/scores.dat", "first\r\n4711\r\n");
    ASSERT_EQ(Tool("pack " + (w / "a.sbx") + " " + (w / "assets")).status, 0);
    ASSERT_EQ(Tool("append " + (w / "bin/game") + " " + (w / "a.sbx")).status, 0);
    // DOESFILEEXIST looks on disk only: the packed sprite loads, but is not "there".
    EXPECT_EQ(RunProgram(w / "bin/game", "from-archive").Outcome(), "0 sprite 3 2\nscore 4711\nfont 1\non disk 0\n");
    // The tool stores links under their own names, names every damaged entry and
    // fails, and never writes through a link or outside the folder it extracts into.
    for (const char* d : {"in", "outside", "out", "elsewhere"}) fs::create_directories(w.path / d);
    WriteText(w / "outside/x.bmp", "X");
    fs::create_symlink("../outside/x.bmp", w / "in/link.bmp");
    ASSERT_EQ(Tool("pack " + (w / "l.sbx") + " " + (w / "in")).status, 0);
    std::vector<__ArchiveEntry> entries = Directory(w / "l.sbx");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "link.bmp");
    // A stream that unpacks short; names through links and upward; "a" beside "a/b".
    Entries in;
    for (const char* n : {"short", "sub/f.txt", "file.txt", "../up.txt", "ok.txt", "a", "a/b"})
        in.push_back({n, std::string(100, 'z')});
    const std::string arc = w / "d.sbx";
    ASSERT_TRUE(AppendArchive(arc, in, false));
    std::string bytes = ReadText(arc);
    bytes[static_cast<size_t>(Directory(arc)[0].offset)] = 101;  // "short" claims one byte more than it holds
    WriteText(arc, bytes);
    WriteText(w / "elsewhere/victim.txt", "safe");
    fs::create_directory_symlink("../elsewhere", w / "out/sub");
    fs::create_symlink("../elsewhere/victim.txt", w / "out/file.txt");
    const ChildResult r = Tool("extract " + arc + " " + (w / "out"));
    EXPECT_EQ(r.status, 1);
    for (const char* n : {"a/b", "short", "sub/f.txt", "file.txt", "../up.txt"})
        EXPECT_NE(r.err.find(std::string("entry ") + n + " "), std::string::npos) << n << "\n" << r.err;
    EXPECT_EQ(ReadText(w / "out/ok.txt"), std::string(100, 'z'));
    EXPECT_EQ(fs::file_size(w / "out/a"), 100u);
    for (const char* gone : {"out/short", "elsewhere/f.txt", "up.txt"}) EXPECT_FALSE(fs::exists(w / gone)) << gone;
    EXPECT_EQ(ReadText(w / "elsewhere/victim.txt"), "safe");
    // Appending a damaged archive leaves the program as it was.
    WriteText(w / "prog", "program");
    EXPECT_EQ(Tool("append " + (w / "prog") + " " + arc).status, 1);
    EXPECT_EQ(ReadText(w / "prog"), "program");
}

}  // namespace
