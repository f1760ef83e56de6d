// The compiler's front end from the inside, without a C++ compiler: every report the
// lexer, the parser and the checks can give, each with its place; the bounds that keep
// any input from crashing tolvanec; the command table's reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "command_table.h"
#include "front.h"

namespace {

// Every report of a program, one a line in file and line order: "t.bas:2:5: error: ...".
// INCLUDE reads `files`.
std::string Reports(const std::string& source, const std::map<std::string, std::string>& files = {}) {
    const auto a = tvc::Analyze("t.bas", source, [&](const std::string& path, std::string& text) {
        auto it = files.find(path);
        if (it == files.end()) return false;
        text = it->second;
        return true;
    });
    std::vector<tvc::Diagnostic> items = a->diag.Items();
    std::stable_sort(items.begin(), items.end(), [](const tvc::Diagnostic& x, const tvc::Diagnostic& y) {
        return std::tie(x.loc.file, x.loc.line, x.loc.col) < std::tie(y.loc.file, y.loc.line, y.loc.col);
    });
    std::string out;
    for (const tvc::Diagnostic& d : items)
        out += (out.empty() ? "" : "\n") + a->program.sources.files[d.loc.file].name + ":" +
               std::to_string(d.loc.line) + ":" + std::to_string(d.loc.col) +
               (d.severity == tvc::Severity::Error ? ": error: " : ": warning: ") + d.message;
    return out;
}

struct Case {
    std::string source;
    const char* reports;  // every report, in order, without the "t.bas:" of the main file
};

void ExpectReports(const Case* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        std::string want;
        std::string text = cases[i].reports;
        for (size_t at = 0; at <= text.size();) {  // every line gets the main file's name
            size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(at, end - at);
            if (!line.empty()) want += (want.empty() ? "" : "\n") + (line[0] <= '9' ? "t.bas:" + line : line);
            at = end + 1;
        }
        EXPECT_EQ(Reports(cases[i].source), want) << "program:\n" << cases[i].source;
    }
}

#define EXPECT_REPORTS(table) ExpectReports(table, std::size(table))

const char* const kShip = "TYPE Ship\n x\n name$\n h(4)\n pos AS Point\nEND TYPE\nTYPE Point\n x\n y\nEND TYPE\n";

std::string WithShip(const std::string& rest) { return kShip + rest; }

}  // namespace

TEST(Lexer, EveryReportWithItsPlace) {
    const Case cases[] = {
        {"x = 1 _ 2\n",
         "1:7: error: '_' continues a statement on the next line and must end its line\n"
         "1:9: error: expected the end of the statement, found a number"},
        {"x = 0x\n", "1:5: error: '0x' needs hexadecimal digits after it"},
        {"x = 1e999\n", "1:5: error: this number is too large"},
        {"x = 12abc\n", "1:7: error: a number runs into a name here"},
        {std::string("x$ = \"a") + '\0' + "b\"\n", "1:8: error: a string cannot hold a zero byte"},
        {"PRINT \"open, 1, 1\n", "1:7: error: this string has no closing '\"' on its line"},
        {"x = 1 ? 2\n",
         "1:7: error: unexpected character '?'\n"
         "1:9: error: expected the end of the statement, found a number"},
        {"x = 1 \xC8\n", "1:7: error: unexpected byte 200"},
    };
    EXPECT_REPORTS(cases);
}

// A '_' at the end of a line (a comment may follow it) continues the statement; the
// lines keep their numbers.
TEST(Lexer, LineContinuationKeepsLineNumbers) {
    const auto a = tvc::Analyze("t.bas", "x = 1 + _  ' more\n    2 + _\n    3\ny = zz\n", nullptr);
    ASSERT_EQ(a->diag.Count(), 0) << a->diag.Text();
    ASSERT_EQ(a->diag.Items().size(), 1u);
    EXPECT_EQ(a->diag.Items()[0].loc, (tvc::Loc{0, 4, 5}));  // zz, never given a value
    EXPECT_EQ(a->program.main.size(), 2u);
    EXPECT_EQ(a->program.main[1]->loc.line, 4);
}

