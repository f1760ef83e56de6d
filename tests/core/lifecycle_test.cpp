#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/program.h"
#include "files/filesystem.h"
#include "gfx2d/bmp_file.h"
#include "support/child.h"

namespace {

int Count(const std::string& text, const std::string& piece) {
    int n = 0;
    for (size_t p = text.find(piece); p != std::string::npos; p = text.find(piece, p + 1)) ++n;
    return n;
}

TEST(ProgramEnd, NormalEndExitsZeroAndWritesNoReport) {
    ChildResult r = RunScenario("end");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log.find("-End On Line"), std::string::npos);
    // The renderer names its kind in the log.
    EXPECT_TRUE(r.log.find("OpenGL Software Emulation\r\n") != std::string::npos ||
                r.log.find("OpenGL Hardware Support\r\n") != std::string::npos);
    EXPECT_EQ(RunScenario("return").status, 0);  // the main procedure returning
}

TEST(ProgramStart, FullScreenOrTheReasonWhyNot) {
    ChildResult r = RunScenario("fullscreen");
    EXPECT_EQ(r.status, 0);
    // Full screen at the program's size or, on a display without that mode, a window
    // of that size and a line in the log: either way the program runs at its size.
    EXPECT_EQ(r.out, "size 320 240\n");
}

// The log starts anew on every run; a debug build ends it with the end report.
TEST(ProgramEnd, DebugBuildWritesTheEndReportIntoAFreshLog) {
    ChildResult r = RunScenario("end-debug", {}, "-End On Line\r\n9\r\nold\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Count(r.log, "-End On Line"), 1);
    EXPECT_EQ(r.log.find("old"), std::string::npos);
    size_t at = r.log.find("-End On Line\r\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(r.log.substr(at), "-End On Line\r\n0\r\n0\r\n0\r\n0\r\n");
}

TEST(ProgramEnd, FatalErrorExitsWithItsCodeAndNamesTheLine) {
    ChildResult r = RunScenario("array9-debug");
    EXPECT_EQ(r.status, 9);
    EXPECT_NE(r.err.find("runtime error 9"), std::string::npos);
    EXPECT_NE(r.err.find("line 42"), std::string::npos);
    size_t at = r.log.find("-End On Line\r\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(r.log.substr(at), "-End On Line\r\n9\r\n42\r\n42\r\n1\r\n");

    EXPECT_EQ(RunScenario("array8").status, 8);
    EXPECT_EQ(RunScenario("dim7").status, 7);
}

TEST(ProgramEnd, RecordedDataFileCodesEndNormally) {
    ChildResult r = RunScenario("datafile-codes");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos);
    size_t at = r.log.find("-End On Line\r\n");  // the end report still names the code
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(r.log.substr(at), "-End On Line\r\n3\r\n0\r\n0\r\n0\r\n");
}

TEST(FrameCap, EndsRightAfterTheNthFrameAndItsHook) {
    ChildResult r = RunScenario("frames", {"TOLVANE_FRAMES=5", "TOLVANE_NO_WAIT=1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "frame 1\nframe 2\nframe 3\nframe 4\nframe 5\n");
    ChildResult bad = RunScenario("frames", {"TOLVANE_FRAMES=abc"});  // unreadable values are refused
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("TOLVANE_FRAMES"), std::string::npos);
}

TEST(Screenshots, EveryKthFrameIsWrittenAsABitmap) {
    std::string dir = std::filesystem::temp_directory_path() / ("tolvane-shots-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    ChildResult r = RunScenario("shots", {"TOLVANE_FRAMES=6", "TOLVANE_NO_WAIT=1", "TOLVANE_SHOTS=" + dir + ":3"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame-000003.bmp", "frame-000006.bmp"}));
    __BMPImage img;
    ASSERT_TRUE(__ReadBMP((dir + "/frame-000003.bmp").c_str(), img));
    EXPECT_EQ(img.width, 320);
    EXPECT_EQ(img.height, 240);
    EXPECT_EQ(img.Colour(25, 100), 0x0000FFu);  // frame 3 drew the column at x 20 ... 29
    EXPECT_EQ(img.Colour(5, 100), 0u);          // frame 1's column is gone
    std::filesystem::remove_all(dir);
}

TEST(Seed, SameSeedSameNumbersAcrossRuns) {
    ChildResult a = RunScenario("rnd", {"TOLVANE_SEED=4242"});
    ChildResult b = RunScenario("rnd", {"TOLVANE_SEED=4242"});
    ChildResult c = RunScenario("rnd", {"TOLVANE_SEED=4243"});
    EXPECT_EQ(a.status, 0);
    EXPECT_FALSE(a.out.empty());
    EXPECT_EQ(a.out, b.out);
    EXPECT_NE(a.out, c.out);
}

// Escape (read by the next SHOWSCREEN after the key went down in frame 3), Alt+F4
// and closing the window (inside the event pump) end the program; Alt alone does not.
TEST(EndKeys, EscapeAltF4AndClosingEndTheProgram) {
    struct Row { const char* scenario; const char* out; } rows[] = {
        {"escape", "frame 1\nframe 2\n"}, {"altf4", "frame 1\nframe 2\n"}, {"close", nullptr}, {"alt-only", nullptr}};
    for (const Row& row : rows) {
        ChildResult r = RunScenario(row.scenario, {"TOLVANE_NO_WAIT=1"});
        EXPECT_EQ(r.status, 0) << row.scenario;
        if (row.out) {
            EXPECT_EQ(r.out, row.out) << row.scenario;
        }
        bool survives = std::string(row.scenario) == "alt-only";
        EXPECT_EQ(r.out.find("survived") != std::string::npos, survives) << row.scenario;
        if (!survives) {
            EXPECT_EQ(r.out.find("frame 3"), std::string::npos) << row.scenario;
        }
    }
}

TEST(CommandLine, ArgumentsJoinedBySingleSpaces) {
    // Arguments with blanks, and empty ones, go back into quotes.
    char prog[] = "prog", a[] = "one", b[] = "two words", c[] = "", d[] = "tab\there", e[] = "3";
    char* argv[] = {prog, a, b, c, d, e, nullptr};
    __SetCommandLine(6, argv);
    EXPECT_STREQ(GETCOMMANDLINE_Str().c_str(), "one \"two words\" \"\" \"tab\there\" 3");
    __SetCommandLine(1, argv);
    EXPECT_STREQ(GETCOMMANDLINE_Str().c_str(), "");
}

}  // namespace
