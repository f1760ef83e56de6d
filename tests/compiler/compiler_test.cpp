// tolvanec end to end: BASIC source in, a program built with the system's C++ compiler,
// run headless; what it wrote to its data file, its exit status and standard error out.
#include <unistd.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "front.h"
#include "support/harness.h"

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path dir;
    Folder() {
        char tmpl[] = "/tmp/tolvanec-test-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~Folder() { fs::remove_all(dir); }
    fs::path Write(const std::string& name, const std::string& text) const {
        fs::path p = dir / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
};

struct Result {
    int status = -1;
    std::string out;  // standard output and error
};

// tolvanec with arguments (each quoted for the shell), in the folder `cwd`.
Result Tolvanec(const std::string& args, const fs::path& cwd, const std::string& env = "") {
    std::string cmd = "cd '" + cwd.string() + "' && " + env + " '" TOLVANEC_PATH "' " + args + " 2>&1";
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::vector<std::string> DataLines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
    }
    return lines;
}

const std::vector<std::string> kHeadless = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "TOLVANE_NO_WAIT=1"};

// Every construct of the language, each writing its outcome as one line of out.dat.
const char* const kConstructs = R"BAS(
' Every line of out.dat is one expectation of the test.
SETTINGS TITLE "Constructs", WIDTH 320, HEIGHT 240
INCLUDE "lib/maths.bas"
CONST GREETING$ = "hi", TWO = 1 + 1
TYPE Crate
  x
  tag$
  hist(3)
END TYPE
Global counter
DIM grid(4, 3), names$(3)
DIM c AS Crate, pile(2) AS Crate
line = 0

FOR i = 0 TO 3
  FOR j = 2 TO 0 STEP -1
    grid(i, j) = i * 10 + j
  NEXT j
NEXT
Put grid(3, 2) + grid(1, 0)                        ' 0: 42
Put Sum(grid)                                      ' 1: 192 (array passed to a SUB)
names$(1) = "b" + 2 : names$(2) = "x" - 1 * 2      ' joins, as the runtime's operators do
Put names$(1) + names$(2)                          ' 2: b2x2
Put "10" < "9"                                     ' 3: 1 (text comparison)
Put 10 < "9"                                       ' 4: 0 (number comparison)
Put 7 / 2 + MOD(-7, 3) + 2 ^ 3 - -1                ' 5: 11.5
Put Fact(10)                                       ' 6: 3628800 (recursion)
IF counter = 0 AND NOT (1 > 2) THEN Put "single" ELSE Put "wrong"   ' 7
FOR k = 1 TO 3
  IF k = 1 THEN
    s$ = "one"
  ELSEIF k = 2 THEN
    s$ = s$ + "two"
  ELSE
    s$ = s$ + "three"
  ENDIF
NEXT
Put s$                                             ' 8: onetwothree
n = 0
WHILE n < 100
  n = n + 1
  IF MOD(n, 2) = 0 THEN CONTINUE
  IF n > 6 THEN BREAK
  counter = counter + n
WEND
Put counter                                        ' 9: 1 + 3 + 5 = 9
REPEAT : n = n - 3 : UNTIL n < 0
Put n                                              ' 10: -2
Put Kind$(5) + Kind$(150) + Kind$(-1)              ' 11: smallmiddleother
SELECT CASE "b" + "c"
CASE "a", "bc" : Put "text case"                   ' 12
CASE ELSE : Put "wrong"
END SELECT
Bump : Bump
Put counter                                        ' 13: 11 (a SUB changes a global)
GETSCREENSIZE w, h
Put w + "x" + h                                    ' 14: 320x200 (settings, height from the command line)
Put LEN("four") + VAL("2.5") + LEN(STR$(1 / 4))    ' 15: 10.5
Put MID$("abcdef", 2, 3) + CHR$(65) + FORMAT$(6, 2, 3.14159)   ' 16: cdeA  3.14
Put Twice(21)                                      ' 17: 42 (from the included file)
Put TRUNC(-7.9) + TRUNC(2.5) + STR$(TRUNC(-0.5))   ' 18: -50 (toward zero; never -0)
c.x = TWO : c.tag$ = GREETING$ : c.hist(2) = 9
pile(1) = c : c.x = 100 : c.hist(2) = 0            ' a copy: c changes alone
Put pile(1).x + pile(1).tag$ + pile(1).hist(2) + Bigger(pile(1)).x + pile(1).x   ' 19: 2hi91022
Put LEFT$("abcdef", 2) + RIGHT$("abcdef", 2) + INSTR("abcabc", "c", 3) + UCASE$("x") + _
    LCASE$("Y") + TRIM$("  t  ") + LTRIM$(" l") + RTRIM$("r ") + REPLACE$("a-b", "-", "+")   ' 20
n = SPLITSTR("a,,b", ",", parts$)
Put n + parts$(2) + INT(-2.5) + MIN(3, 4) + MAX(3, 4) + SGN(-7) + RGB(1, 2, 3)  ' 21: 3b-334-1197121
DIM z(2) : z(-0.5) = 7
Put z(0)                                           ' 22: 7 (an index is cut toward zero first)
END
Put "not reached"

SUB Put(v$)
  PUTFILE "out.dat", line, v$
  line = line + 1
END SUB

SUB Sum(a())
  FOR x = 0 TO BOUNDS(a, 0) - 1
    FOR y = 0 TO BOUNDS(a, 1) - 1
      total = total + a(x, y)
    NEXT
  NEXT
  RETURN total
END SUB

SUB Fact(n)
  IF n <= 1 THEN RETURN 1
  RETURN n * Fact(n - 1)
END SUB

SUB Kind$(v)
  SELECT CASE v
  CASE 0 TO 9
    RETURN "small"
  CASE 100 TO 199, 300
    RETURN "middle"
  END SELECT
  RETURN "other"
END SUB

SUB Bump
  counter = counter + 1
END SUB

SUB Bigger(b AS Crate) AS Crate
  b.x = b.x + 100
  RETURN b