TEST(Parser, EveryReportWithItsPlace) {
    const Case cases[] = {
        // blocks and their closers
        {"NEXT\n", "1:1: error: NEXT without a block to close"},
        {"END TYPE\n", "1:1: error: END TYPE without a block to close"},
        {"FOR i = 1 TO 3\nWEND\nNEXT\n", "2:1: error: WEND does not close the block open here"},
        {"IF 1 THEN\nx = 1\n", "1:1: error: this IF is never closed with END IF"},
        {"FOR i = 1 TO 2\n", "1:1: error: this FOR is never closed with NEXT"},
        {"FOR i = 1 TO 2\nNEXT j\n", "2:6: error: NEXT j closes the FOR of i"},
        {"WHILE 1\n", "1:1: error: this WHILE is never closed with WEND"},
        {"REPEAT\n", "1:1: error: this REPEAT is never closed with UNTIL"},
        {"SELECT CASE 1\nCASE 1\n", "1:1: error: this SELECT is never closed with END SELECT"},
        {"SUB F\n", "1:1: error: SUB F is never closed with END SUB"},
        {"SUB 5\n",
         "1:1: error: this SUB is never closed with END SUB\n"
         "1:5: error: expected the SUB's name after SUB, found a number"},
        {"TYPE T\nx\n", "1:1: error: TYPE T is never closed with END TYPE"},
        {"SUB F\nTYPE T\nx\nEND TYPE\nEND SUB\n",
         "2:1: error: TYPE belongs at the top of a file, outside blocks and SUBs"},
        {"IF 1 THEN\nCONST A = 1\nEND IF\n", "2:1: error: CONST belongs at the top of a file, outside blocks and SUBs"},
        {"IF 1 THEN CONST A = 1\n", "1:11: error: CONST belongs at the top of a file, outside blocks and SUBs"},
        // statements
        {"5 = 1\n", "1:1: error: expected a statement, found a number"},
        {"sub = 1\n", "1:1: error: SUB is a reserved word and cannot name a variable"},
        {"next = 1\n", "1:1: error: NEXT without a block to close"},
        {"IF 1 THEN FOR i = 1 TO 2\n", "1:11: error: FOR starts a block and needs a line of its own"},
        {"BREAK\n", "1:1: error: BREAK belongs inside FOR, WHILE or REPEAT"},
        {"FOR i = 1 TO 3\nEXIT FOR\nNEXT\n",
         "2:1: error: EXIT FOR is not a statement: BREAK leaves the innermost loop"},
        {"SUB F\nEXIT SUB\nEND SUB\n", "2:1: error: EXIT SUB is not a statement: RETURN leaves a SUB"},
        {"x = 1 2\n", "1:7: error: expected the end of the statement, found a number"},
        {"IF 1\n", "1:5: error: expected THEN after the IF condition, found the end of the line"},
        {"IF 1 THEN IF 2 THEN\n", "1:11: error: a single-line IF cannot hold a block IF"},
        {"IF 1 THEN x = 1 : NEXT\n", "1:19: error: a single-line IF cannot hold NEXT"},
        {"FOR 5 = 1 TO 2\nNEXT\n", "1:5: error: expected the loop variable after FOR, found a number"},
        {"FOR i 1 TO 2\nNEXT\n", "1:7: error: expected '=' after the loop variable, found a number"},
        {"FOR i = 1, 2\nNEXT\n", "1:10: error: expected TO in the FOR line, found ','"},
        {"SELECT 1\nCASE 1\nEND SELECT\n", "1:8: error: expected CASE after SELECT, found a number"},
        {"SELECT CASE 1\nx = 1\nEND SELECT\n", "2:1: error: expected CASE after SELECT CASE, found 'x'"},
        {"SELECT CASE 1\nCASE ELSE\nCASE ELSE\nEND SELECT\n", "3:1: error: a SELECT has one CASE ELSE"},
        {"SELECT CASE 1\nCASE ELSE\nCASE 1\nEND SELECT\n", "3:1: error: CASE ELSE must be the last CASE"},
        {"DIM 5\n", "1:5: error: DIM needs an array and its sizes, DIM a(10, 5), or a record, DIM s AS Ship"},
        {"DIM a()\n", "1:5: error: DIM needs at least one size"},
        {"DIM a(1, 1, 1, 1, 1, 1, 1, 1, 1)\n", "1:5: error: an array has at most eight dimensions"},
        {WithShip("DIM s AS Ship\nDIM s.x\n"), "12:7: error: DIM sizes an array field: DIM x(size)"},
        {WithShip("DIM s AS Ship\nDIM s.h(2) AS Point\n"),
         "12:15: error: a field's type is given in its TYPE, not by DIM"},
        {"DIM s AS 5\n", "1:10: error: expected the name of a TYPE after AS, found a number"},
        {"SUB F\nGLOBAL x\nEND SUB\n", "2:1: error: GLOBAL belongs outside SUBs"},
        {"LOCAL x\n", "1:1: error: LOCAL belongs inside a SUB; the main program's variables are global"},
        {"GLOBAL 5\n", "1:8: error: expected a variable name, found a number"},
        {"GLOBAL a(\n", "1:10: error: expected ')': size arrays with DIM, found the end of the line"},
        {"GLOBAL a() = 1\n", "1:8: error: only a number or string variable takes a first value here"},
        {"SUB F(5)\nEND SUB\n", "1:7: error: expected a parameter name, found a number"},
        {"SUB F(a(\nEND SUB\n", "1:9: error: expected ')' after an array parameter's '(', found the end of the line"},
        // top-level items
        {"INCLUDE x\n", "1:9: error: INCLUDE needs a file name in quotes"},
        {"INCLUDE \"nope.bas\"\n", "1:1: error: cannot read the included file nope.bas"},
        {"OPTION FOO\n", "1:8: error: OPTION knows only EXPLICIT"},
        {"SETTINGS FPS 30\nSETTINGS FPS 30\n", "2:1: error: a program has one SETTINGS line"},
        {"SETTINGS 5\n", "1:10: error: expected TITLE, WIDTH, HEIGHT, FULLSCREEN, FPS, DEBUG or MOUSE, found a number"},
        {"SETTINGS TITLE 5\n", "1:16: error: TITLE needs a text in quotes"},
        {"SETTINGS COLOUR 1\n",
         "1:10: error: SETTINGS has no 'COLOUR': use TITLE, WIDTH, HEIGHT, FULLSCREEN, FPS, DEBUG or MOUSE"},
        // A number far outside an int is refused before it would become one.
        {"SETTINGS WIDTH 3000000000\n", "1:16: error: WIDTH needs a whole number from 1 to 16384"},
        {"SETTINGS WIDTH 1e300\n", "1:16: error: WIDTH needs a whole number from 1 to 16384"},
        {"SETTINGS FPS 2.5\n", "1:14: error: FPS needs a whole number from 0 to 1000"},
        {"SETTINGS FULLSCREEN -1\n", "1:21: error: FULLSCREEN needs a whole number from 0 to 1"},
        {"CONST 5 = 1\n", "1:7: error: expected the CONST's name, found a number"},
        {"CONST a 1\n", "1:9: error: expected '=' and the CONST's value, found a number"},
        {"TYPE\nEND TYPE\n", "1:5: error: expected the TYPE's name after TYPE, found the end of the line"},
        {"TYPE T\n5\nEND TYPE\n",
         "2:1: error: a TYPE holds fields, one a line: name, name$, name(size) or name AS Type; found a number"},
        {"TYPE T\nh()\nEND TYPE\n", "2:3: error: an array field needs its sizes: hits(4)"},
        {"TYPE T\nh(1, 1, 1, 1, 1, 1, 1, 1, 1)\nEND TYPE\n", "2:1: error: an array has at most eight dimensions"},
        // values
        {"x = (1\n", "1:7: error: expected ')', found the end of the line"},
        {"x = 1 +\n", "1:8: error: expected a value, found the end of the line"},
        {"x = THEN\n", "1:5: error: expected a value, found THEN"},
        {"x = F(1 2)\n", "1:9: error: expected ',' or ')' after an argument, found a number"},
        {"x = s.\n", "1:7: error: expected a field name after '.', found the end of the line"},
    };
    EXPECT_REPORTS(cases);
}

