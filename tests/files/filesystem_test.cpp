#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <set>
#include <thread>

#include "files/data_file.h"
#include "files/filesystem.h"
#include "files/shoebox.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

class FolderTest : public testing::Test {
protected:
    void SetUp() override { fs::current_path(dir_.path); }
    void TearDown() override { fs::current_path(old_); }
    fs::path old_ = fs::current_path();
    TempDir dir_;
};

TEST_F(FolderTest, WildcardsListingExistenceAndTheCurrentFolder) {
    struct Row { const char *pattern, *name; bool match; } rows[] = {
        {"*.bmp", "Title.BMP", true}, {"*.bmp", "a.b.bmp", true}, {"*.bmp", "bmp", false}, {"*.*", "a.b", true},
        {"*.*", "noext", false}, {"a?c", "abc", true}, {"a?c", "a.c", false}, {"data?txt", "data.txt", false},
        {"*.TXT", "readme.txt", true}, {"**x*", "abxcd", true}, {"*", "", true}, {"a", "", false},
        {"abc", "abcd", false}, {"a*b*c", "aXbYbZc", true},
    };
    for (const Row& r : rows) EXPECT_EQ(szWildMatch(r.pattern, r.name), r.match) << r.pattern << " " << r.name;
    // Folders first, then matching files: their counts in the high and low 16 bits.
    DQStrArray list;
    EXPECT_EQ(GETFILELIST(DQStr("*.txt"), list), 2 * 65536);  // only "." and ".."
    fs::create_directory("sub");
    for (const char* name : {"readme.txt", "picture.bmp", "NOTES.TXT"}) WriteText(name, "x");
    EXPECT_EQ(GETFILELIST(DQStr("*.txt"), list), 3 * 65536 + 2);
    EXPECT_EQ(BOUNDS(list, 0), 5);
    EXPECT_EQ((std::set<std::string>{list(0).c_str(), list(1).c_str(), list(2).c_str()}),
              (std::set<std::string>{".", "..", "sub"}));
    EXPECT_EQ((std::set<std::string>{list(3).c_str(), list(4).c_str()}),
              (std::set<std::string>{"readme.txt", "NOTES.TXT"}));
    for (auto [name, exists] : {std::pair{"readme.txt", 1.0}, {"gone.txt", 0}, {"sub", 0}})
        EXPECT_EQ(DOESFILEEXIST(DQStr(name)), exists) << name;
    const std::string here = dir_.path.string();
    EXPECT_EQ(std::string(GETCURRENTDIR_Str().c_str()), here + "/");
    EXPECT_EQ(SETCURRENTDIR(DQStr("sub")), 1);
    EXPECT_EQ(std::string(GETCURRENTDIR_Str().c_str()), here + "/sub/");
    EXPECT_EQ(SETCURRENTDIR(DQStr("/nonexistent-folder")), 0);
    EXPECT_EQ(SETCURRENTDIR(DQStr("/")), 1);
    EXPECT_STREQ(GETCURRENTDIR_Str().c_str(), "/");
    fs::create_directory(here + "/back\\slash");  // a backslash is part of a folder name here
    EXPECT_EQ(SETCURRENTDIR(DQStr((here + "/back\\slash").c_str())), 1);
    EXPECT_EQ(std::string(GETCURRENTDIR_Str().c_str()), here + "/back\\slash/");
}

// A named pipe is no file: nothing waits for a writer, and listings leave it out.
TEST_F(FolderTest, PipesAreNotFiles) {
    ASSERT_EQ(mkfifo("pipe.txt", 0600), 0);
    // Should a reader block in opening the pipe, this opens the other end and frees it.
    std::atomic<bool> done{false}, freed{false};
    std::thread unblock([&] {
        for (; !done; usleep(20000)) {
            const int fd = open("pipe.txt", O_WRONLY | O_NONBLOCK);  // opens only while a reader waits
            freed = freed || fd >= 0;
            if (fd >= 0) close(fd);
        }
    });
    EXPECT_EQ(DOESFILEEXIST(DQStr("pipe.txt")), 0);
    DQStrArray list;
    EXPECT_EQ(GETFILELIST(DQStr("*.txt"), list), 2 * 65536);
    KWShoeBox box;
    DQStr name("pipe.txt");
    EXPECT_FALSE(box.Resolve(name));
    done = true;
    unblock.join();
    EXPECT_FALSE(freed);
}