END SUB
)BAS";

}  // namespace

TEST(Compiler, EveryConstructBehavesAsWrittenInABuiltProgram) {
    Folder f;
    f.Write("game.bas", kConstructs);
    f.Write("lib/maths.bas", "SUB Twice(v)\n  RETURN v * 2\nEND SUB\n");
    // A debug build, with its statement marks, frames and variable tables for the
    // debugger, does the same; started with a debugger's port where none listens, it
    // runs alone.
    for (const bool debug : {false, true}) {
        SCOPED_TRACE(debug ? "debug build" : "plain build");
        std::error_code ec;
        fs::remove(f.dir / "out.dat", ec);
        Result b = Tolvanec(std::string("build game.bas -o game --height 200") + (debug ? " --debug" : ""), f.dir);
        ASSERT_EQ(b.status, 0) << b.out;
        EXPECT_EQ(b.out, "") << "no report for a sound program";
        std::vector<std::string> env = kHeadless;
        if (debug) env.push_back("TOLVANE_DEBUG_PORT=1");
        ChildResult run = RunProgram((f.dir / "game").string(), "", env);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> expected = {"42",
                                                   "192",
                                                   "b2x2",
                                                   "1",
                                                   "0",
                                                   "11.5",
                                                   "3628800",
                                                   "single",
                                                   "onetwothree",
                                                   "9",
                                                   "-2",
                                                   "smallmiddleother",
                                                   "text case",
                                                   "11",
                                                   "320x200",
                                                   "10.5",
                                                   "cdeA  3.14",
                                                   "42",
                                                   "-50",
                                                   "2hi91022",
                                                   "abef5Xytlra+b",
                                                   "3b-334-1197121",
                                                   "7"};
        std::vector<std::string> lines = DataLines(f.dir / "out.dat");
        lines.resize(std::max(lines.size(), expected.size() + 1));
        for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i;
        EXPECT_EQ(lines[expected.size()], "") << "END ends the program";
    }
}

// A built program's lines on standard output, both forms of STDOUT in order; RANDOMIZE
// repeats RND's numbers (the seed cut toward zero), except in a run seeded from outside;
// the date's and the time's shapes.
TEST(Compiler, StdoutRandomizeDateAndTimeInABuiltProgram) {
    Folder f;
    f.Write("game.bas", R"BAS(
RANDOMIZE 9
first = RND(1000000)
RANDOMIZE 9.7
STDOUT first - RND(1000000)
STDOUT "date " + LEN(DATE$()) + " " + MID$(DATE$(), 4, 1) + " time " + LEN(TIME$()) + " " + MID$(TIME$(), 5, 1)
STDOUT 1 / 4
END
)BAS");
    Result b = Tolvanec("build game.bas -o game", f.dir);
    ASSERT_EQ(b.status, 0) << b.out;
    ChildResult run = RunProgram((f.dir / "game").string(), "", kHeadless);
    EXPECT_EQ(run.Outcome(), "0 0\ndate 10 - time 8 :\n0.25\n") << run.err;
    std::vector<std::string> seeded = kHeadless;
    seeded.push_back("TOLVANE_SEED=9");
    run = RunProgram((f.dir / "game").string(), "", seeded);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.substr(0, 2), "0\n") << "RANDOMIZE ignored: the second number is the next one";
}

// One program built by g++ and by clang++ gives the same results: evaluation runs
// from left to right, the target's indexes before the value. Its variables take the
// name of every macro a translation can see (whatever it includes), under both
// compilers, and the names of <cmath>'s constants.
TEST(Compiler, SameResultsWithGccAndClangAndEveryMacroNameIsAVariable) {
    Folder f;
    f.Write("tiny.bas", "x = 1\n");
    ASSERT_EQ(Tolvanec("cpp tiny.bas -o tiny.cpp", f.dir).status, 0);
    std::set<std::string> names = {"M_PI", "M_E",  "NAN",        "INFINITY", "HUGE_VAL",  "MAXFLOAT", "FP_NAN",
                                   "EOF",  "unix", "EMSCRIPTEN", "O_RDONLY", "PAGE_SIZE", "S_IRUSR"};
    // em++ (for the browser) predefines macros of its own.
    const bool web = std::system("command -v em++ >/dev/null") == 0;
    std::vector<std::string> compilers = {"g++", "clang++"};
    if (web) compilers.push_back("PATH=/usr/bin:$PATH em++");
    for (const std::string& cxx : compilers) {
        const std::string cmd = cxx + " -std=c++20 -dM -E -I '" TOLVANE_SOURCE_DIR "/runtime' '" +
                                (f.dir / "tiny.cpp").string() +
                                "' | sed -n 's/^#define \\([A-Za-z][A-Za-z0-9_]*\\).*/\\1/p'";
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        char word[256];
        while (std::fscanf(p, "%255s", word) == 1) names.insert(word);
        ASSERT_EQ(pclose(p), 0) << cxx << " is needed (scripts/install-deps.sh installs it)";
    }
    ASSERT_GT(names.size(), 300u);
    std::string program = R"BAS(
GLOBAL log$
DIM q(3)
x = Add(F(1), F(2))
PUTFILE "out.dat", 0, log$
q(Inc()) = Inc()
PUTFILE "out.dat", 1, q(1) + "," + q(2)
s$ = Mark$("a") + Mark$("b")
PUTFILE "out.dat", 2, s$
counter = 10
y = counter * Inc() + counter
PUTFILE "out.dat", 3, y
PUTFILE "out.dat", Inc(), counter
' Records, CONSTs and the other statements under both compilers too.
CONST STEPS = 3
TYPE Cell
    v
    t$
    more(2) AS Cell2
END TYPE
TYPE Cell2
    w
END TYPE
DIM cells(STEPS) AS Cell
FOR k = STEPS - 1 TO 0 STEP -1
    cells(k).v = k * k : cells(k).more(1).w = k
    SELECT CASE k
    CASE 0 : cells(k).t$ = "zero"
    CASE ELSE : cells(k).t$ = STR$(k)
    END SELECT
NEXT
PUTFILE "out.dat", 5, Sum(cells) + cells(0).t$ + Copied(cells(2)).more(1).w
)BAS";
    int count = 0;
    for (const std::string& n : names) {
        // Names the language keeps for itself (reserved words, commands) are no variables.
        if (tvc::Analyze("t.bas", n + " = 1\n", nullptr)->diag.Count() > 0) continue;
        program += n + " = " + std::to_string(++count) + "\n";
    }
    program += "PUTFILE \"out.dat\", 4, " + std::to_string(count) + "\n";
    program += R"BAS(