// Nesting and long chains: a located error at the limit, never a crash, whatever the
// size (the parser neither recurses nor builds beyond it, so no later pass can).
TEST(Parser, DeepAndLongInputGetsALocatedErrorNotACrash) {
    auto repeat = [](const std::string& s, int n) {
        std::string r;
        for (int i = 0; i < n; ++i) r += s;
        return r;
    };
    struct Big {
        std::string source;
        std::string report;
    } cases[] = {
        {"x = 1" + repeat(" + 1", 40000) + "\n",
         "1:1603: error: this expression is too long (more than 400 operators in a row): split it into several "
         "statements"},
        {"x$ = \"a\"" + repeat(" + \"a\"", 50000) + "\n",
         "1:2404: error: this expression is too long (more than 400 operators in a row): split it into several "
         "statements"},
        {"x = " + repeat("(", 100000) + "1" + repeat(")", 100000) + "\n",
         "1:404: error: this is nested too deeply (more than 400 levels of blocks, parentheses and operators): split "
         "it"},
        {"x = " + repeat("-", 100000) + "1\n",
         "1:404: error: this is nested too deeply (more than 400 levels of blocks, parentheses and operators): split "
         "it"},
        {"x = " + repeat("NOT ", 100000) + "1\n",
         "1:1601: error: this is nested too deeply (more than 400 levels of blocks, parentheses and operators): split "
         "it"},
        {"x = 2" + repeat(" ^ 2", 100000) + "\n",
         "1:1601: error: this is nested too deeply (more than 400 levels of blocks, parentheses and operators): split "
         "it"},
        {"x = s" + repeat(".f", 100000) + "\n",
         "1:805: error: this is nested too deeply (more than 400 levels of blocks, parentheses and operators): split "
         "it"},
    };
    for (const Big& c : cases) {
        std::string r = Reports(c.source);
        r = r.substr(0, r.find('\n'));
        EXPECT_EQ(r, "t.bas:" + c.report) << c.source.substr(0, 40);
    }
    // Blocks: the first too deep is reported; the errors stop at their limit.
    const auto a = tvc::Analyze("t.bas", repeat("IF 1 THEN\n", 5000) + "x = 1\n" + repeat("END IF\n", 5000), nullptr);
    ASSERT_GT(a->diag.Count(), 0);
    EXPECT_LE(a->diag.Count(), tvc::Diagnostics::kMaxErrors);
    EXPECT_EQ(a->diag.Items()[0].loc, (tvc::Loc{0, 400, 4}));
    // Up to the limit, all is well.
    EXPECT_EQ(Reports("x = 1" + repeat(" + 1", 399) + "\n"), "");
    EXPECT_EQ(Reports("x = " + repeat("(", 300) + "1" + repeat(")", 300) + "\n"), "");
    EXPECT_EQ(Reports(repeat("IF 1 THEN\n", 300) + "x = 1\n" + repeat("END IF\n", 300)), "");
}

TEST(Parser, IncludesAreReadOnceAndBoundedInDepth) {
    std::map<std::string, std::string> files;
    for (int i = 0; i < 40; ++i)
        files["f" + std::to_string(i) + ".bas"] = "INCLUDE \"f" + std::to_string(i + 1) + ".bas\"\n";
    files["lib.bas"] = "INCLUDE \"t.bas\"\nINCLUDE \"lib.bas\"\nSUB Twice(v)\n  RETURN 2 * v\nEND SUB\n";
    EXPECT_EQ(Reports("INCLUDE \"f0.bas\"\n", files), "f31.bas:1:1: error: files include each other too deeply");
    EXPECT_EQ(Reports("INCLUDE \"lib.bas\"\nINCLUDE \"lib.bas\"\nx = Twice(2)\n", files), "");
    // Every INCLUDE with its place and the file it read.
    const auto a = tvc::Analyze("t.bas", "INCLUDE \"lib.bas\"\n\nINCLUDE \"lib.bas\"\n",
                                [&](const std::string& p, std::string& t) {
                                    t = files.count(p) ? files[p] : "";
                                    return files.count(p) > 0;
                                });
    ASSERT_EQ(a->program.includes.size(), 4u);
    EXPECT_EQ(a->program.includes[0].file, 1);
    EXPECT_EQ(a->program.includes[0].loc, (tvc::Loc{0, 1, 1}));
    EXPECT_EQ(a->program.includes[3].loc, (tvc::Loc{0, 3, 1}));
    EXPECT_EQ(a->program.includes[3].file, -1) << "read before";
}

