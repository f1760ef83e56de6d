#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "core/program.h"
#include "files/filesystem.h"
#include "files/shoebox.h"

namespace fs = std::filesystem;

namespace {

TEST(WildMatch, StarsQuestionMarksAndCase) {
    EXPECT_TRUE(szWildMatch("*.bmp", "Title.BMP"));
    EXPECT_TRUE(szWildMatch("*.bmp", "a.b.bmp"));
    EXPECT_FALSE(szWildMatch("*.bmp", "bmp"));
    EXPECT_TRUE(szWildMatch("*.*", "a.b"));
    EXPECT_FALSE(szWildMatch("*.*", "noext"));
    EXPECT_TRUE(szWildMatch("a?c", "abc"));
    EXPECT_FALSE(szWildMatch("a?c", "a.c"));
    EXPECT_FALSE(szWildMatch("data?txt", "data.txt"));
    EXPECT_TRUE(szWildMatch("*.TXT", "readme.txt"));
    EXPECT_TRUE(szWildMatch("**x*", "abxcd"));
    EXPECT_TRUE(szWildMatch("*", ""));
    EXPECT_FALSE(szWildMatch("a", ""));
    EXPECT_FALSE(szWildMatch("abc", "abcd"));
    EXPECT_TRUE(szWildMatch("a*b*c", "aXbYbZc"));
}

class FolderTest : public testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("tolvane-fs-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    fs::path dir_, old_;
};

TEST_F(FolderTest, FileListHasFoldersThenMatchingFiles) {
    DQStrArray list;
    EXPECT_EQ(GETFILELIST(DQStr("*.txt"), list), 2 * 65536);  // only "." and ".."
    fs::create_directory("sub");
    std::ofstream("readme.txt") << "x";
    std::ofstream("picture.bmp") << "x";
    std::ofstream("NOTES.TXT") << "x";
    EXPECT_EQ(GETFILELIST(DQStr("*.txt"), list), 3 * 65536 + 2);
    std::set<std::string> folders, files;
    for (int i = 0; i < 3; ++i) folders.insert(list(i).c_str());
    for (int i = 3; i < 5; ++i) files.insert(list(i).c_str());
    EXPECT_EQ(folders, (std::set<std::string>{".", "..", "sub"}));
    EXPECT_EQ(files, (std::set<std::string>{"readme.txt", "NOTES.TXT"}));
    EXPECT_EQ(BOUNDS(list, 0), 5);
}

TEST_F(FolderTest, ExistenceAndCurrentDirectory) {
    std::ofstream("here.txt") << "x";
    EXPECT_EQ(DOESFILEEXIST(DQStr("here.txt")), 1);
    EXPECT_EQ(DOESFILEEXIST(DQStr("gone.txt")), 0);
    fs::create_directory("folder");
    EXPECT_EQ(DOESFILEEXIST(DQStr("folder")), 0);
    std::string cwd = GETCURRENTDIR_Str().c_str();
    EXPECT_EQ(cwd, dir_.string() + "/");
    EXPECT_EQ(SETCURRENTDIR(DQStr("folder")), 1);
    EXPECT_EQ(std::string(GETCURRENTDIR_Str().c_str()), dir_.string() + "/folder/");
    EXPECT_EQ(SETCURRENTDIR(DQStr("/nonexistent-folder")), 0);
    EXPECT_EQ(SETCURRENTDIR(DQStr("/")), 1);
    EXPECT_STREQ(GETCURRENTDIR_Str().c_str(), "/");
    // A backslash is part of a folder name here.
    fs::create_directory(dir_ / "back\\slash");
    EXPECT_EQ(SETCURRENTDIR(DQStr((dir_ / "back\\slash").c_str())), 1);
    EXPECT_EQ(std::string(GETCURRENTDIR_Str().c_str()), dir_.string() + "/back\\slash/");
}

// A named pipe is no file: nothing waits for a writer, and listings leave it out.
TEST_F(FolderTest, PipesAreNotFiles) {
    ASSERT_EQ(mkfifo("pipe.txt", 0600), 0);
    // Should a reader block in opening the pipe, this opens the other end and frees it.
    std::atomic<bool> done{false}, freed{false};
    std::thread unblock([&] {
        while (!done) {
            int fd = open("pipe.txt", O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                freed = true;
                close(fd);
            }
            usleep(20000);
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

TEST_F(FolderTest, ShellCommandsAndExitCodes) {
    double code = -1;
    EXPECT_EQ(SHELLCMD(DQStr("exit 3"), 1, 0, code), 1);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(SHELLCMD(DQStr("touch made.txt"), 1, 0, code), 1);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::exists("made.txt"));
    // The command line is read as the shell reads it.
    fs::create_directory("my dir");
    std::ofstream("my dir/prog") << "#!/bin/sh\nexit $FOO\n";
    fs::permissions("my dir/prog", fs::perms::owner_all);
    EXPECT_EQ(SHELLCMD(DQStr("FOO=4 \"./my dir/prog\""), 1, 0, code), 1);
    EXPECT_EQ(code, 4);
    // Programs that cannot start: missing, or not executable.
    std::ofstream("plain") << "#!/bin/sh\nexit 0\n";
    for (const char* bad : {"no-such-program-anywhere --x", "./plain"}) {
        for (double wait : {1, 0}) {
            code = 5;
            EXPECT_EQ(SHELLCMD(DQStr(bad), wait, 0, code), 0) << bad << wait;
            EXPECT_EQ(code, 0);
        }
    }
    // Without waiting the program runs on by itself.
    EXPECT_EQ(SHELLCMD(DQStr("sleep 1; touch later.txt"), 0, 0, code), 1);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(fs::exists("later.txt"));
    for (int i = 0; i < 150 && !fs::exists("later.txt"); ++i) usleep(20000);
    EXPECT_TRUE(fs::exists("later.txt"));
}

TEST_F(FolderTest, FileRequestWithoutADialogProgram) {
    const char* path = std::getenv("PATH");
    std::string saved = path ? path : "";
    setenv("PATH", dir_.c_str(), 1);
    EXPECT_STREQ(FILEREQUEST_Str(1, DQStr("Bitmaps|*.bmp|All files|*.*")).c_str(), "NO_FILE");
    // A dialog program that is cancelled: NO_FILE, and the folder stays.
    std::ofstream("zenity") << "#!/bin/sh\ncd /\nexit 1\n";
    fs::permissions("zenity", fs::perms::owner_all);
    EXPECT_STREQ(FILEREQUEST_Str(0, DQStr("All|*.*")).c_str(), "NO_FILE");
    EXPECT_EQ(fs::current_path(), dir_);
    std::ofstream("zenity") << "#!/bin/sh\necho \"$@\" > args.txt\nprintf '%s\\n' '/tmp/a\\b/chosen.bmp'\n";
    // A backslash is part of a folder name, not a separator.
    EXPECT_STREQ(FILEREQUEST_Str(1, DQStr("Bitmaps|*.bmp|All files|*.*")).c_str(), "/tmp/a\\b/chosen.bmp");
    std::ifstream args("args.txt");
    std::string line;
    std::getline(args, line);
    EXPECT_NE(line.find("--file-filter=Bitmaps | *.bmp"), std::string::npos);
    EXPECT_EQ(line.find("--save"), std::string::npos);
    setenv("PATH", saved.c_str(), 1);
}

}  // namespace