SUB F(v)
    log$ = log$ + v
    RETURN v
END SUB
SUB Add(p, q)
    RETURN p + q
END SUB
SUB Inc()
    counter = counter + 1
    RETURN counter
END SUB
SUB Mark$(t$)
    log$ = log$ + t$
    RETURN log$
END SUB
SUB Sum(all() AS Cell)
    FOR i = 0 TO BOUNDS(all, 0) - 1 : total = total + all(i).v : NEXT
    RETURN total
END SUB
SUB Copied(c AS Cell) AS Cell
    RETURN c
END SUB
)BAS";
    f.Write("order.bas", program);
    for (const char* cxx : {"g++", "clang++"}) {
        Result b = Tolvanec("build order.bas -o order --cxx " + std::string(cxx), f.dir);
        ASSERT_EQ(b.status, 0) << cxx << "\n" << b.out.substr(0, 4000);
        EXPECT_EQ(b.out, "");
        fs::remove(f.dir / "out.dat");
        ChildResult run = RunProgram((f.dir / "order").string(), "", kHeadless);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> lines = DataLines(f.dir / "out.dat");
        EXPECT_EQ(lines, (std::vector<std::string>{"12", "2,0", "12a12ab", "121", std::to_string(count), "5zero2", "",
                                                   "", "", "", "", "", "12"}))
            << cxx;
    }
    // The same translation compiles for the browser.
    if (web) {
        ASSERT_EQ(Tolvanec("cpp order.bas -o order.cpp", f.dir).status, 0);
        const std::string cmd = "cd '" + f.dir.string() +
                                "' && PATH=/usr/bin:$PATH em++ -std=c++20 -fsyntax-only -w -I '" +
                                TOLVANE_SOURCE_DIR "/runtime' order.cpp 2>&1";
        std::string said;
        FILE* p = popen(cmd.c_str(), "r");
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) said.append(buf, n);
        EXPECT_EQ(pclose(p), 0) << said.substr(0, 4000);
    }
}

TEST(Compiler, FatalRuntimeErrorNamesItsBasicFileAndLineInOneMessage) {
    Folder f;
    f.Write("main.bas",
            "INCLUDE \"grid.bas\"\nDIM cells(4)\nIF GETCOMMANDLINE$() = \"deep\" THEN Deeper 1\n"
            "IF GETCOMMANDLINE$() = \"loads\" THEN Loads\nFill 5\n");
    f.Write("grid.bas",
            "SUB Fill(n)\n  FOR i = 0 TO n - 1\n    cells(i) = i\n  NEXT\nEND SUB\n"
            "SUB Deeper(n)\n  Deeper n + 1\nEND SUB\n"
            "SUB Loads()\n"
            "  FOR i = 1 TO 3\n    LOADSPRITE \"Gfx/none.bmp\", 3\n  NEXT\n"  // 10-12: told once
            "  LOADSPRITE \"grid.bas\", 4\n  LOADSPRITE \"Gfx/a.bmp\", 5000\n"
            "  LOADSOUND \"Sfx/none.wav\", 2\n  LOADSOUND \"grid.bas\", 200\n"
            "  PUTFILE \"d.dat\", 300, \"x\"\n  GETFILE \"d.dat\", -1, t$\n  PLAYMUSIC \"none.mid\"\n"
            "  LOADBMP \"none.bmp\"\n  LOADBMP \"grid.bas\"\n"
            "END SUB\n");
    // Built from elsewhere by its full path, the program still names its files from its
    // own folder: it does not tell where its sources lay.
    ASSERT_EQ(
        Tolvanec("build '" + (f.dir / "main.bas").string() + "' -o '" + (f.dir / "main").string() + "'", "/").status,
        0);
    ChildResult run = RunProgram((f.dir / "main").string(), "", kHeadless);
    EXPECT_EQ(run.status, 9);
    EXPECT_EQ(run.err.substr(run.err.find("Tolvane: runtime")),
              "Tolvane: runtime error 9 (array index out of range) at grid.bas:3\n");
    // Calls nested without end stop at their limit with code 7, before the stack would.
    run = RunProgram((f.dir / "main").string(), "deep", kHeadless);
    EXPECT_EQ(run.status, 7);
    EXPECT_NE(run.err.find("Tolvane: runtime error 7 (SUBs nested too deeply) at grid.bas:7\n"), std::string::npos)
        << run.err;
    // A load or a data-file line that fails without ending the program says why, once, on
    // standard error and in the error log; a picture found but unreadable ends it.
    run = RunProgram((f.dir / "main").string(), "loads", kHeadless);
    EXPECT_EQ(run.status, 3);
    const std::string told =
        "LOADSPRITE \"Gfx/none.bmp\": found neither on disk nor in the archive, sprite 3 unchanged at grid.bas:11\n"
        "LOADSPRITE \"grid.bas\": not a BMP picture that can be read, sprite 4 is now empty at grid.bas:13\n"
        "LOADSPRITE \"Gfx/a.bmp\": sprite 5000 is outside 0 ... 4094, nothing loaded at grid.bas:14\n"
        "LOADSOUND \"Sfx/none.wav\": found neither on disk nor in the archive, sound 2 unchanged at grid.bas:15\n"
        "LOADSOUND \"grid.bas\": not a wave file that can be played, sound 127 is now empty at grid.bas:16\n"
        "PUTFILE \"d.dat\", 300: line outside 0 ... 255, nothing written (error code 7) at grid.bas:17\n"
        "GETFILE \"d.dat\", -1: line outside 0 ... 255, \"NO_DATA\" read (error code 7) at grid.bas:18\n"
        "PLAYMUSIC \"none.mid\": found neither on disk nor in the archive at grid.bas:19\n"
        "LOADBMP \"none.bmp\": found neither on disk nor in the archive, the background unchanged at grid.bas:20\n"
        "LOADBMP \"grid.bas\": not a BMP picture that can be read at grid.bas:21\n";
    std::string err, log, line;
    for (std::istringstream lines(run.err); std::getline(lines, line);)
        if (line.starts_with("Tolvane: ") && line.find(" at grid.bas:") != std::string::npos)
            err += line.substr(9) + "\n";
    EXPECT_EQ(err, told + "runtime error 3 (a file cannot be read) at grid.bas:21\n");
    for (std::istringstream lines(run.log); std::getline(lines, line);)
        if (line.find(" at grid.bas:") != std::string::npos) log += line.substr(0, line.size() - 1) + "\n";  // CR LF
    EXPECT_EQ(log, told);
}