TEST(Checks, EveryReportWithItsPlace) {
    const Case cases[] = {
        // names that are taken
        {"PRINT = 1\n", "1:1: error: 'PRINT' is a command and cannot name a variable"},
        {"SUB PRINT\nEND SUB\n", "1:1: error: 'PRINT' is a command and cannot name a SUB"},
        {"SUB F\nEND SUB\nSUB f\nEND SUB\n", "3:1: error: SUB f is defined twice (first at line 1)"},
        {"SUB F\nEND SUB\nF = 1\n", "3:1: error: 'F' is the name of a SUB"},
        {"DIM a(3)\na = 1\n", "2:1: error: 'a' is an array: give it an index, a(i)"},
        {"DIM a(3)\nGLOBAL a\n", "2:8: error: 'a' is an array (line 1) and cannot also be a plain variable"},
        {"SUB F(a, a)\nEND SUB\n", "1:10: error: the parameter 'a' is named twice"},
        {"SUB F(a)\nLOCAL a\nEND SUB\n", "2:7: error: 'a' is already a parameter"},
        {"x = 1\nSUB F\nDIM x(3)\nEND SUB\n",
         "3:5: error: 'x' is a plain variable (line 1) and cannot also be an array"},
        // CONST
        {"CONST PRINT = 1\n", "1:7: error: 'PRINT' is a command and cannot name a CONST"},
        {"CONST A = 1\nCONST a = 2\n", "2:7: error: CONST a is defined twice (first at line 1)"},
        {"CONST A = \"x\"\n", "1:11: error: CONST A holds a number, not a string (a name ending in $ holds a string)"},
        {"CONST A$ = 1\n", "1:12: error: CONST A$ holds a string, not a number (write the number in quotes)"},
        {"CONST A = B\nCONST B = 1\n",
         "1:11: error: a value worked out while compiling takes numbers, texts and the CONSTs "
         "defined above it; 'B' is none of them"},
        {"CONST A = -\"x\"\n", "1:11: error: this operator takes a number"},
        {"CONST A = 1 / 0\n", "1:13: error: this value is not a finite number"},
        {"CONST A = LEN(\"x\")\n",
         "1:11: error: a value worked out while compiling cannot call 'LEN'; it takes numbers, "
         "texts, CONSTs and operators"},
        {"CONST A$ = \"x\" + 1\n",
         "1:16: error: a value worked out while compiling joins or compares texts with texts "
         "only: write the number in quotes"},
        {"CONST A$ = \"x\" MOD \"y\"\n", "1:16: error: MOD takes numbers, not texts"},
        {"CONST A = 1\nA = 2\n", "2:1: error: 'A' is a CONST and cannot be given a value"},
        {"CONST A = 1\nFOR a = 1 TO 2\nNEXT\n", "2:5: error: 'a' is a CONST and cannot be given a value"},
        {"CONST F = 1\nSUB F\nEND SUB\n", "2:1: error: 'F' is a CONST and cannot name a SUB"},
        {"CONST A = 1\nSUB F\nLOCAL a\nEND SUB\n", "3:7: error: 'a' is a CONST and cannot name a variable"},
        {"CONST A = 1\nx = A(1)\n", "2:5: error: 'A' is a CONST, not an array or a SUB"},
        {"CONST A = 1\nGETSCREENSIZE A, h\n",
         "2:15: error: argument 1 of GETSCREENSIZE (width) must be a number variable: the command stores a result "
         "there"},
        // TYPEs
        {WithShip("DIM s AS Shp\n"), "11:10: error: there is no TYPE Shp (did you mean 'Ship'?)"},
        {WithShip("DIM s$ AS Ship\n"), "11:11: error: 's$' ends in $ and holds a string; a record's name has no $"},
        {"TYPE T\nx\nEND TYPE\nTYPE t\ny\nEND TYPE\n", "4:1: error: TYPE t is defined twice (first at line 1)"},
        {"TYPE T$\nx\nEND TYPE\n", "1:1: error: a TYPE's name has no $"},
        {"TYPE T\nx\nX\nEND TYPE\n", "3:1: error: TYPE T has two fields 'X'"},
        {"TYPE T\nh(0)\nEND TYPE\n", "2:3: error: an array field's size must be a whole number from 1 to 16777216"},
        {"TYPE T\nh(2.5)\nEND TYPE\n", "2:3: error: an array field's size must be a whole number from 1 to 16777216"},
        {"TYPE T\nh(4096, 4096, 2)\nEND TYPE\n", "2:1: error: the array field 'h' holds more than 16777216 elements"},
        {"TYPE A\nb AS B\nEND TYPE\nTYPE B\na(2) AS A\nEND TYPE\n",
         "1:1: error: TYPE A holds itself through its fields; a TYPE cannot contain itself\n"
         "4:1: error: TYPE B holds itself through its fields; a TYPE cannot contain itself"},
        {WithShip("DIM s AS Ship\nDIM s AS Point\n"),
         "12:5: error: 's' holds a Ship (line 11) and cannot also hold a Point"},
        // OPTION EXPLICIT, and names never given a value
        {"OPTION EXPLICIT\nGLOBAL score\nscroe = 1\n",
         "3:1: error: 'scroe' is not declared (OPTION EXPLICIT): declare it with GLOBAL or LOCAL (did you mean "
         "'score'?)"},
        {"OPTION EXPLICIT\nGLOBAL score\nx = scroe\n",
         "3:1: error: 'x' is not declared (OPTION EXPLICIT): declare it with GLOBAL or LOCAL\n"
         "3:5: error: 'scroe' is not declared (OPTION EXPLICIT): declare it with GLOBAL or LOCAL (did you mean "
         "'score'?)"},
        {"lives = 3\nPRINT livs, 0, 0\n",
         "2:7: warning: 'livs' is never given a value, so it reads as 0 (did you mean 'lives'?)"},
        {"PRINT name$, 0, 0\n", "1:7: warning: 'name$' is never given a value, so it reads as the empty string"},
        {"Setup\nPRINT total, 0, 0\nSUB Setup\ntotal = 5\nEND SUB\n",
         "2:7: warning: 'total' is never given a value, so it reads as 0: SUB Setup gives it a value, but there it is "
         "local; to share it, declare it GLOBAL total"},
        {"SUB A\ntotal = 5\nEND SUB\nSUB B\nRETURN total\nEND SUB\n",
         "5:8: warning: 'total' is never given a value, so it reads as 0: SUB A gives it a value, but there it is "
         "local; to share it, declare it GLOBAL total outside the SUBs"},
        {"Setup\nx = grid(1)\nSUB Setup\nDIM grid(3)\nEND SUB\n",
         "2:5: error: unknown command or SUB 'grid': SUB Setup DIMs it, but there it is local; to share it, declare it "
         "GLOBAL grid()"},
        {"Setup\ngrid(1) = 2\nSUB Setup\nDIM grid(3)\nEND SUB\n",
         "2:1: error: 'grid' is not an array; size it with DIM first: SUB Setup DIMs it, but there it is local; to "
         "share "
         "it, declare it GLOBAL grid()"},
        // storing and conditions
        {"a = \"text\"\n",
         "1:5: error: a string cannot be stored in the number variable 'a' (VAL reads a number from text)"},
        {WithShip("DIM s AS Ship\nx = s\n"),
         "12:5: error: a Ship cannot be stored in the variable 'x', which holds a number"},
        {WithShip("DIM s AS Ship\ns = 1\n"),
         "12:5: error: a number cannot be stored in the variable 's', which holds a Ship"},
        {WithShip("DIM s AS Ship\nDIM p AS Point\ns = p\n"),
         "13:5: error: a Point cannot be stored in the variable 's', which holds a Ship"},
        {WithShip("DIM s AS Ship\ns.pos = s\n"),
         "12:9: error: a Ship cannot be stored in the field 'pos', which holds a Point"},
        {WithShip("DIM f(3) AS Ship\nf(1) = 2\n"),
         "12:8: error: a number cannot be stored in the array 'f', which holds a Ship"},
        {WithShip("DIM s AS Ship\nIF s THEN x = 1\n"), "12:4: error: a Ship is not a condition"},
        {"FOR a$ = 1 TO 2\nNEXT\n", "1:5: error: a FOR loop counts with a number variable"},
        {"FOR i = \"1\" TO 2\nNEXT\n", "1:9: error: the start of a FOR loop must be a number, not a string"},
        {"FOR i = 1 TO \"2\"\nNEXT\n", "1:14: error: the end of a FOR loop must be a number, not a string"},
        {"FOR i = 1 TO 2 STEP \"1\"\nNEXT\n", "1:21: error: the STEP of a FOR loop must be a number, not a string"},
        {WithShip("DIM s AS Ship\nSELECT CASE s\nCASE 1\nEND SELECT\n"),
         "12:13: error: SELECT CASE takes a number or a string, not a Ship"},
        {"SELECT CASE 1\nCASE \"a\"\nEND SELECT\n", "2:6: error: this CASE is a string but the SELECT is a number"},
        {"RETURN 1\n", "1:8: error: RETURN in the main program ends it and takes no value"},
        {"SUB F\nRETURN \"x\"\nEND SUB\n",
         "2:8: error: SUB F returns a number (a SUB whose name ends in $ returns a string)"},
        {WithShip("SUB F AS Ship\nRETURN 1\nEND SUB\n"), "12:8: error: SUB F returns a Ship, not a number"},
        // DIM of fields
        {"x = 1\nDIM x.h(3)\n", "2:7: error: '.h' takes a field of a record, not of a number"},
        {WithShip("DIM s AS Ship\nDIM s.x(3)\n"), "12:7: error: Ship has no array field 'x'"},
        {WithShip("DIM s.h(3)\n"),
         "11:5: warning: 's' is never given a value, so it reads as 0\n"
         "11:7: error: '.h' takes a field of a record, not of a number"},
        {WithShip("DIM Make().h(3)\nSUB Make AS Ship\nEND SUB\n"),
         "11:12: error: DIM sizes the field of a variable, not of a value"},
        // statements that are no statements, targets that are none
        {"DIM a(3)\na(1)\n", "2:1: error: an array element is not a statement; assign it with '='"},
        {"x = 1\nx(1)\n", "2:1: error: 'x' is a variable; assign it with '='"},
        {"x = 1\nx(2) = 3\n", "2:1: error: 'x' is not an array; size it with DIM first"},
        {"SUB F(a())\na = 1\nEND SUB\n", "2:1: error: 'a' is an array: give it an index, a(i)"},
        {WithShip("DIM s AS Ship\ns.h = 1\n"), "12:3: error: 'h' is an array field: give it an index, h(i)"},
        {WithShip("Make().x = 1\nSUB Make AS Ship\nEND SUB\n"),
         "11:8: error: only a field of a variable can be given a value, not one of a SUB's result"},
        // values
        {"DIM a(3)\nx = a(\"1\")\n", "2:7: error: an array index must be a number, not a string"},
        {"DIM a(3)\nx = a(1, 1, 1, 1, 1, 1, 1, 1, 1)\n", "2:5: error: an element of 'a' needs one to eight indexes"},
        {"DIM a(3)\nx = a()\n", "2:5: error: an element of 'a' needs one to eight indexes"},
        {"DIM a(3)\nx = a\n", "2:5: error: 'a' is an array: give it an index, a(i)"},
        {"x = 1\ny = x(1)\n", "2:5: error: 'x' is not an array"},
        {"x = 1\ny = x.a\n", "2:7: error: '.a' takes a field of a record, not of a number"},
        {WithShip("DIM s AS Ship\ny = s.nme$\n"), "12:7: error: Ship has no field 'nme$' (did you mean 'name$'?)"},
        {WithShip("DIM s AS Ship\ny = s.x(1)\n"), "12:7: error: the field 'x' is not an array"},
        {WithShip("DIM s AS Ship\ny = s.h(1, 1, 1, 1, 1, 1, 1, 1, 1)\n"),
         "12:7: error: an element of 'h' needs one to eight indexes"},
        {WithShip("DIM s AS Ship\ny = s.h\n"), "12:7: error: 'h' is an array field: give it an index, h(i)"},
        {WithShip("DIM s AS Ship\ny = -s\n"), "12:5: error: '-' cannot take a Ship"},
        {WithShip("DIM s AS Ship\ny = NOT s\n"), "12:5: error: NOT cannot take a Ship"},
        {"y$ = -\"a\"\n", "1:6: error: '-' before a string: a number is needed here"},
        {WithShip("DIM s AS Ship\ny = s + 1\n"),
         "12:7: error: '+' cannot take a Ship: records take no operators (compare their fields)"},
        {"y = \"a\" MOD 2\n", "1:9: error: MOD takes numbers on both sides (+ - * / ^ join strings, MOD does not)"},
        {"x = 1\nLOADSPRIT \"a.bmp\", 1\n",
         "2:1: error: unknown command or SUB 'LOADSPRIT' (did you mean 'LOADSPRITE'?)"},
        {WithShip("x = BOUNDS(Make().h, 0)\nSUB Make AS Ship\nEND SUB\n"),
         "11:19: error: an array field passes on as a whole only from a variable"},
        // calls
        {"SUB F(v)\nEND SUB\nF 1, 2\n", "3:1: error: SUB F takes 1 argument, not 2"},
        {"SUB F(a, b)\nEND SUB\nF 1\n", "3:1: error: SUB F takes 2 arguments, not 1"},
        {"SUB F(v)\nEND SUB\nF \"a\"\n", "3:3: error: argument 1 of F (v) must be a number, not a string"},
        {"SUB F(a())\nEND SUB\nF 1\n", "3:3: error: argument 1 of F (a) must be a number array, not a number"},
        {WithShip("SUB F(p AS Point)\nEND SUB\nDIM s AS Ship\nF s\n"),
         "14:3: error: argument 1 of F (p) must be a Point, not a Ship"},
        {"LOADSPRITE \"a.bmp\", 1, 2\n", "1:1: error: LOADSPRITE takes 2 arguments, not 3"},
        {"LOADSOUND \"a.wav\"\n", "1:1: error: LOADSOUND takes 2 to 3 arguments, not 1"},
        {"n = 3\nLOADSPRITE n, 1\n", "2:12: error: argument 1 of LOADSPRITE (file) must be a string, not a number"},
        {"GETSCREENSIZE 640, h\n",
         "1:15: error: argument 1 of GETSCREENSIZE (width) must be a number variable: the command stores a result "
         "there"},
        {"DIM a(3)\nGETSCREENSIZE a, h\n",
         "2:15: error: argument 1 of GETSCREENSIZE (width) must be a number variable, not "
         "a number array"},
        {WithShip("DIM f(2) AS Ship\nx = FINDPATH(f, f, 1, 0, 0, 1, 1)\n"),
         "12:14: error: argument 1 of FINDPATH (map) must be a number array, not an array of Ship"},
    };
    EXPECT_REPORTS(cases);
}

