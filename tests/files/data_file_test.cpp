#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/program.h"
#include "files/data_file.h"
#include "support/child.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DataFileTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvane-data-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        __g_error = 0;
    }
    void TearDown() override {
        __g_FastFile.FillBuffer(nullptr);
        fs::remove_all(dir_);
        __g_error = 0;
    }
    DQStr P(const std::string& name) { return DQStr((dir_ / name).c_str()); }
    std::string Text(const std::string& name, double line) {
        DQStr t;
        GETFILE(P(name), line, t);
        return t.c_str();
    }
    fs::path dir_;
};

TEST_F(DataFileTest, NewFileIsWrittenWithCrLfLinesOnSwitching) {
    PUTFILE(P("s.dat"), 3, 42);
    EXPECT_EQ(__g_error, 3);  // not there yet: recorded, the write goes on
    double v = 0;
    GETFILE(P("s.dat"), 3, v);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(Text("s.dat", 1), "NO_DATA");
    EXPECT_FALSE(fs::exists(dir_ / "s.dat"));  // only in the buffer so far
    GETFILE(P("other.dat"), 0, v);              // switching saves
    EXPECT_EQ(ReadText(dir_ / "s.dat"), "\r\n\r\n\r\n42\r\n");
}

TEST_F(DataFileTest, MissingFileThenEmptyBuffer) {
    EXPECT_EQ(Text("nowhere.dat", 0), "NO_FILE");
    EXPECT_EQ(Text("nowhere.dat", 0), "NO_DATA");
    double v = 7;
    GETFILE(P("nowhere2.dat"), 0, v);
    EXPECT_EQ(v, 0);
}

TEST_F(DataFileTest, LineNumbersOutsideTheRangeAndTheWrap) {
    PUTFILE(P("w.dat"), 0, CQStr("zero"));
    PUTFILE(P("w.dat"), 255, CQStr("last"));
    for (double bad : {256.0, -1.0, 65535.0}) {
        __g_error = 0;
        EXPECT_EQ(Text("w.dat", bad), "NO_DATA");
        EXPECT_EQ(__g_error, 7);
        __g_error = 0;
        PUTFILE(P("w.dat"), bad, CQStr("x"));
        EXPECT_EQ(__g_error, 7);
    }
    EXPECT_EQ(Text("w.dat", 65536), "zero");
    EXPECT_EQ(Text("w.dat", 65791), "last");
    EXPECT_EQ(Text("w.dat", 0.9), "zero");
}

TEST_F(DataFileTest, ReadsEitherLineEndAndOnly256Lines) {
    std::string big;
    for (int i = 0; i < 300; ++i) big += std::to_string(i) + (i % 2 ? "\r\n" : "\n");
    std::ofstream(dir_ / "big.dat", std::ios::binary) << big;
    EXPECT_EQ(Text("big.dat", 0), "0");
    EXPECT_EQ(Text("big.dat", 1), "1");
    EXPECT_EQ(Text("big.dat", 255), "255");
    EXPECT_EQ(__g_FastFile.LastLine(), 255);
    PUTFILE(P("big.dat"), 0, CQStr("changed"));
    __g_FastFile.FillBuffer(nullptr);
    std::string saved = ReadText(dir_ / "big.dat");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 256);
    EXPECT_EQ(saved.substr(0, 9), "changed\r\n");

    std::ofstream(dir_ / "tabs.dat", std::ios::binary) << "12\t\r\n\r\n";
    EXPECT_EQ(Text("tabs.dat", 0), "12");
    EXPECT_EQ(Text("tabs.dat", 1), "NO_DATA");
    EXPECT_EQ(Text("tabs.dat", 2), "NO_DATA");
}

TEST_F(DataFileTest, NamesAreCaseSensitiveAndLineFeedsSplitValues) {
    PUTFILE(P("data.txt"), 0, CQStr("lower"));
    PUTFILE(P("DATA.TXT"), 0, CQStr("upper"));
    EXPECT_EQ(Text("data.txt", 0), "lower");
    EXPECT_EQ(Text("DATA.TXT", 0), "upper");
    PUTFILE(P("split.dat"), 0, CQStr("a\nb"));
    __g_FastFile.FillBuffer(nullptr);
    EXPECT_EQ(Text("split.dat", 0), "a");
    EXPECT_EQ(Text("split.dat", 1), "b");
    // A line longer than a buffer line is cut, not overrun.
    std::ofstream(dir_ / "long.dat", std::ios::binary) << std::string(5000, 'z') << "\n";
    EXPECT_EQ(Text("long.dat", 0).size(), 1023u);
}

TEST(DataFileEnd, SavedAtProgramEndWithTheLogLines) {
    fs::path dir = fs::temp_directory_path() / ("tolvane-dataend-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string file = (dir / "s.dat").string();
    // Under glibc's checking allocator: the save at the end uses nothing already gone.
    ChildResult r = RunScenario("datafile", {"DATA_FILE=" + file, "GLIBC_TUNABLES=glibc.malloc.tcache_count=0",
                                             "MALLOC_CHECK_=3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "42 NO_DATA\n");
    EXPECT_EQ(ReadText(file), "\r\n\r\n\r\n42\r\n");
    EXPECT_NE(r.log.find("Writing\r\n" + file + "\r\n"), std::string::npos);

    // A save that cannot be completed leaves the old file whole, and no temporary.
    std::ofstream(file, std::ios::binary) << "old\r\n";
    EXPECT_EQ(RunScenario("datafile-full", {"DATA_FILE=" + file}).status, 0);
    EXPECT_EQ(ReadText(file), "old\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

}  // namespace
