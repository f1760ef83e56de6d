#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/archive_format.h"
#include "files/compression.h"
#include "files/shoebox.h"
#include "support/child.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ShoeBoxTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvane-sbx-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        box_.Clear();
        fs::current_path("/");
        fs::remove_all(dir_);
    }
    // Writes an archive of (name, text) entries, after `prefix` bytes of other data.
    std::string Archive(const std::string& file, std::vector<std::pair<std::string, std::string>> entries,
                        bool fromEnd, const std::string& prefix = "") {
        std::string path = (dir_ / file).string();
        std::ofstream(path, std::ios::binary) << prefix;
        std::vector<__ArchiveInput> in;
        for (auto& [n, t] : entries) in.push_back({n, std::vector<unsigned char>(t.begin(), t.end())});
        FILE* f = std::fopen(path.c_str(), "ab");
        EXPECT_TRUE(__WriteArchive(f, in, fromEnd));
        std::fclose(f);
        return path;
    }
    bool Resolve(const std::string& name, std::string& out) {
        DQStr n(name.c_str());
        bool ok = box_.Resolve(n);
        out = n.c_str();
        return ok;
    }
    fs::path dir_;
    KWShoeBox box_;
};

TEST_F(ShoeBoxTest, BothPositionFormsStandaloneAndAppended) {
    for (bool fromEnd : {false, true}) {
        for (const std::string& prefix : {std::string(), std::string(10000, 'x')}) {
            if (!fromEnd && !prefix.empty()) continue;  // counted from the start: only on its own
            box_.SetArchive(Archive("a.sbx", {{"art/tile.bmp", "TILE"}, {"music.mid", "MIDI"}}, fromEnd, prefix).c_str());
            std::string out;
            ASSERT_TRUE(Resolve("art/tile.bmp", out)) << fromEnd;
            EXPECT_EQ(ReadText(out), "TILE");
            ASSERT_TRUE(Resolve("music.mid", out));
            EXPECT_EQ(ReadText(out), "MIDI");
        }
    }
}

TEST_F(ShoeBoxTest, TailMatchingIgnoresCaseButNotSeparators) {
    box_.SetArchive(Archive("a.sbx", {{"art/tile.bmp", "TILE"}}, true).c_str());
    std::string out;
    EXPECT_TRUE(Resolve("art/tile.bmp", out));
    EXPECT_TRUE(Resolve("C:/game/ART/Tile.bmp", out));
    EXPECT_TRUE(Resolve("myart/tile.bmp", out));
    EXPECT_FALSE(Resolve("art\\tile.bmp", out));
    EXPECT_FALSE(Resolve("tile.bmp", out));  // the entry name is longer
    EXPECT_EQ(out, "");                        // a failed lookup in the archive empties the name
    EXPECT_FALSE(Resolve("", out));
}