// Habits of other BASICs: GOTO, GOSUB and labels are said not to exist, with what to
// write instead, and nothing more is reported about them (no "did you mean", no
// warning about the label's name as a variable). A SUB called with ':' after it stays a call.
TEST(Checks, GotoGosubAndLabelsAreSaidNotToExist) {
    const std::string instead =
        "loop with FOR, WHILE or REPEAT (BREAK, CONTINUE), branch with IF or SELECT CASE, and make shared code a SUB";
    const std::string noGoto = "error: there is no GOTO (nor labels or line numbers to jump to): " + instead;
    const std::string noGosub =
        "error: there is no GOSUB (nor labels to jump to): make the code a SUB and call it by its name";
    const std::string cases[][2] = {
        {"start:\nPRINT \"x\", 0, 0\nGOTO start\n",
         "t.bas:1:1: error: 'start:' looks like a label, but there are no labels, GOTO or GOSUB: " + instead +
             "\nt.bas:3:1: " + noGoto},
        {"IF KEY(1) THEN goto 10\n", "t.bas:1:16: " + noGoto},
        {"IF KEY(1) GOTO 10\n", "t.bas:1:11: " + noGoto},
        {"ON k GOTO 10, 20\n", "t.bas:1:6: " + noGoto},
        {"GOSUB Draw\nEND\n", "t.bas:1:1: " + noGosub},
        {"SUB F\n  Gosub Draw\nEND SUB\n", "t.bas:2:3: " + noGosub},
        {"SUB Go\nEND SUB\nGo:\nGo: Go\n", ""},
        {"x = 1\nx: PRINT x, 0, 0\n", "t.bas:2:1: error: 'x' is a variable; assign it with '='"},
        {"strt : x = 1\n", "t.bas:1:1: error: unknown command or SUB 'strt' (did you mean 'STR$'?)"},
    };
    for (const auto& c : cases) EXPECT_EQ(Reports(c[0]), c[1]) << c[0];
}