// The command line is read as the shell reads it; programs that cannot start (missing,
// or not executable) give 0 and code 0; without waiting the program runs on by itself.
TEST_F(FolderTest, ShellCommandsAndExitCodes) {
    double code = -1;
    fs::create_directory("my dir");
    fs::permissions(WriteText("my dir/prog", "#!/bin/sh\nexit $FOO\n"), fs::perms::owner_all);
    for (auto [command, exit] : {std::pair{"exit 3", 3.0}, {"touch made.txt", 0}, {"FOO=4 \"./my dir/prog\"", 4}}) {
        EXPECT_EQ(SHELLCMD(DQStr(command), 1, 0, code), 1) << command;
        EXPECT_EQ(code, exit) << command;
    }
    EXPECT_TRUE(fs::exists("made.txt"));
    WriteText("plain", "#!/bin/sh\nexit 0\n");
    for (const char* bad : {"no-such-program-anywhere --x", "./plain"})
        for (double wait : {1, 0}) {
            code = 5;
            EXPECT_EQ(SHELLCMD(DQStr(bad), wait, 0, code), 0) << bad << wait;
            EXPECT_EQ(code, 0);
        }
    EXPECT_EQ(SHELLCMD(DQStr("sleep 1; touch later.txt"), 0, 0, code), 1);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(fs::exists("later.txt"));
    for (int i = 0; i < 150 && !fs::exists("later.txt"); ++i) usleep(20000);
    EXPECT_TRUE(fs::exists("later.txt"));
}

// Without a dialog program, or when it is cancelled: NO_FILE, and the folder stays. A
// backslash in the chosen name is part of a folder name, not a separator.
TEST_F(FolderTest, FileRequestThroughTheDialogProgram) {
    const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", dir_.path.c_str(), 1);
    EXPECT_STREQ(FILEREQUEST_Str(1, DQStr("Bitmaps|*.bmp|All files|*.*")).c_str(), "NO_FILE");
    fs::permissions(WriteText("zenity", "#!/bin/sh\ncd /\nexit 1\n"), fs::perms::owner_all);
    EXPECT_STREQ(FILEREQUEST_Str(0, DQStr("All|*.*")).c_str(), "NO_FILE");
    EXPECT_EQ(fs::current_path(), dir_.path);
    WriteText("zenity", "#!/bin/sh\necho \"$@\" > args.txt\nprintf '%s\\n' '/tmp/a\\b/chosen.bmp'\n");
    EXPECT_STREQ(FILEREQUEST_Str(1, DQStr("Bitmaps|*.bmp|All files|*.*")).c_str(), "/tmp/a\\b/chosen.bmp");
    EXPECT_NE(ReadText("args.txt").find("--file-filter=Bitmaps | *.bmp"), std::string::npos);
    EXPECT_EQ(ReadText("args.txt").find("--save"), std::string::npos);
    setenv("PATH", saved.c_str(), 1);
}

class DataFileTest : public testing::Test {
protected:
    void SetUp() override { __g_error = 0; }
    void TearDown() override {
        __g_FastFile.FillBuffer(nullptr);
        __g_error = 0;
    }
    DQStr P(const std::string& name) { return DQStr((dir_ / name).c_str()); }
    std::string Text(const std::string& name, double line) {
        DQStr t;
        GETFILE(P(name), line, t);
        return t.c_str();
    }
    TempDir dir_;
};

