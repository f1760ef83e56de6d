#include <fcntl.h>
#include <poll.h>
#include <signal.h>

#include <cstring>
#include <set>

#include "files/filesystem.h"
#include "support/bmp_writer.h"
#include "core/program.h"
#include "support/harness.h"

namespace {

// The end report of a debug build: the log from its only "-End On Line" on.
std::string Report(const std::string& log) {
    size_t at = log.find("-End On Line\r\n");
    return at == std::string::npos || log.find("-End On Line", at + 1) != std::string::npos ? "" : log.substr(at);
}

// The log starts anew on every run and names the renderer's kind; a debug build ends
// it with the end report (error code, two lines, file). A fatal error exits with its
// code and names the BASIC line; codes the data-file commands record end normally.
TEST(ProgramEnd, ExitStatusAndEndReport) {
    ChildResult r = RunScenario("end");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log.find("-End On Line"), std::string::npos);
    EXPECT_TRUE(r.log.find("OpenGL Software Emulation\r\n") != std::string::npos ||
                r.log.find("OpenGL Hardware Support\r\n") != std::string::npos);
    EXPECT_EQ(RunScenario("return").status, 0);  // the main procedure returning
    r = RunScenario("end-debug", {}, "-End On Line\r\n9\r\nold\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.log.find("old"), std::string::npos);
    EXPECT_EQ(Report(r.log), "-End On Line\r\n0\r\n0\r\n0\r\n0\r\n");
    r = RunScenario("array9-debug");
    EXPECT_EQ(r.status, 9);
    EXPECT_NE(r.err.find("runtime error 9"), std::string::npos);
    EXPECT_NE(r.err.find("line 42"), std::string::npos);
    EXPECT_EQ(Report(r.log), "-End On Line\r\n9\r\n42\r\n42\r\n1\r\n");
    r = RunScenario("datafile-codes");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos);
    EXPECT_EQ(Report(r.log), "-End On Line\r\n3\r\n0\r\n0\r\n0\r\n");
    // Full screen at the program's size or, on a display without that mode, a window
    // of that size and a line in the log: either way the program runs at its size.
    EXPECT_EQ(RunScenario("fullscreen").Outcome(), "0 size 320 240\n");
}

TEST(Automation, FrameCapScreenshotsAndSeed) {
    // The run ends right after the 5th frame and its hook.
    EXPECT_EQ(RunScenario("frames", {"TOLVANE_FRAMES=5", "TOLVANE_NO_WAIT=1"}).Outcome(),
              "0 frame 1\nframe 2\nframe 3\nframe 4\nframe 5\n");
    ChildResult r = RunScenario("frames", {"TOLVANE_FRAMES=abc"});  // unreadable values are refused
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("TOLVANE_FRAMES"), std::string::npos);
    TempDir shots;
    r = RunScenario("shots", {"TOLVANE_FRAMES=6", "TOLVANE_NO_WAIT=1", "TOLVANE_SHOTS=" + shots.path.string() + ":3"});
    EXPECT_EQ(r.status, 0);
    std::set<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(shots.path)) names.insert(e.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"frame-000003.bmp", "frame-000006.bmp"}));
    __BMPImage img;
    ASSERT_TRUE(ReadBitmap(shots / "frame-000003.bmp", img));
    EXPECT_EQ(std::pair(img.Width(), img.Height()), std::pair(320, 240));
    // Frame 3 drew the column at x 20 ... 29; frame 1's column is gone.
    EXPECT_EQ(std::pair(img.Colour(25, 100), img.Colour(5, 100)), std::pair(0x0000FFu, 0u));
    ChildResult a = RunScenario("rnd", {"TOLVANE_SEED=4242"});
    EXPECT_EQ(a.status, 0);
    EXPECT_NE(a.out, "");
    EXPECT_EQ(a.out, RunScenario("rnd", {"TOLVANE_SEED=4242"}).out);
    const std::string b = RunScenario("rnd", {"TOLVANE_SEED=4243"}).out;
    EXPECT_NE(a.out, b);
    // RANDOMIZE(4242) gives the numbers of a run seeded with 4242, except in a run
    // seeded from outside, which keeps its own.
    EXPECT_EQ(RunScenario("randomize").Outcome(), a.Outcome());
    EXPECT_EQ(RunScenario("randomize", {"TOLVANE_SEED=4243"}).out, b);
}

// Runs the scenario with `out` as its standard output and SIGPIPE as a program finds
// it by default (ending the program); the extra environment entries are "NAME=value".
pid_t SpawnScenario(const std::string& scenario, const std::vector<std::string>& extra, int out) {
    const std::string program = (TestBinDir() / "scenario_prog").string();
    std::vector<std::string> entries(extra);
    for (char** e = environ; *e; ++e) entries.push_back(*e);
    std::vector<char*> env;
    for (std::string& e : entries) env.push_back(e.data());
    env.push_back(nullptr);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(scenario.c_str()), nullptr};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out, 1);
        signal(SIGPIPE, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(argv[0], argv, env.data());
        _exit(127);
    }
    return pid;
}

// Reads from fd until `lines` line ends have come, the writer is gone, or 10 seconds
// pass.
std::string ReadLines(int fd, int lines) {
    std::string got;
    for (int waited = 0; std::count(got.begin(), got.end(), '\n') < lines && waited < 10000; waited += 10) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

// STDOUT's lines reach a pipe in order while the program still runs (it waits for the
// reader to answer them); a pipe that nobody reads any more does not end the program.
TEST(Stdout, LinesReachAPipeAtOnceAndAGoneReaderEndsNothing) {
    TempDir dir;
    const std::string go = dir / "go";
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    pid_t pid = SpawnScenario("stdout", {"GO_FILE=" + go, "TMPDIR=" + dir.path.string()}, fds[1]);
    close(fds[1]);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(ReadLines(fds[0], 3), "one\n-2.5\n\n");
    WriteText(go, "");
    EXPECT_EQ(ReadLines(fds[0], 1), "go seen\n");
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    close(fds[0]);
    pid = SpawnScenario("stdout-gone", {"TMPDIR=" + dir.path.string()}, fds[1]);
    close(fds[1]);
    ASSERT_GT(pid, 0);
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "exit status " + std::to_string(WEXITSTATUS(status)));
}

// Escape (read by the next SHOWSCREEN after the key went down in frame 3), Alt+F4
// and closing the window (inside the event pump) end the program; Alt alone does not.
TEST(EndKeys, EscapeAltF4AndClosingEndTheProgram) {
    std::string all;
    for (int f = 1; f <= 30; ++f) all += "frame " + std::to_string(f) + "\n";
    for (std::string scenario : {"escape", "altf4", "close", "alt-only"})
        EXPECT_EQ(RunScenario(scenario, {"TOLVANE_NO_WAIT=1"}).Outcome(),
                  "0 " + (scenario == "alt-only" ? all + "survived\n" : "frame 1\nframe 2\n"));
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