// An array that was never sized is reported once where it is first used in a SUB (or
// the main program); its other uses there only follow from it.
TEST(Checks, AnArrayNeverSizedIsReportedOnce) {
    const Case cases[] = {
        {"b(1) = 2\nPRINT b(1), 0, 0\n", "1:1: error: 'b' is not an array; size it with DIM first"},
        {"PRINT b(1), 0, 0\nb(1) = 2\nx = b(2) + b(3)\n",
         "1:7: error: 'b' is no array, SUB or command: an array is sized with DIM before it is read"},
        {"x = 1\ny = x(1)\nx(2) = x(3)\n", "2:5: error: 'x' is not an array"},
        {"x = b(1)\nSUB F\n  RETURN b(2) + b(3)\nEND SUB\n",
         "1:5: error: 'b' is no array, SUB or command: an array is sized with DIM before it is read\n"
         "3:10: error: 'b' is no array, SUB or command: an array is sized with DIM before it is read"},
        // A name close to a command is more likely a slip than an array.
        {"x$ = LEFT(\"ab\", 1)\n", "1:6: error: unknown command or SUB 'LEFT' (did you mean 'LEFT$'?)"},
    };
    EXPECT_REPORTS(cases);
}

// A text longer than a string holds is cut when the program runs: a literal says so
// where it is written, a CONST whose joined texts grow too long where it is named.
TEST(Checks, TextsLongerThanAStringHoldsAreWarnedOf) {
    const std::string full(1023, 'a'), over(1024, 'b'), half(600, 'c');
    EXPECT_EQ(Reports("x$ = \"" + full + "\"\n"), "");
    EXPECT_EQ(Reports("x$ = \"" + over + "\"\n"),
              "t.bas:1:6: warning: this string is 1024 characters long, but a string holds at most 1023: the running "
              "program keeps only the first 1023");
    // "" is one character of the string.
    EXPECT_EQ(Reports("x$ = \"" + std::string(1022, 'q') + "\"\"\"\n"), "");
    EXPECT_EQ(Reports("x$ = \"" + std::string(1022, 'q') + "\"\"\"\"\"\n").substr(0, 42),
              "t.bas:1:6: warning: this string is 1024 ch");
    EXPECT_EQ(Reports("CONST A$ = \"" + half + "\"\nCONST B$ = A$ + \"" + std::string(423, 'd') +
                      "\", C$ = A$ + A$ + A$\nx$ = C$\n"),
              "t.bas:2:" + std::to_string(21 + 423) +
                  ": warning: CONST C$ is 1800 characters long once its texts are joined, but a string holds at most "
                  "1023: it keeps only the first 1023");
    // Warnings only: the program is translated, C$ cut as the runtime cuts it.
    const auto a = tvc::Analyze("t.bas", "CONST A$ = \"" + half + "\", C$ = A$ + A$\n", nullptr);
    EXPECT_EQ(a->diag.Count(), 0);
    ASSERT_EQ(a->program.consts.size(), 2u);
    EXPECT_EQ(a->program.consts[1]->text, std::string(1023, 'c'));
}