TEST_F(DataFileTest, NewAndMissingFilesAndTheLineRange) {
    PUTFILE(P("s.dat"), 3, 42);
    EXPECT_EQ(__g_error, 3);  // not there yet: recorded, the write goes on
    double v = 0;
    GETFILE(P("s.dat"), 3, v);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(Text("s.dat", 1), "NO_DATA");
    EXPECT_FALSE(fs::exists(dir_ / "s.dat"));      // only in the buffer so far
    EXPECT_EQ(Text("nowhere.dat", 0), "NO_FILE");  // switching saves, with CR LF lines
    EXPECT_EQ(ReadText(dir_ / "s.dat"), "\r\n\r\n\r\n42\r\n");
    EXPECT_EQ(Text("nowhere.dat", 0), "NO_DATA");  // then an empty buffer
    v = 7;
    GETFILE(P("nowhere2.dat"), 0, v);
    EXPECT_EQ(v, 0);
    // Lines 0 ... 255 (truncated toward zero); every other number records code 7 and
    // neither reads nor writes: 65536 is not line 0 again.
    PUTFILE(P("w.dat"), 0, CQStr("zero"));
    PUTFILE(P("w.dat"), 255, CQStr("last"));
    for (double bad : {256.0, -1.0, 65535.0, 65536.0, 65791.0, -65536.0, 4294967296.0, 1e300, std::nan("")}) {
        __g_error = 0;
        EXPECT_EQ(Text("w.dat", bad), "NO_DATA");
        EXPECT_EQ(__g_error, 7);
        __g_error = 0;
        PUTFILE(P("w.dat"), bad, CQStr("x"));
        EXPECT_EQ(__g_error, 7);
    }
    for (auto [line, text] : {std::pair{0.9, "zero"}, {-0.5, "zero"}, {255.7, "last"}})
        EXPECT_EQ(Text("w.dat", line), text) << line;
}

TEST_F(DataFileTest, LineEndsLengthsNamesAndOnly256Lines) {
    std::string big;
    for (int i = 0; i < 300; ++i) big += std::to_string(i) + (i % 2 ? "\r\n" : "\n");
    WriteText(dir_ / "big.dat", big);
    for (int line : {0, 1, 255}) EXPECT_EQ(Text("big.dat", line), std::to_string(line));
    PUTFILE(P("big.dat"), 0, CQStr("changed"));
    __g_FastFile.FillBuffer(nullptr);
    std::string saved = ReadText(dir_ / "big.dat");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 256);
    EXPECT_EQ(saved.substr(0, 9), "changed\r\n");
    WriteText(dir_ / "tabs.dat", "12\t\r\n\r\n");
    EXPECT_EQ((std::vector{Text("tabs.dat", 0), Text("tabs.dat", 1), Text("tabs.dat", 2)}),
              (std::vector<std::string>{"12", "NO_DATA", "NO_DATA"}));
    WriteText(dir_ / "long.dat", std::string(5000, 'z') + "\n");
    EXPECT_EQ(Text("long.dat", 0).size(), 1023u);  // a line longer than a buffer line is cut, not overrun
    PUTFILE(P("data.txt"), 0, CQStr("lower"));
    PUTFILE(P("DATA.TXT"), 0, CQStr("upper"));
    EXPECT_EQ(Text("data.txt", 0) + Text("DATA.TXT", 0), "lowerupper");
    PUTFILE(P("split.dat"), 0, CQStr("a\nb"));  // a line feed splits the value
    __g_FastFile.FillBuffer(nullptr);
    EXPECT_EQ(std::pair(Text("split.dat", 0), Text("split.dat", 1)), std::pair(std::string("a"), std::string("b")));
}

TEST(DataFileEnd, SavedAtProgramEndWithTheLogLines) {
    TempDir dir;
    const std::string file = dir / "s.dat";
    // Under glibc's checking allocator: the save at the end uses nothing already gone.
    ChildResult r = RunScenario("datafile", {"DATA_FILE=" + file, "GLIBC_TUNABLES=glibc.malloc.tcache_count=0",
                                             "MALLOC_CHECK_=3"});
    EXPECT_EQ(r.Outcome(), "0 42 NO_DATA\n");
    EXPECT_EQ(ReadText(file), "\r\n\r\n\r\n42\r\n");
    EXPECT_NE(r.log.find("Writing\r\n" + file + "\r\n"), std::string::npos);
    // A save that cannot be completed leaves the old file whole, and no temporary.
    WriteText(file, "old\r\n");
    EXPECT_EQ(RunScenario("datafile-full", {"DATA_FILE=" + file}).status, 0);
    EXPECT_EQ(ReadText(file), "old\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

}  // namespace