// Starts the program with the argument in its folder, headless; once it has said
// "running" on standard output, sends it the signal. The exit status when it ends
// within 1 s of the signal; else it is killed, and -1.
int StatusAfterSignal(const fs::path& program, const std::string& arg, int signal) {
    // Everything the child needs is made before the fork: other threads run meanwhile.
    std::vector<std::string> env(kHeadless);
    for (char** e = environ; *e; ++e) env.push_back(*e);
    std::vector<char*> envp, argv = {const_cast<char*>(program.c_str()), const_cast<char*>(arg.c_str()), nullptr};
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string folder = program.parent_path().string();
    int out[2];
    if (pipe(out) != 0) return -2;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        if (chdir(folder.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    std::string said;
    char buf[256];
    for (ssize_t n; said.find("running") == std::string::npos && (n = read(out[0], buf, sizeof buf)) > 0;)
        said.append(buf, static_cast<size_t>(n));
    kill(pid, signal);
    int st = 0;
    for (int waited = 0; waited < 100; ++waited) {
        if (waitpid(pid, &st, WNOHANG) == pid) {
            close(out[0]);
            return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &st, 0);
    close(out[0]);
    return -1;
}

// SIGTERM and SIGINT stop a program whatever it is doing (a loop without SHOWSCREEN, a
// loop in a SUB, a FOR, a wait for a key) within 1 s, as END does: its data file
// written, with the status 128 + the signal.
TEST(Compiler, SignalsStopABusyProgramAsEndDoes) {
    Folder f;
    f.Write("busy.bas",
            "mode$ = GETCOMMANDLINE$()\n"
            "PUTFILE mode$ + \".dat\", 0, \"saved\"\n"
            "SUB Spin()\n  REPEAT\n    Tick\n  UNTIL 0\nEND SUB\n"
            "SUB Tick()\n  n = n + 1\nEND SUB\n"
            "STDOUT \"running\"\n"
            "IF mode$ = \"loop\" THEN\n  WHILE 1\n    n = n + 1\n  WEND\nENDIF\n"
            "IF mode$ = \"sub\" THEN Spin\n"
            "IF mode$ = \"for\" THEN\n  FOR i = 1 TO 1E15\n    n = n + 1\n  NEXT\nENDIF\n"
            "IF mode$ = \"wait\" THEN KEYWAIT\n");
    Result b = Tolvanec("build busy.bas -o busy", f.dir);
    ASSERT_EQ(b.status, 0) << b.out;
    struct Case {
        std::string mode;
        int signal, status;
    };
    const std::vector<Case> cases = {
        {"loop", SIGTERM, 143}, {"sub", SIGINT, 130}, {"for", SIGTERM, 143}, {"wait", SIGINT, 130}};
    std::vector<int> status(cases.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < cases.size(); ++i)
        threads.emplace_back([&, i] { status[i] = StatusAfterSignal(f.dir / "busy", cases[i].mode, cases[i].signal); });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(status[i], cases[i].status) << cases[i].mode;
        EXPECT_EQ(DataLines(f.dir / (cases[i].mode + ".dat")), std::vector<std::string>{"saved"}) << cases[i].mode;
    }
}

// A debug build names the BASIC files and lines in its debugging information: gdb
// finds a statement of an included file by its BASIC line, and a runtime error's place
// in the program is a BASIC line of the main file.
TEST(Compiler, DebugBuildNamesBasicLinesToTheDebugger) {
    Folder f;
    f.Write("main.bas",
            "INCLUDE \"lib.bas\"\nt = 0\nFOR i = 1 TO 3\n  t = t + Twice(i)\nNEXT\n"
            "PUTFILE \"out.dat\", 0, t\n");
    f.Write("lib.bas", "SUB Twice(v)\n  w = v * 2\n  RETURN w\nEND SUB\n");
    Result b = Tolvanec("build main.bas -o main --debug", f.dir);
    ASSERT_EQ(b.status, 0) << b.out;
    ChildResult run = RunProgram((f.dir / "main").string(), "", kHeadless);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(DataLines(f.dir / "out.dat"), std::vector<std::string>{"12"});
    const auto gdb = [&](const std::string& program) {
        const std::string cmd = "cd '" + f.dir.string() + "' && gdb -nx -batch -ex 'info line lib.bas:2' -ex " +
                                "'info line main.bas:4' ./" + program + " 2>&1";
        std::string out;
        FILE* p = popen(cmd.c_str(), "r");
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
        return out;
    };
    const std::string said = gdb("main");
    EXPECT_NE(said.find("Line 2 of \"" + (f.dir / "lib.bas").string() + "\""), std::string::npos) << said;
    EXPECT_NE(said.find("Line 4 of \"" + (f.dir / "main.bas").string() + "\""), std::string::npos) << said;
    // Without --debug, the debugger knows no BASIC line.
    ASSERT_EQ(Tolvanec("build main.bas -o plain", f.dir).status, 0);
    EXPECT_EQ(gdb("plain").find("Line 4 of"), std::string::npos);
    // A debug build is back at the caller's line when a SUB returns: an error in the
    // rest of the statement is reported there.
    f.Write("err.bas", "INCLUDE \"lib.bas\"\nDIM a(2)\nx = Twice(1) + a(99)\n");
    ASSERT_EQ(Tolvanec("build err.bas -o err --debug", f.dir).status, 0);
    run = RunProgram((f.dir / "err").string(), "", kHeadless);
    EXPECT_EQ(run.status, 9);
    EXPECT_NE(run.err.find("runtime error 9 (array index out of range) at err.bas:3"), std::string::npos) << run.err;
}

// `build` and `run`, for either target, share one cache: a product is made once for
// each state of the program, its options, assets and tools, and only copied, started or
// served after that. A compiler that writes down every call shows what was compiled.
TEST(Compiler, BuildAndRunShareTheCacheAndRedoOnlyChangedWork) {
    Folder f;
    f.Write("assets/level.dat", "41\r\n");
    f.Write("app.bas", "GETFILE \"level.dat\", 0, v\nPUTFILE \"seen.dat\", 0, v + 1\n");
    const fs::path calls = f.dir / "calls";
    auto wrapper = [&](const std::string& name, const std::string& compiler) {
        const fs::path w = f.Write(name, "#!/bin/sh\ncase \"$*\" in *program.cpp*) echo \"$*\" >> '" + calls.string() +
                                             "';; esac\nexec " + compiler + " \"$@\"\n");
        fs::permissions(w, fs::perms::owner_all);
        return w.string();
    };
    // The compiles of the program since the last look (a precompiled header that fails
    // would show as a second compile).
    auto compiles = [&] {
        const std::vector<std::string> lines = DataLines(calls);
        fs::remove(calls);
        for (const std::string& l : lines) std::printf("compiled: %s\n", l.substr(0, 160).c_str());
        return lines.size();
    };
    const std::string cxx = " --cxx '" + wrapper("cxx", "c++") + "'";
    const std::string env =
        "XDG_CACHE_HOME='" + (f.dir / "cache").string() + "' SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy";

    Result first = Tolvanec("run app.bas --assets assets" + cxx, f.dir, env);
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_EQ(compiles(), 1u);
    fs::path folder;
    for (const auto& e : fs::directory_iterator(f.dir / "cache" / "tolvanec"))
        if (e.path().filename().string().rfind("app-", 0) == 0) folder = e.path();
    EXPECT_EQ(DataLines(folder / "seen.dat").at(0), "42") << "the data file came out of the program's archive";
    const auto built = fs::last_write_time(folder / "app");
    // run again, then build: the program made by run is the one build copies out.
    EXPECT_EQ(Tolvanec("run app.bas --assets assets" + cxx, f.dir, env).status, 0);
    Result copied = Tolvanec("build app.bas --assets assets -o app" + cxx, f.dir, env);
    ASSERT_EQ(copied.status, 0) << copied.out;
    EXPECT_EQ(compiles(), 0u) << "an unchanged program is not built again";
    EXPECT_EQ(fs::last_write_time(folder / "app"), built);
    ASSERT_EQ(RunProgram((f.dir / "app").string(), "", kHeadless).status, 0);
    EXPECT_EQ(DataLines(f.dir / "seen.dat").at(0), "42") << "the copy carries its archive";
    // An option, the program, an asset and the compiler each make it anew; the data
    // files the program wrote in its folder stay.
    EXPECT_EQ(Tolvanec("build app.bas --assets assets -o app --width 320" + cxx, f.dir, env).status, 0);
    EXPECT_EQ(compiles(), 1u);
    f.Write("app.bas", "GETFILE \"level.dat\", 0, v\nPUTFILE \"seen.dat\", 0, v + 2\n");
    EXPECT_EQ(Tolvanec("run app.bas --assets assets --width 320" + cxx, f.dir, env).status, 0);
    EXPECT_EQ(compiles(), 1u);
    EXPECT_EQ(DataLines(folder / "seen.dat").at(0), "43");
    f.Write("assets/level.dat", "51\r\n");
    EXPECT_EQ(Tolvanec("run app.bas --assets assets --width 320" + cxx, f.dir, env).status, 0);
    EXPECT_EQ(compiles(), 1u);
    EXPECT_EQ(DataLines(folder / "seen.dat").at(0), "53");
    const std::string cxx2 = " --cxx '" + wrapper("cxx2", "c++") + "'";
    EXPECT_EQ(Tolvanec("run app.bas --assets assets --width 320" + cxx2, f.dir, env).status, 0);
    EXPECT_EQ(compiles(), 1u);
    // The compiler's failure is the build's, and the next build starts afresh.
    EXPECT_EQ(Tolvanec("run app.bas --assets assets --width 320 --cxx false", f.dir, env).status, 1);
    EXPECT_EQ(Tolvanec("run app.bas --assets assets --width 320" + cxx, f.dir, env).status, 0);
    EXPECT_EQ(compiles(), 1u);
    // The folder of a program whose source is gone goes at the next build.
    Folder other;
    other.Write("gone.bas", "x = 1\n");
    ASSERT_EQ(Tolvanec("build '" + (other.dir / "gone.bas").string() + "' -o gone" + cxx, f.dir, env).status, 0);
    const auto products = [&] {
        return std::distance(fs::directory_iterator(f.dir / "cache" / "tolvanec"), fs::directory_iterator());
    };
    const auto before = products();
    fs::remove(other.dir / "gone.bas");
    EXPECT_EQ(Tolvanec("build app.bas --assets assets -o app" + cxx, f.dir, env).status, 0);
    EXPECT_EQ(products(), before - 1);
    EXPECT_EQ(compiles(), 2u);
    // Two builds of one program at once: one makes it while the other waits, and both
    // copy out the whole program.
    f.Write("twice.bas", "x = 1\n");
    const std::string twice = "build twice.bas -o one" + cxx + " & cd '" + f.dir.string() + "' && " + env +
                              " '" TOLVANEC_PATH "' build twice.bas -o two" + cxx + " 2>&1; wait";
    EXPECT_EQ(Tolvanec(twice, f.dir, env).out, "");
    EXPECT_EQ(compiles(), 1u) << "the second build found the program made";
    for (const char* out : {"one", "two"}) EXPECT_EQ(RunProgram((f.dir / out).string(), "", kHeadless).status, 0);
    // Without a cache folder, build still makes the program, and says so; run cannot.
    f.Write("no-cache", "");
    const std::string noCache = "XDG_CACHE_HOME='" + (f.dir / "no-cache").string() + "'";
    Result uncached = Tolvanec("build app.bas --assets assets -o plain" + cxx, f.dir, noCache);
    EXPECT_EQ(uncached.status, 0) << uncached.out;
    EXPECT_NE(uncached.out.find("warning: cannot make the cache folder"), std::string::npos) << uncached.out;
    ASSERT_EQ(RunProgram((f.dir / "plain").string(), "", kHeadless).status, 0);
    EXPECT_EQ(DataLines(f.dir / "seen.dat").at(0), "53");
    EXPECT_EQ(Tolvanec("run app.bas --assets assets" + cxx, f.dir, noCache).status, 1);
    EXPECT_EQ(compiles(), 1u);

    // For the browser, where this build has the kit: the same, with the page's folder.
    std::string kit;
    tvc::ReadTextFile((fs::path(TOLVANEC_PATH).parent_path() / "tolvanec-web.txt").string(), kit);
    if (kit.find("\nemxx=/") == std::string::npos) return;
    const std::string emxx = " --emxx '" + wrapper("emxx", "em++") + "'";
    ASSERT_EQ(Tolvanec("build --web app.bas -o page" + emxx, f.dir, env).status, 0);
    EXPECT_EQ(compiles(), 1u);
    ASSERT_EQ(Tolvanec("build --web app.bas -o page2" + emxx, f.dir, env).status, 0);
    EXPECT_EQ(compiles(), 0u);
    for (const char* file : {"index.html", "app.js", "app.wasm", "app.sbx", "synth/js-synthesizer.min.js"})
        EXPECT_TRUE(fs::exists(f.dir / "page2" / file)) << file;
    EXPECT_FALSE(fs::exists(f.dir / "page2" / "build-key")) << "the note of the build, naming this machine's paths";
    EXPECT_FALSE(fs::exists(f.dir / "page2" / ".source"));
    ASSERT_EQ(Tolvanec("build --web app.bas -o page --id other" + emxx, f.dir, env).status, 0);
    EXPECT_EQ(compiles(), 1u) << "a page's option makes it anew";
}

// What tolvanec says on its command line: errors with file, line, column and caret end
// it with status 1 and make nothing; warnings are said and the program is made.
TEST(Compiler, ReportsOnTheCommandLine) {
    Folder f;
    f.Write("bad.bas", "n = 3\nLOADSPRITE n, 1\n");
    Result r = Tolvanec("build bad.bas -o bad", f.dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "bad.bas:2:12: error: argument 1 of LOADSPRITE (file) must be a string, not a number\n"
              "    LOADSPRITE n, 1\n"
              "               ^\n"
              "1 error\n");
    EXPECT_FALSE(fs::exists(f.dir / "bad"));
    f.Write("warn.bas", "lives = 3\nPUTFILE \"out.dat\", 0, livs + lives\n");
    r = Tolvanec("build warn.bas -o warn", f.dir);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "warn.bas:2:23: warning: 'livs' is never given a value, so it reads as 0 (did you mean 'lives'?)\n"
              "    PUTFILE \"out.dat\", 0, livs + lives\n"
              "                          ^\n");
    ASSERT_EQ(RunProgram((f.dir / "warn").string(), "", kHeadless).status, 0);
    EXPECT_EQ(DataLines(f.dir / "out.dat").at(0), "3");
    EXPECT_EQ(Tolvanec("build warn.bas --width 3000000000", f.dir).status, 2);
}

// A wrong command line is said for what it is, with status 2 and before any work: a
// command tolvanec does not know (with the nearest one when it is a slip), and a place
// it cannot write its output to (never as a fault of tolvanec).
TEST(Compiler, WrongCommandLinesAreNamedBeforeAnyWork) {
    Folder f;
    f.Write("ok.bas", "x = 1\n");
    f.Write("file", "");
    fs::create_directories(f.dir / "out");
    const std::string abs = f.dir.string();
    const struct {
        std::string args, said;
    } cases[] = {
        {"chek ok.bas", "unknown command 'chek' (did you mean 'check'?)"},
        {"biuld ok.bas", "unknown command 'biuld' (did you mean 'build'?)"},
        {"rn", "unknown command 'rn' (did you mean 'run'?)"},
        {"compile ok.bas", "unknown command 'compile'"},
        {"x", "unknown command 'x'"},
        {"--web ok.bas", "unknown command '--web'"},
        {"build ok.bas -o " + abs + "/no/such/ok",
         "cannot write " + abs + "/no/such/ok: the folder " + abs + "/no/such does not exist"},
        {"build ok.bas -o file/ok", "cannot write file/ok: file is not a folder"},
        {"build ok.bas -o file/deeper/ok", "cannot write file/deeper/ok: file is not a folder"},
        {"build ok.bas -o out", "cannot write out: it is a folder"},
        {"cpp ok.bas -o gone/ok.cpp", "cannot write gone/ok.cpp: the folder gone does not exist"},
        {"cpp ok.bas --entry gone/main.cpp", "cannot write gone/main.cpp: the folder gone does not exist"},
        {"build --web ok.bas -o file", "cannot write file: it is not a folder"},
        {"build --web ok.bas -o file/page", "cannot write file/page: file is not a folder"},
        {"build --web ok.bas --touch-keys=Up,Fly", "--touch-keys: unknown key 'Fly'"},
        {"build --web ok.bas --touch-keys=Up,,Down", "--touch-keys: a key name is missing"},
        {"build --web ok.bas --touch-keys=Left/", "--touch-keys: a key name is missing"},
        {"build --web ok.bas --touch-keys=Up,up", "--touch-keys: 'up' is named twice"},
        {"run --web ok.bas --touch-keys=A/B/C", "--touch-keys: one '/' at most (left side / right side)"},
        {"build --web ok.bas --touch-keys=A,B,C,D,E,F,G,H,I,J,K,L,M", "--touch-keys: at most 12 keys"},
        // One reading of the options for both targets: each is checked before any work,
        // and an option of the other target or of another command is refused.
        {"build --web ok.bas --width 0", "--width needs a whole number from 1 to 16384"},
        {"run --web ok.bas --fps 2.5", "--fps needs a whole number from 0 to 1000"},
        {"run --web ok.bas --port 65536", "--port needs a whole number from 1 to 65535"},
        {"build --web ok.bas --id .hidden",
         "--id needs a name of letters, digits, '.', '-' and '_', at most 64, not starting with '.'"},
        {"build --web ok.bas --cxx c++", "unknown option --cxx (the browser build uses --emxx)"},
        {"build ok.bas --emxx em++", "unknown option --emxx"},
        {"run ok.bas --port 8000", "unknown option --port"},
        {"build ok.bas --touch-keys", "unknown option --touch-keys"},
        {"build ok.bas --optimize", "unknown option --optimize"},
        {"check ok.bas --web", "unknown option --web"},
        {"cpp --web ok.bas", "unknown option --web"},
    };
    for (const auto& c : cases) {
        const Result r = Tolvanec(c.args, f.dir);
        EXPECT_EQ(r.status, 2) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "tolvanec: " + c.said) << c.args;
        EXPECT_EQ(r.out.find("internal error"), std::string::npos) << r.out;
        if (c.said.rfind("unknown command", 0) == 0) {
            EXPECT_NE(r.out.find("\nusage: tolvanec check"), std::string::npos) << "the usage follows";
        }
    }
    EXPECT_FALSE(fs::exists(f.dir / "no")) << "nothing is made";
    EXPECT_FALSE(fs::exists(f.dir / "gone"));
    EXPECT_TRUE(fs::is_empty(f.dir / "out"));
    // A folder that cannot be written (where permissions hold: not for root).
    if (geteuid() != 0) {
        fs::create_directories(f.dir / "locked");
        fs::permissions(f.dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        const Result r = Tolvanec("build ok.bas -o locked/ok", f.dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "tolvanec: cannot write locked/ok: the folder locked is not writable\n");
        fs::permissions(f.dir / "locked", fs::perms::owner_all);
    }
    const Result help = Tolvanec("help", f.dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: tolvanec check", 0), 0u) << help.out;
}

// The manual page (package/tolvanec.1) keeps step with the usage: every form of the
// usage is a line of its synopsis, and the page names exactly the options the usage does.
TEST(Compiler, ManualPageFollowsTheUsage) {
    Folder f;
    const Result help = Tolvanec("--help", f.dir);
    ASSERT_EQ(help.status, 0);
    std::ifstream in(TOLVANE_SOURCE_DIR "/package/tolvanec.1");
    std::string man((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(man.empty());
    // As the page reads: without font changes, "\-" a plain '-'.
    man = std::regex_replace(man, std::regex(R"(\\f[BIRP])"), "");
    man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
    std::istringstream usage(help.out);
    int forms = 0;
    for (std::string line; std::getline(usage, line);) {
        // "usage: tolvanec ..." and "       tolvanec ...": the forms of the command line
        if ((line.rfind("usage: ", 0) != 0 && line.rfind("       ", 0) != 0) || line.compare(7, 9, "tolvanec ") != 0)
            continue;
        ++forms;
        EXPECT_NE(man.find("\n" + line.substr(7) + "\n"), std::string::npos) << "not in the synopsis: " << line;
    }
    EXPECT_EQ(forms, 10);
    auto options = [](const std::string& text) {
        std::set<std::string> found;
        const std::regex option(R"((^|[\s\[(,])(--?[a-z][a-z-]*))");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
            found.insert((*it)[2]);
        return found;
    };
    const std::set<std::string> inUsage = options(help.out);
    EXPECT_GE(inUsage.size(), 20u);
    EXPECT_EQ(options(man), inUsage);
}

// ---- the example programs of examples/, built and run unattended ----------------------------

namespace {

// A 24-bit screenshot as the runtime writes it.
struct Shot {
    std::vector<unsigned char> b;
    explicit Shot(const fs::path& bmp) {
        std::ifstream in(bmp, std::ios::binary);
        b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    long U32(size_t at) const {
        return at + 4 <= b.size() ? b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24 : 0;
    }
    // Colour R + 256 G + 65536 B at (x, y) from the top left; -1 outside the picture.
    long At(int x, int y) const {
        const long w = U32(18), h = U32(22);
        const size_t at = U32(10) + static_cast<size_t>(h - 1 - y) * ((w * 3 + 3) & ~3) + 3 * x;
        if (x < 0 || y < 0 || x >= w || y >= h || at + 3 > b.size()) return -1;
        return b[at + 2] | b[at + 1] << 8 | b[at] << 16;
    }
};

struct Example {
    const char* name;
    const char* keys;  // key script
    int frames;
    int runs;  // the program is run this often, seeds 1, 2, ...
    // Checks the folder the program ran in; its screenshots are in shots/.
    void (*check)(const fs::path& dir);
};

const Example kExamples[] = {
    // The catcher walks right, 4 pixels a frame from x 288, and stops at the edge (576).
    {"sprites", "1 205\n", 80, 1,
     [](const fs::path& dir) {
         const Shot shot(dir / "shots" / "frame-000080.bmp");
         int leftmost = 640;
         for (int y = 400; y < 464; ++y)
             for (int x = 0; x < 640; ++x)
                 if (shot.At(x, y) > 0) leftmost = std::min(leftmost, x);
         EXPECT_GE(leftmost, 576);
         EXPECT_LT(leftmost, 640) << "the catcher is drawn";
     }},
    // No file chooser: the table goes to scores.dat beside the program, best first.
    {"datafiles", "", 3, 3,
     [](const fs::path& dir) {
         std::vector<std::string> l = DataLines(dir / "scores.dat");
         ASSERT_EQ(l.size(), 8u);
         EXPECT_EQ(l[0], "3");
         EXPECT_EQ(l[1], "3");
         std::vector<std::string> names = {l[2], l[4], l[6]};
         std::sort(names.begin(), names.end());
         EXPECT_EQ(names, (std::vector<std::string>{"Run 1", "Run 2", "Run 3"}));
         EXPECT_GE(std::stod(l[3]), std::stod(l[5]));
         EXPECT_GE(std::stod(l[5]), std::stod(l[7]));
     }},
    // The cursor goes 8 tiles right and 5 down to (9, 6); Space sends the walker there
    // around the walls. Tiles are 32 pixels; shots every 20 frames.
    {"pathfind",
     "10 205\n12\n14 205\n16\n18 205\n20\n22 205\n24\n26 205\n28\n30 205\n32\n34 205\n36\n38 205\n40\n"
     "42 208\n44\n46 208\n48\n50 208\n52\n54 208\n56\n58 208\n60\n62 57\n64\n",
     240, 1,
     [](const fs::path& dir) {
         auto centre = [&](int frame, int tx, int ty) {
             char name[32];
             std::snprintf(name, sizeof name, "frame-%06d.bmp", frame);
             return Shot(dir / "shots" / name).At(tx * 32 + 16, ty * 32 + 16);
         };
         const long walker = 0xE65028, path = 0x28DCF0, floor = 0x327828;
         EXPECT_EQ(centre(60, 1, 1), walker);
         EXPECT_EQ(centre(80, 9, 6), path) << "the path ends at the cursor";
         EXPECT_EQ(centre(240, 9, 6), walker) << "the walker arrived";
         EXPECT_EQ(centre(240, 1, 1), floor);
     }},
    // The cube turns in the middle of the picture: its red side, lit by the point light
    // beyond what the dim ambient light gives, covers the point above the centre, in
    // another shade as it turns; the sky above the floor stays black.
    {"scene3d", "", 40, 1,
     [](const fs::path& dir) {
         const Shot a(dir / "shots" / "frame-000020.bmp"), b(dir / "shots" / "frame-000040.bmp");
         for (const Shot* s : {&a, &b}) {
             const long c = s->At(320, 220), red = c & 0xFF, green = c >> 8 & 0xFF, blue = c >> 16 & 0xFF;
             EXPECT_GE(red, 0x60) << std::hex << c;
             EXPECT_GT(red, 2 * std::max(green, blue)) << std::hex << c;
             EXPECT_EQ(s->At(20, 60), 0);
         }
         EXPECT_NE(a.At(320, 220), b.At(320, 220)) << "the cube turns";
     }},
};

void PrintTo(const Example& e, std::ostream* os) { *os << e.name; }

class Examples : public testing::TestWithParam<Example> {};

}  // namespace

TEST_P(Examples, BuildsAndRunsUnattended) {
    const Example& e = GetParam();
    Folder f;
    const std::string source = std::string(TOLVANE_SOURCE_DIR "/examples/") + e.name + ".bas";
    Result b = Tolvanec("build '" + source + "' -o prog --assets '" STACKMOOR_ASSETS_DIR "'", f.dir);
    ASSERT_EQ(b.status, 0) << b.out;
    fs::create_directories(f.dir / "shots");
    const fs::path keys = f.Write("keys.txt", e.keys);
    for (int run = 1; run <= e.runs; ++run) {
        std::vector<std::string> env = kHeadless;
        env.insert(env.end(), {"TOLVANE_SEED=" + std::to_string(run), "TOLVANE_FRAMES=" + std::to_string(e.frames),
                               "TOLVANE_SHOTS=" + (f.dir / "shots").string() + ":20", "TOLVANE_INPUT=" + keys.string(),
                               "DISPLAY=", "WAYLAND_DISPLAY="});
        ChildResult r = RunProgram((f.dir / "prog").string(), "", env);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    e.check(f.dir);
}

INSTANTIATE_TEST_SUITE_P(Compiler, Examples, testing::ValuesIn(kExamples),
                         [](const testing::TestParamInfo<Example>& i) { return std::string(i.param.name); });

// ---- examples/chat.bas: two programs on this machine --------------------------------------

namespace {}  // namespace

// Ann hosts; Bob joins her at 127.0.0.1 (trying again until she is there), says a line
// and goodbye. Ann's log holds the line; the goodbye ends both long before their frame
// caps, which only guard against a hang.
TEST(Compiler, ChatExampleCarriesALineFromOneProgramToTheOther) {
    Folder f;
    Result b = Tolvanec("build '" TOLVANE_SOURCE_DIR "/examples/chat.bas' -o chat", f.dir);
    ASSERT_EQ(b.status, 0) << b.out;
    const std::string chat = (f.dir / "chat").string();
    const std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "TOLVANE_FRAMES=3600",
                                          "TOLVANE_NET_PORT=" + std::to_string(FreeUdpPort())};
    const std::string annArgs = "host Ann --log ann.dat";
    const std::string bobArgs = "join 127.0.0.1 Bob --say 'Hello Ann, how are you?' --say /bye";
    ChildResult ann;
    std::thread host([&] { ann = RunProgram(chat, annArgs, env); });
    ChildResult bob = RunProgram(chat, bobArgs, env);
    host.join();
    EXPECT_EQ(bob.status, 0) << bob.err;
    EXPECT_EQ(ann.status, 0) << ann.err;
    const std::vector<std::string> log = DataLines(f.dir / "ann.dat");
    auto has = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
    EXPECT_TRUE(has("Bob: Hello Ann, how are you?")) << log.size() << " lines";
    EXPECT_TRUE(has("Bob ended the chat."));
}