// What the command line shows of a report's line: a long line only by its start, the
// caret under the column or, beyond what is shown, under the "...".
TEST(Diagnostics, LongLinesShowOnlyTheirStart) {
    std::string chain = "x = 1";
    for (int i = 0; i < 500; ++i) chain += " + 1";
    auto text = [](const std::string& source) { return tvc::Analyze("t.bas", source, nullptr)->diag.Text(); };
    EXPECT_EQ(text(chain + "\n"),
              "t.bas:1:1603: error: this expression is too long (more than 400 operators in a row): split it into "
              "several statements\n"
              "    x = 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + 1 + ...\n"
              "                                                                ^\n");
    const std::string padded = "y = zz" + std::string(150, ' ') + "' a long comment\n";
    EXPECT_EQ(text(padded),
              "t.bas:1:5: warning: 'zz' is never given a value, so it reads as 0\n"
              "    y = zz" +
                  std::string(54, ' ') +
                  "...\n"
                  "        ^\n");
    // Up to 120 characters a line shows whole; a long line is not cut inside a character.
    const std::string line120 = "y = zz '" + std::string(112, '-');
    EXPECT_NE(text(line120 + "\n").find("    " + line120 + "\n"), std::string::npos);
    const std::string wide = "y = zz '" + std::string(51, '-') + "\xC3\xA9" + std::string(80, '-');
    EXPECT_NE(text(wide + "\n").find("    y = zz '" + std::string(51, '-') + "...\n"), std::string::npos);
}

// The rules that used to surprise: a variable never given a value is a warning (it
// reads as 0) and the program is translated; MOD refuses strings, + - * / ^ join them.
TEST(Checks, WarningsLeaveTheProgramTranslatableAndJoinsFollowOneRule) {
    const auto a = tvc::Analyze("t.bas", "PRINT never, 0, 0\nx$ = \"a\" ^ 2 + \"b\" * 3 - 1 / \"c\"\n", nullptr);
    EXPECT_EQ(a->diag.Count(), 0) << a->diag.Text();
    EXPECT_EQ(a->diag.WarningCount(), 1);
    EXPECT_NE(a->diag.Text().find("t.bas:1:7: warning: 'never' is never given a value"), std::string::npos);
}

// Arrays a command fills, given by a name never used before, are arrays of their own.
// A SUB's DIM sizes the main program's array of that name, also one the main program
// only hands to a command.
TEST(Checks, ArraysThatCommandsFillNeedNoDim) {
    const auto a = tvc::Analyze("t.bas", "Setup\nn = BOUNDS(grid, 0)\nSUB Setup\nDIM grid(3)\nEND SUB\n", nullptr);
    ASSERT_EQ(a->diag.Items().size(), 0u) << a->diag.Text();
    EXPECT_TRUE(a->program.procs[0]->locals.empty()) << "grid is the global";
    EXPECT_EQ(Reports("n = SPLITSTR(\"a,b\", \",\", parts$)\nPRINT parts$(1), 0, 0\n"), "");
    EXPECT_EQ(Reports("IF GETFILELIST(\"*\", list$) > 0 THEN PRINT list$(0), 0, 0\n"), "");
}