TEST_F(ShoeBoxTest, OneExtractedFilePerRecordInAPrivateFolder) {
    box_.SetArchive(Archive("a.sbx", {{"one.txt", "1"}, {"two.txt", "2"}}, false).c_str());
    std::string first, second;
    ASSERT_TRUE(Resolve("one.txt", first));
    EXPECT_NE(fs::path(first).filename().string().find("~sbx"), std::string::npos);
    EXPECT_NE(fs::path(first).filename().string().find("one.txt"), std::string::npos);
    struct stat st;
    ASSERT_EQ(stat(fs::path(first).parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_TRUE(Resolve("two.txt", second));
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    std::string none;
    EXPECT_FALSE(Resolve("three.txt", none));
    EXPECT_FALSE(fs::exists(second));  // even a failed lookup removes the last one
    // The media record keeps its file while the data record works.
    KWShoeBox media;
    media.SetArchive((dir_ / "a.sbx").c_str());
    DQStr m("one.txt");
    ASSERT_TRUE(media.Resolve(m));
    std::string more;
    Resolve("two.txt", more);
    Resolve("one.txt", more);
    EXPECT_TRUE(fs::exists(m.c_str()));
    media.Clear();
    EXPECT_FALSE(fs::exists(m.c_str()));
}

TEST_F(ShoeBoxTest, FileOnDiskWins) {
    box_.SetArchive(Archive("a.sbx", {{"data.txt", "archive"}}, false).c_str());
    std::ofstream(dir_ / "data.txt") << "disk";
    std::string out;
    ASSERT_TRUE(Resolve("data.txt", out));
    EXPECT_EQ(out, "data.txt");
    EXPECT_EQ(ReadText(out), "disk");
    EXPECT_STREQ(box_.Extracted(), "");
}

TEST_F(ShoeBoxTest, EntryNamesNeverLeaveTheFolder) {
    box_.SetArchive(Archive("a.sbx", {{"../../escape.txt", "x"}, {"/etc/abs.txt", "y"}}, false).c_str());
    std::string out;
    ASSERT_TRUE(Resolve("../../escape.txt", out));
    EXPECT_EQ(fs::path(out).parent_path(), fs::path(box_.Extracted()).parent_path());
    EXPECT_EQ(out.find("/../"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_.parent_path().parent_path() / "escape.txt"));
    ASSERT_TRUE(Resolve("/etc/abs.txt", out));
    EXPECT_EQ(ReadText(out), "y");
}

TEST_F(ShoeBoxTest, MalformedArchivesLoadNothing) {
    std::string good = Archive("good.sbx", {{"x.txt", std::string(3000, 'q')}}, false);
    std::string bytes = ReadText(good);
    auto variant = [&](const std::string& name, std::string b) {
        std::ofstream(dir_ / name, std::ios::binary) << b;
        return (dir_ / name).string();
    };
    auto put32 = [](std::string& b, size_t at, int32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
    };
    std::vector<std::string> bad;
    bad.push_back(variant("short.sbx", bytes.substr(0, 3)));
    bad.push_back(variant("cut.sbx", bytes.substr(0, bytes.size() - 9)));
    std::string past = bytes;
    put32(past, past.size() - 4, 1 << 30);  // directory past the end
    bad.push_back(variant("past.sbx", past));
    std::string before = bytes;
    put32(before, before.size() - 4, -(1 << 30));  // directory before the start
    bad.push_back(variant("before.sbx", before));
    // The directory starts right after the data: 1 + 5 name bytes, then O and S.
    size_t dir = bytes.size() - 4 - 1 - (1 + 5 + 8);
    std::string offset = bytes;
    put32(offset, dir + 6, 1 << 30);  // entry offset past the end
    bad.push_back(variant("offset.sbx", offset));
    std::string size = bytes;
    put32(size, dir + 10, 0x7FFFFFFF);  // packed size beyond the file
    bad.push_back(variant("size.sbx", size));
    std::string claim = bytes;
    claim[3] = 0x7F;  // the stream claims about two gigabytes
    bad.push_back(variant("claim.sbx", claim));
    for (const std::string& a : bad) {
        box_.SetArchive(a.c_str());
        std::string out;
        EXPECT_FALSE(Resolve("x.txt", out)) << a;
    }
    box_.SetArchive((dir_ / "missing.sbx").c_str());
    std::string out;
    EXPECT_FALSE(Resolve("x.txt", out));
    EXPECT_EQ(out, "x.txt");  // the archive could not be opened: the name stays
}

TEST_F(ShoeBoxTest, ADamagedEntryHidesNoOther) {
    std::string path = Archive("a.sbx", {{"bad.txt", "B"}, {"good.txt", "G"}}, false);
    std::string bytes = ReadText(path);
    size_t dir = static_cast<uint32_t>(static_cast<unsigned char>(bytes[bytes.size() - 4]) |
                                       (static_cast<unsigned char>(bytes[bytes.size() - 3]) << 8));
    for (int i = 0; i < 4; ++i) bytes[dir + 1 + 7 + i] = static_cast<char>((1u << 30) >> (8 * i));  // bad.txt's offset
    std::ofstream(path, std::ios::binary) << bytes;
    box_.SetArchive(path.c_str());
    std::string out;
    ASSERT_TRUE(Resolve("good.txt", out));
    EXPECT_EQ(ReadText(out), "G");
    EXPECT_FALSE(Resolve("bad.txt", out));
}

// The shoebox tool packs a folder and appends it to a program on the runtime, which
// then loads its sprite and data file from itself with nothing beside it.
TEST(ShoeBoxTool, ProgramLoadsItsAssetsFromItself) {
    fs::path here = fs::read_symlink("/proc/self/exe").parent_path();
    fs::path tool = here.parent_path() / "shoebox";
    fs::path work = fs::temp_directory_path() / ("tolvane-tool-" + std::to_string(getpid()));
    fs::create_directories(work / "assets" / "Gfx");
    fs::copy_file(here / "Smalfont.bmp", work / "assets" / "Smalfont.bmp");
    // A 3 x 2 bitmap, 24 bits.
    std::string bmp = std::string("BM") + std::string(8, '\0') + std::string("\x36\0\0\0\x28\0\0\0\3\0\0\0\2\0\0\0\1\0\x18\0", 20) +
                      std::string(24, '\0') + std::string(24, '\x7f');
    std::ofstream(work / "assets" / "Gfx" / "Block.bmp", std::ios::binary) << bmp;
    std::ofstream(work / "assets" / "scores.dat", std::ios::binary) << "first\r\n4711\r\n";
    fs::create_directories(work / "bin");
    fs::copy_file(here / "scenario_prog", work / "bin" / "game");
    std::string cmd = tool.string() + " pack " + (work / "a.sbx").string() + " " + (work / "assets").string() +
                      " >/dev/null && " + tool.string() + " append " + (work / "bin" / "game").string() + " " +
                      (work / "a.sbx").string() + " >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ChildResult r = RunProgram((work / "bin" / "game").string(), "from-archive");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "sprite 3 2\nscore 4711\nfont 1\n");
    fs::remove_all(work);
}

// The tool stores links under their own names, names every damaged entry and fails,
// and never writes through a link or outside the folder it extracts into.
TEST(ShoeBoxTool, LinksDamageAndTheTargetFolder) {
    fs::path tool = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "shoebox";
    fs::path w = fs::temp_directory_path() / ("tolvane-tool2-" + std::to_string(getpid()));
    fs::create_directories(w / "in");
    fs::create_directories(w / "outside");
    std::ofstream(w / "outside" / "x.bmp") << "X";
    fs::create_symlink("../outside/x.bmp", w / "in" / "link.bmp");
    auto run = [&](const std::string& args) {
        int st = std::system((tool.string() + " " + args + " >/dev/null 2>" + (w / "err.txt").string()).c_str());
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    ASSERT_EQ(run("pack " + (w / "l.sbx").string() + " " + (w / "in").string()), 0);
    std::vector<__ArchiveEntry> entries;
    {
        FILE* f = std::fopen((w / "l.sbx").c_str(), "rb");
        ASSERT_TRUE(__ReadArchiveDirectory(f, static_cast<int64_t>(fs::file_size(w / "l.sbx")), entries));
        std::fclose(f);
    }
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "link.bmp");

    // A stream that unpacks short; names through links and upward; "a" beside "a/b".
    std::vector<__ArchiveInput> in;
    for (const char* n : {"short", "sub/f.txt", "file.txt", "../up.txt", "ok.txt", "a", "a/b"})
        in.push_back({n, std::vector<unsigned char>(100, 'z')});
    std::string arc = (w / "d.sbx").string();
    FILE* f = std::fopen(arc.c_str(), "wb");
    ASSERT_TRUE(__WriteArchive(f, in, false));
    std::fclose(f);
    std::string bytes = ReadText(arc);
    std::vector<__ArchiveEntry> d;
    f = std::fopen(arc.c_str(), "rb");
    ASSERT_TRUE(__ReadArchiveDirectory(f, static_cast<int64_t>(bytes.size()), d));
    std::fclose(f);
    bytes[static_cast<size_t>(d[0].offset)] = 101;  // "short" claims one byte more than it holds
    std::ofstream(arc, std::ios::binary) << bytes;

    fs::create_directories(w / "out");
    fs::create_directories(w / "elsewhere");
    std::ofstream(w / "elsewhere" / "victim.txt") << "safe";
    fs::create_directory_symlink("../elsewhere", w / "out" / "sub");
    fs::create_symlink("../elsewhere/victim.txt", w / "out" / "file.txt");
    EXPECT_EQ(run("extract " + arc + " " + (w / "out").string()), 1);
    std::string err = ReadText((w / "err.txt").string());
    for (const char* n : {"a/b", "short", "sub/f.txt", "file.txt", "../up.txt"})
        EXPECT_NE(err.find(std::string("entry ") + n + " "), std::string::npos) << n << "\n" << err;
    EXPECT_EQ(ReadText((w / "out" / "ok.txt").string()), std::string(100, 'z'));
    EXPECT_EQ(fs::file_size(w / "out" / "a"), 100u);
    EXPECT_FALSE(fs::exists(w / "out" / "short"));
    EXPECT_FALSE(fs::exists(w / "elsewhere" / "f.txt"));
    EXPECT_EQ(ReadText((w / "elsewhere" / "victim.txt").string()), "safe");
    EXPECT_FALSE(fs::exists(w / "up.txt"));

    // Appending a damaged archive leaves the program as it was.
    std::ofstream(w / "prog") << "program";
    EXPECT_EQ(run("append " + (w / "prog").string() + " " + arc), 1);
    EXPECT_EQ(ReadText((w / "prog").string()), "program");
    fs::remove_all(w);
}

}  // namespace