// Every declaration carries its place, for tools that work on the source.
TEST(Checks, DeclarationsKnowTheirPlaces) {
    const auto a = tvc::Analyze("t.bas",
                                WithShip("CONST LIMIT = 3\nGLOBAL best\nDIM fleet(LIMIT) AS Ship\n"
                                         "SUB Hit(s AS Ship, n)\n  LOCAL k\n  k = n\nEND SUB\n"),
                                nullptr);
    ASSERT_EQ(a->diag.Count(), 0) << a->diag.Text();
    const tvc::Program& p = a->program;
    ASSERT_EQ(p.types.size(), 2u);  // in the order the C++ needs them: Point before Ship
    EXPECT_EQ(p.types[0]->name, "Point");
    EXPECT_EQ(p.types[0]->loc, (tvc::Loc{0, 7, 1}));
    EXPECT_EQ(p.types[1]->fields[3]->loc, (tvc::Loc{0, 5, 2}));
    EXPECT_EQ(p.types[1]->fields[3]->type.rec, p.types[0].get());
    ASSERT_EQ(p.consts.size(), 1u);
    EXPECT_EQ(p.consts[0]->loc, (tvc::Loc{0, 11, 7}));
    EXPECT_EQ(p.consts[0]->number, 3);
    ASSERT_EQ(p.globals.size(), 2u);
    EXPECT_EQ(p.globals[0]->loc, (tvc::Loc{0, 12, 8}));
    EXPECT_TRUE(p.globals[1]->isArray);
    EXPECT_EQ(p.globals[1]->type.rec, p.types[1].get());
    ASSERT_EQ(p.procs.size(), 1u);
    EXPECT_EQ(p.procs[0]->loc, (tvc::Loc{0, 14, 1}));
    EXPECT_EQ(p.procs[0]->params[0].loc, (tvc::Loc{0, 14, 9}));
    ASSERT_EQ(p.procs[0]->locals.size(), 3u);
    EXPECT_EQ(p.procs[0]->locals[2]->loc, (tvc::Loc{0, 15, 9}));
}

// Stackmoor and the examples are programs without a report.
TEST(Checks, TheGameAndTheExamplesHaveNoReport) {
    for (const char* file : {"game/stackmoor.bas", "examples/sprites.bas", "examples/datafiles.bas",
                             "examples/pathfind.bas", "examples/chat.bas", "examples/scene3d.bas"}) {
        const std::string path = std::string(TOLVANE_SOURCE_DIR) + "/" + file;
        std::string text;
        ASSERT_TRUE(tvc::ReadTextFile(path, text)) << path;
        const auto a = tvc::Analyze(path, text, tvc::ReadTextFile);
        EXPECT_EQ(a->diag.Items().size(), 0u) << a->diag.Text();
    }
}

TEST(CommandTable, ReaderReportsEveryFaultWithItsLine) {
    const std::string header = "basic\tcpp\targs\tresult\tsubsystem\theader\tdoc\n";
    struct Row {
        std::string line;
        std::string error;  // after "t.tsv:2: "
    } rows[] = {
        {"ok\tOK\t-\tnumber\tcore\tcore/x.h\tdoc",
         "BASIC name 'ok' must be upper case letters, digits and '_', "
         "optionally ending in '$'"},
        {"MID$\tMID\t-\tstring\tcore\tcore/x.h\tdoc", "C++ name of MID$ must be MID_Str, not 'MID'"},
        {"A\tA\t-\ttext\tcore\tcore/x.h\tdoc", "result must be number or string, not 'text'"},
        {"A$\tA_Str\t-\tnumber\tcore\tcore/x.h\tdoc", "A$ ends in '$' and must give a string"},
        {"A\tA\t-\tnumber\tsky\tcore/x.h\tdoc", "unknown subsystem 'sky'"},
        {"A\tA\t-\tnumber\tcore\t../x.h\tdoc", "header '../x.h' must be a .h path under runtime/"},
        {"A\tA\t-\tnumber\tcore\tcore/x.h\t", "the doc column is empty"},
        {"A\tA\tv:number\tnumber\tcore\tcore/x.h", "expected 7 tab-separated columns, found 6"},
        {"A\tA\tv\tnumber\tcore\tcore/x.h\tdoc", "argument 'v' is not NAME:KIND"},
        {"A\tA\tV:number\tnumber\tcore\tcore/x.h\tdoc", "argument name 'V' must be lower case letters and digits"},
        {"A\tA\tv:colour\tnumber\tcore\tcore/x.h\tdoc", "unknown argument kind 'colour'"},
        {"A\tA\tv:number?, w:number\tnumber\tcore\tcore/x.h\tdoc",
         "argument 'w' follows an optional one but is not optional"},
    };
    for (const Row& r : rows) {
        const cmdtable::Table t = cmdtable::Read(header + r.line + "\n", "t.tsv");
        ASSERT_EQ(t.errors.size(), 1u) << r.line;
        EXPECT_EQ(t.errors[0], "t.tsv:2: " + r.error);
        EXPECT_TRUE(t.commands.empty()) << "a faulty line is left out";
    }
    EXPECT_EQ(cmdtable::Read("# only a comment\n", "t.tsv").errors, std::vector<std::string>{"t.tsv: no header line"});
    const cmdtable::Table twice = cmdtable::Read(header +
                                                     "A\tA\tv:number\tnumber\tcore\tcore/x.h\tone\n"
                                                     "A\tA\tw:number\tnumber\tcore\tcore/x.h\ttwo\n",
                                                 "t.tsv");
    EXPECT_EQ(twice.errors, std::vector<std::string>{"t.tsv:3: A is listed twice with the same arguments"});
    // The built-in table reads cleanly, and its forms are what the reference shows.
    std::vector<std::string> errors;
    const tvc::CommandTable table = tvc::CommandTable::FromText(
        header +
            "INSTR\tINSTR\ttext:string, find:string, start:number?\tnumber\tcore\tcore/strings.h\tdoc\n"
            "SPLITSTR\tSPLITSTR\ttext:string, sep:string, parts:string-array\tnumber\tcore\tcore/strings.h\tdoc\n",
        errors);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(table.Forms("instr").size(), 1u);
    EXPECT_EQ(table.Forms("instr")[0]->BasicForm(), "INSTR(text$, find$ [, start])");
    EXPECT_EQ(table.Forms("SplitStr")[0]->BasicForm(), "SPLITSTR(text$, sep$, parts$())");
    EXPECT_FALSE(tvc::CommandTable::BuiltIn().Forms("LEFT$").empty());
}
