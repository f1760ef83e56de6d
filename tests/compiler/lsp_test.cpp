// tolvanec lsp through its pipes, as an editor talks to it: every request of the
// protocol it answers, diagnostics as the text changes, and messages that are
// malformed or hostile, which must be answered with the protocol's error codes while
// the server goes on.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <sstream>

#include "compiler/lsp_client.h"
#include "support/harness.h"

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

std::string Uri(const std::string& path) { return "file://" + path; }

// A program with a SUB, globals, locals, an INCLUDE and commands.
const char* const kMain = R"BAS(GLOBAL score
INCLUDE "lib.bas"
lives = 3
DIM grid(4, 4)
LOADSPRITE "a.bmp", 1
x = Clamp(lives, 0, 10) + Twice(2)
PRINT "hi", 1, 2
SUB Clamp(v, lo, hi)
  LOCAL mid = 5
  IF v < lo THEN RETURN lo
  RETURN v
END SUB
)BAS";
const char* const kLib = "SUB Twice(n)\n  RETURN n * 2 + score\nEND SUB\n";

struct Session {
    TempDir dir;
    LspClient lsp;
    std::string main, lib;
    explicit Session(json caps = json::object()) {
        main = WriteText(dir / "main.bas", kMain);
        lib = WriteText(dir / "lib.bas", kLib);
        lsp.Initialize(caps);
    }
    json OpenMain(const std::string& text = kMain) {
        lsp.Open(Uri(main), text);
        return lsp.DiagnosticsFor(Uri(main));
    }
    // The whole text of the main file replaced.
    void Replace(const std::string& text) {
        lsp.ForgetNotes();  // what earlier changes published
        lsp.Notify("textDocument/didChange", {{"textDocument", {{"uri", Uri(main)}, {"version", ++version}}},
                                              {"contentChanges", json::array({{{"text", text}}})}});
    }
    // Characters [from, to) of one line of the main file replaced.
    void Edit(int line, int from, int to, const std::string& text) {
        const json range = {{"start", {{"line", line}, {"character", from}}},
                            {"end", {{"line", line}, {"character", to}}}};
        lsp.ForgetNotes();
        lsp.Notify("textDocument/didChange", {{"textDocument", {{"uri", Uri(main)}, {"version", ++version}}},
                                              {"contentChanges", json::array({{{"range", range}, {"text", text}}})}});
    }
    int version = 1;
};

std::set<std::string> Labels(const json& completion) {
    std::set<std::string> labels;
    for (const json& item : completion["result"]["items"]) labels.insert(item["label"].get<std::string>());
    return labels;
}

// (line, column, message) of each error `tolvanec check` reports for the file.
std::set<std::tuple<int, int, std::string>> CheckErrors(const std::string& path) {
    std::set<std::tuple<int, int, std::string>> errors;
    FILE* p = popen(("'" TOLVANEC_PATH "' check '" + path + "' 2>&1").c_str(), "r");
    char line[4096];
    while (fgets(line, sizeof line, p)) {
        std::string l = line;
        if (l.rfind(path + ":", 0) != 0) continue;
        int ln = 0, col = 0;
        size_t at = path.size() + 1;
        ln = std::stoi(l.substr(at));
        at = l.find(':', at) + 1;
        col = std::stoi(l.substr(at));
        const size_t kind = l.find(": ", at);  // ": error: " or ": warning: "
        at = l.find(": ", kind + 2) + 2;
        errors.emplace(ln - 1, col - 1, l.substr(at, l.size() - at - 1));
    }
    pclose(p);
    return errors;
}

std::set<std::tuple<int, int, std::string>> Reported(const json& diagnostics) {
    std::set<std::tuple<int, int, std::string>> errors;
    for (const json& d : diagnostics)
        errors.emplace(d["range"]["start"]["line"].get<int>(), d["range"]["start"]["character"].get<int>(),
                       d["message"].get<std::string>());
    return errors;
}

TEST(LspProtocol, InitializeNamesWhatTheServerAnswersAndShutdownEndsCleanly) {
    LspClient lsp;
    json caps = lsp.Initialize()["result"]["capabilities"];
    EXPECT_EQ(caps["positionEncoding"], "utf-16");
    EXPECT_EQ(caps["textDocumentSync"]["change"], 2);
    for (const char* p : {"hoverProvider", "definitionProvider", "documentSymbolProvider"})
        EXPECT_EQ(caps[p], true) << p;
    EXPECT_TRUE(caps.contains("completionProvider"));
    EXPECT_EQ(caps["signatureHelpProvider"]["triggerCharacters"][0], "(");
    EXPECT_EQ(lsp.Request("shutdown", nullptr)["result"], nullptr);
    EXPECT_EQ(lsp.Request("textDocument/hover", json::object())["error"]["code"], -32600);  // after shutdown
    lsp.Notify("exit", nullptr);
    EXPECT_EQ(lsp.Wait(), 0);

    LspClient offered({TOLVANEC_PATH, "lsp", "--stdio"});  // a client that offers UTF-8 gets it
    EXPECT_EQ(
        offered.Initialize(
            {{"general", {{"positionEncodings", {"utf-16", "utf-8"}}}}})["result"]["capabilities"]["positionEncoding"],
        "utf-8");
    offered.Notify("exit", nullptr);
    EXPECT_EQ(offered.Wait(), 1);  // exit without shutdown
}

TEST(LspDiagnostics, SameMessagesAndPlacesAsCheckAsTheTextChanges) {
    Session s;
    EXPECT_EQ(s.OpenMain(), json::array());
    // Three kinds of mistakes: a command's argument, an unknown name, a syntax error.
    const std::string bad = std::string(kMain) + "LOADSPRITE 5, 1\nPRINT nosuch, 1, 2\n";
    WriteText(s.main, bad);
    s.Replace(bad);
    json d = s.lsp.DiagnosticsFor(Uri(s.main));
    ASSERT_EQ(d.size(), 2u) << d.dump();
    EXPECT_EQ(Reported(d), CheckErrors(s.main));
    EXPECT_EQ(d[0]["severity"], 1);
    EXPECT_EQ(d[0]["range"]["end"]["character"], 12);  // the argument "5" at column 11 to 12
    // An edit of a range: line 13 ("LOADSPRITE 5, 1") becomes a syntax error.
    s.Edit(12, 11, 12, "\"a.bmp\" +");
    WriteText(s.main, std::string(kMain) + "LOADSPRITE \"a.bmp\" +, 1\nPRINT nosuch, 1, 2\n");
    d = s.lsp.DiagnosticsFor(Uri(s.main));
    EXPECT_EQ(Reported(d), CheckErrors(s.main));
    EXPECT_EQ(d.size(), 2u) << d.dump();  // two syntax errors; names are checked once it parses
    // Back to the good program: the problems are withdrawn.
    s.Replace(kMain);
    EXPECT_EQ(s.lsp.DiagnosticsFor(Uri(s.main)), json::array());
}

TEST(LspDiagnostics, IncludedFilesAreFollowedUnsavedTextIncluded) {
    Session s;
    s.OpenMain();
    // The included file, open with an unsaved mistake: its problem is reported on it,
    // and it is checked as part of the program that includes it (score is a global there).
    s.lsp.Open(Uri(s.lib), "SUB Twice(n)\n  RETURN n * 2 + score + LEN(5, 6)\nEND SUB\n");
    json d = s.lsp.DiagnosticsFor(Uri(s.lib));
    ASSERT_EQ(d.size(), 1u) << d.dump();
    EXPECT_EQ(d[0]["range"]["start"]["line"], 1);
    EXPECT_EQ(d[0]["message"], "LEN takes 1 argument, not 2");
    // An include that cannot be read is reported on the INCLUDE line.
    s.Replace("INCLUDE \"gone.bas\"\n");
    d = s.lsp.DiagnosticsFor(Uri(s.main));
    ASSERT_EQ(d.size(), 1u) << d.dump();
    EXPECT_NE(d[0]["message"].get<std::string>().find("cannot read the included file"), std::string::npos);
}

TEST(LspDiagnostics, ColumnsCountUtf16UnitsAfterTextBeyondAscii) {
    Session s;
    // "é" is two bytes and one UTF-16 unit, "𝄞" four bytes and two units.
    json d = s.OpenMain("t$ = \"é𝄞\" : PRINT nosuch, 1, 2\n");
    ASSERT_EQ(d.size(), 1u) << d.dump();
    EXPECT_EQ(d[0]["range"]["start"]["character"], 19);
    EXPECT_EQ(d[0]["range"]["end"]["character"], 25);
}

TEST(LspCompletion, CommandsWithArgumentsSubsVariablesInScopeAndKeywords) {
    Session s;
    s.OpenMain();
    // Inside SUB Clamp (line 10): its parameters and locals, the globals, SUBs, commands.
    std::set<std::string> inSub = Labels(s.lsp.At("textDocument/completion", Uri(s.main), 9, 2));
    for (const char* want : {"v", "lo", "hi", "mid", "score", "lives", "grid", "Clamp", "Twice", "LOADSPRITE", "MID$",
                             "VAL", "WHILE", "ENDIF"})
        EXPECT_TRUE(inSub.count(want)) << want;
    // In the main program the SUB's locals are out of scope; a prefix narrows the list.
    json atMain = s.lsp.Request("textDocument/completion", {{"textDocument", {{"uri", Uri(s.main)}}},
                                                            {"position", {{"line", 6}, {"character", 0}}}});
    std::set<std::string> main = Labels(atMain);
    EXPECT_FALSE(main.count("mid"));
    EXPECT_TRUE(main.count("lives"));
    s.Replace(std::string(kMain) + "loadsp");
    json narrowed = s.lsp.At("textDocument/completion", Uri(s.main), 12, 6);
    ASSERT_EQ(narrowed["result"]["items"].size(), 1u) << narrowed.dump();
    const json& item = narrowed["result"]["items"][0];
    EXPECT_EQ(item["label"], "LOADSPRITE");
    EXPECT_EQ(item["detail"], "LOADSPRITE(file$, sprite)");
    EXPECT_EQ(item["insertText"], "loadsprite");  // typed in lower case
    EXPECT_NE(item["documentation"]["value"].get<std::string>().find("Loads a bitmap into a sprite slot."),
              std::string::npos);
    // While a line does not parse yet, the rest of the program's names are still offered.
    s.Replace(std::string(kMain) + "IF liv");
    EXPECT_EQ(Labels(s.lsp.At("textDocument/completion", Uri(s.main), 12, 6)), (std::set<std::string>{"lives"}));
}

TEST(LspCompletion, NothingInCommentsAndStringsButFileNamesAfterInclude) {
    Session s;
    WriteText(s.dir / "levels.bas", "x = 1\n");
    const std::string text = "' LOADSP\nREM LOADSP\nt$ = \"LOADSP\nINCLUDE \"le\n";
    s.OpenMain(text);
    for (int line : {0, 1, 2})
        EXPECT_EQ(s.lsp.At("textDocument/completion", Uri(s.main), line, 9)["result"]["items"], json::array()) << line;
    EXPECT_EQ(Labels(s.lsp.At("textDocument/completion", Uri(s.main), 3, 11)), (std::set<std::string>{"levels.bas"}));
}

TEST(LspHover, CommandSignatureAndDescriptionSubsAndVariables) {
    Session s;
    s.OpenMain();
    struct Case {
        int line, character;
        std::vector<std::string> parts;
    } cases[] = {
        {4, 3, {"LOADSPRITE(file$, sprite)", "Loads a bitmap into a sprite slot."}},
        {5, 6, {"SUB Clamp(v, lo, hi)", "returns a number", "main.bas:8"}},
        {5, 12, {"GLOBAL lives", "global number variable", "main.bas:3"}},
        {9, 9, {"parameter of SUB Clamp"}},
        {5, 27, {"SUB Twice(n)", "lib.bas:1"}},
        {1, 10, {s.lib}},
        {6, 1, {"PRINT(text$, x, y)", "PRINT(value, x, y)", "Draws a number"}},  // both forms
    };
    for (const Case& c : cases) {
        json h = s.lsp.At("textDocument/hover", Uri(s.main), c.line, c.character);
        const std::string text = h["result"]["contents"]["value"].get<std::string>();
        for (const std::string& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    }
    EXPECT_EQ(s.lsp.At("textDocument/hover", Uri(s.main), 4, 1)["result"]["range"],
              json({{"start", {{"line", 4}, {"character", 0}}}, {"end", {{"line", 4}, {"character", 10}}}}));
    EXPECT_EQ(s.lsp.At("textDocument/hover", Uri(s.main), 2, 7)["result"], nullptr);  // the number 3
}

TEST(LspDefinition, SubsVariablesAndIncludedFiles) {
    Session s;
    s.OpenMain();
    auto where = [&](int line, int character) {
        json r = s.lsp.At("textDocument/definition", Uri(s.main), line, character)["result"];
        if (r.is_null()) return std::string("null");
        return r["uri"].get<std::string>() + ":" + std::to_string(r["range"]["start"]["line"].get<int>()) + ":" +
               std::to_string(r["range"]["start"]["character"].get<int>());
    };
    EXPECT_EQ(where(5, 6), Uri(s.main) + ":7:4");   // Clamp -> SUB Clamp
    EXPECT_EQ(where(5, 26), Uri(s.lib) + ":0:4");   // Twice -> lib.bas
    EXPECT_EQ(where(5, 12), Uri(s.main) + ":2:0");  // lives -> its first assignment
    EXPECT_EQ(where(9, 9), Uri(s.main) + ":7:13");  // lo -> the parameter
    EXPECT_EQ(where(1, 10), Uri(s.lib) + ":0:0");   // INCLUDE "lib.bas" -> the file
    EXPECT_EQ(where(4, 3), "null");                 // a command has no source
}

TEST(LspSymbols, SubsWithTheirLocalsAndGlobalsNestedOrFlat) {
    Session s(json{{"textDocument", {{"documentSymbol", {{"hierarchicalDocumentSymbolSupport", true}}}}}});
    s.OpenMain();
    json r = s.lsp.Request("textDocument/documentSymbol", {{"textDocument", {{"uri", Uri(s.main)}}}})["result"];
    std::map<std::string, json> byName;
    for (const json& sym : r) byName[sym["name"]] = sym;
    ASSERT_TRUE(byName.count("Clamp")) << r.dump();
    EXPECT_EQ(byName["Clamp"]["kind"], 12);
    EXPECT_EQ(byName["Clamp"]["range"]["start"]["line"], 7);
    EXPECT_EQ(byName["Clamp"]["range"]["end"]["line"], 11);
    std::set<std::string> children;
    for (const json& c : byName["Clamp"]["children"]) children.insert(c["name"]);
    EXPECT_EQ(children, (std::set<std::string>{"v", "lo", "hi", "mid"}));
    EXPECT_EQ(byName["grid"]["kind"], 18);
    EXPECT_EQ(byName["score"]["kind"], 13);
    EXPECT_FALSE(byName.count("Twice"));  // another file's

    Session flat;
    flat.OpenMain();
    json list =
        flat.lsp.Request("textDocument/documentSymbol", {{"textDocument", {{"uri", Uri(flat.main)}}}})["result"];
    bool sawMid = false;
    for (const json& sym : list)
        if (sym["name"] == "mid") {
            sawMid = true;
            EXPECT_EQ(sym["containerName"], "Clamp");
            EXPECT_EQ(sym["location"]["uri"], Uri(flat.main));
        }
    EXPECT_TRUE(sawMid) << list.dump();
}

TEST(LspSignatureHelp, ActiveArgumentInCallsWithAndWithoutParentheses) {
    Session s;
    const std::string text =
        "x = Clamp(1, MID$(\"ab\", 0, \nPRINT \"a\", \nLOADSOUND \"s.wav\", 1, \nSUB Clamp(v, lo, hi)\nEND SUB\n"
        "DRAWLINE 1, 2, _ ' from\n  3, \n";
    s.OpenMain(text);
    struct Case {
        int line, character;
        std::string label;
        int active;
    } cases[] = {
        {0, 10, "Clamp(v, lo, hi)", 0},
        {0, 27, "MID$(text$, start, count)", 2},  // the inner call
        {1, 11, "PRINT(text$, x, y)", 1},         // the first of two forms
        {2, 22, "LOADSOUND(file$, sound [, copies])", 2},
        {6, 5, "DRAWLINE(x1, y1, x2, y2, colour)", 3},  // continued from the line before
    };
    for (const Case& c : cases) {
        json r = s.lsp.At("textDocument/signatureHelp", Uri(s.main), c.line, c.character)["result"];
        ASSERT_TRUE(r.is_object()) << c.label;
        EXPECT_EQ(r["signatures"][r["activeSignature"].get<int>()]["label"], c.label);
        EXPECT_EQ(r["activeParameter"], c.active) << c.label;
    }
    json two = s.lsp.At("textDocument/signatureHelp", Uri(s.main), 1, 11)["result"];
    EXPECT_EQ(two["signatures"].size(), 2u);
    const json span = two["signatures"][0]["parameters"][1]["label"];
    EXPECT_EQ(std::string("PRINT(text$, x, y)").substr(span[0], span[1].get<int>() - span[0].get<int>()), "x");
    EXPECT_EQ(s.lsp.At("textDocument/signatureHelp", Uri(s.main), 3, 3)["result"], nullptr);  // SUB line, no call yet
}

// Records and constants: a TYPE and its fields, CONSTs, fields reached through variables,
// array elements and SUB results.
const char* const kRecords = R"BAS(CONST SPEED = 3, NAME$ = "ship"
TYPE Point
  x
  y
END TYPE
TYPE Ship
  pos AS Point
  name$
  hits(4)
END TYPE
DIM fleet(3) AS Ship
GLOBAL one AS Ship
one.pos.x = SPEED
fleet(1).name$ = NAME$
q = Make(2).pos.y
SUB Make(n) AS Ship
  LOCAL s AS Ship
  s.pos.y = n
  RETURN s
END SUB
)BAS";

TEST(LspRecords, TypesFieldsAndConstantsAreSymbolsToo) {
    Session s(json{{"textDocument", {{"documentSymbol", {{"hierarchicalDocumentSymbolSupport", true}}}}}});
    ASSERT_EQ(s.OpenMain(kRecords), json::array());
    auto hover = [&](int line, int character) {
        return s.lsp.At("textDocument/hover", Uri(s.main), line, character)["result"]["contents"]["value"]
            .get<std::string>();
    };
    auto where = [&](int line, int character) {
        json r = s.lsp.At("textDocument/definition", Uri(s.main), line, character)["result"];
        return r.is_null() ? std::string("null")
                           : std::to_string(r["range"]["start"]["line"].get<int>()) + ":" +
                                 std::to_string(r["range"]["start"]["character"].get<int>());
    };
    EXPECT_NE(hover(12, 1).find("GLOBAL one AS Ship"), std::string::npos) << hover(12, 1);
    EXPECT_NE(hover(12, 5).find("pos AS Point"), std::string::npos) << hover(12, 5);         // one.pos
    EXPECT_NE(hover(12, 9).find("field of TYPE Point"), std::string::npos) << hover(12, 9);  // .x
    EXPECT_NE(hover(12, 13).find("number constant"), std::string::npos) << hover(12, 13);    // SPEED
    EXPECT_NE(hover(12, 13).find("CONST SPEED = 3"), std::string::npos) << hover(12, 13);    // with its value
    EXPECT_NE(hover(13, 19).find("CONST NAME$ = \"ship\""), std::string::npos) << hover(13, 19);
    EXPECT_NE(hover(6, 11).find("with the fields x, y"), std::string::npos) << hover(6, 11);  // AS Point
    EXPECT_EQ(where(13, 10), "7:2");  // fleet(1).name$ -> the field
    EXPECT_EQ(where(14, 16), "3:2");  // Make(2).pos.y -> y of Point
    EXPECT_EQ(where(15, 16), "5:5");  // AS Ship -> TYPE Ship
    EXPECT_EQ(where(12, 13), "0:6");  // SPEED -> its CONST
    // Fields complete after a dot, by the record before it.
    s.Replace(std::string(kRecords) + "fleet(2).");
    EXPECT_EQ(Labels(s.lsp.At("textDocument/completion", Uri(s.main), 20, 9)),
              (std::set<std::string>{"pos", "name$", "hits"}));
    s.Replace(std::string(kRecords) + "one.pos.");
    EXPECT_EQ(Labels(s.lsp.At("textDocument/completion", Uri(s.main), 20, 8)), (std::set<std::string>{"x", "y"}));
    // A SUB's local record, on a line still being typed, where the global of that name is no record.
    s.Replace(std::string(kRecords) + "t = 1\nSUB Other\n  LOCAL t AS Ship\n  t.pos.\nEND SUB\n");
    EXPECT_EQ(Labels(s.lsp.At("textDocument/completion", Uri(s.main), 23, 8)), (std::set<std::string>{"x", "y"}));
    // TYPEs with their fields and CONSTs among the file's symbols.
    s.Replace(kRecords);
    json r = s.lsp.Request("textDocument/documentSymbol", {{"textDocument", {{"uri", Uri(s.main)}}}})["result"];
    std::map<std::string, json> byName;
    for (const json& sym : r) byName[sym["name"]] = sym;
    EXPECT_EQ(byName["Ship"]["kind"], 23);
    EXPECT_EQ(byName["Ship"]["range"]["start"]["line"], 5);
    EXPECT_EQ(byName["Ship"]["range"]["end"]["line"], 9);
    EXPECT_EQ(byName["Ship"]["children"].size(), 3u);
    EXPECT_EQ(byName["SPEED"]["kind"], 14);
    EXPECT_EQ(byName["NAME$"]["kind"], 14);
}

TEST(LspDiagnostics, WarningsAreWarnings) {
    Session s;
    const std::string text = "SUB Show\n  PRINT never, 0, 0\nEND SUB\n";
    WriteText(s.main, text);
    json d = s.OpenMain(text);
    EXPECT_EQ(Reported(d), CheckErrors(s.main));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d[0]["severity"], 2) << d.dump();
}

TEST(LspDiagnostics, RangesCoverWhatIsReportedNotOnlyNames) {
    Session s;
    // A string literal, a two-character operator, an unclosed string to the end of its line.
    json d = s.OpenMain("CONST N = \"ship\"\nTYPE P\n  x\nEND TYPE\nGLOBAL one AS P\nIF one <> 1 THEN y = 1\n");
    ASSERT_EQ(d.size(), 2u) << d.dump();
    auto span = [](const json& x) {
        return std::to_string(x["range"]["start"]["line"].get<int>()) + ":" +
               std::to_string(x["range"]["start"]["character"].get<int>()) + "-" +
               std::to_string(x["range"]["end"]["character"].get<int>());
    };
    EXPECT_EQ(span(d[0]), "0:10-16");
    EXPECT_EQ(span(d[1]), "5:7-9");
    s.Replace("x = 1\ny$ = \"open \n");
    d = s.lsp.DiagnosticsFor(Uri(s.main));
    ASSERT_EQ(d.size(), 1u) << d.dump();
    EXPECT_EQ(span(d[0]), "1:5-11");
}

// ---- messages that are wrong ------------------------------------------------------------------

TEST(LspRobustness, WrongMessagesGetTheProtocolsErrorCodes) {
    LspClient lsp;
    EXPECT_EQ(lsp.Request("textDocument/hover", json::object())["error"]["code"], -32002);  // before initialize
    lsp.Initialize();
    struct Case {
        const char* body;
        int code;
        bool hasId;  // the answer names the request's id
    } cases[] = {
        {"{not json", -32700, false},
        {"[1, 2]", -32600, false},
        {"\"text\"", -32600, false},
        {R"({"jsonrpc": "2.0", "id": {"x": 1}, "method": "shutdown"})", -32600, false},
        {R"({"jsonrpc": "1.0", "id": 7, "method": "shutdown"})", -32600, true},
        {R"({"jsonrpc": "2.0", "id": 7, "method": 5})", -32600, true},
        {R"({"jsonrpc": "2.0", "id": 7, "method": "textDocument/hover", "params": 3})", -32600, true},
        {R"({"jsonrpc": "2.0", "id": 7, "method": "no/such/method"})", -32601, true},
        {R"({"jsonrpc": "2.0", "id": 7, "method": "textDocument/hover", "params": {}})", -32602, true},
        {R"({"jsonrpc": "2.0", "id": 7, "method": "textDocument/hover", "params": {"textDocument": {"uri": 5}, "position": {"line": 0, "character": 0}}})",
         -32602, true},
        {R"({"jsonrpc": "2.0", "id": 7, "method": "textDocument/completion", "params": {"textDocument": {"uri": "file:///x.bas"}, "position": {"line": -1, "character": 0}}})",
         -32602, true},
        {R"({"jsonrpc": "2.0", "id": 7, "method": "textDocument/definition", "params": {"textDocument": {"uri": "file:///x.bas"}, "position": {"line": 0, "character": 1.5}}})",
         -32602, true},
        {R"({"jsonrpc": "2.0", "id": 7, "method": "initialize", "params": {}})", -32600, true},
        {"{\"jsonrpc\": \"2.0\", \"id\": 7, \"method\": \"x\xff\"}", -32700, false},  // not UTF-8
    };
    for (const Case& c : cases) {
        lsp.SendBody(c.body);
        auto answer = lsp.Next();
        ASSERT_TRUE(answer) << c.body;
        EXPECT_EQ((*answer)["error"]["code"], c.code) << c.body;
        EXPECT_EQ((*answer)["id"], c.hasId ? json(7) : json(nullptr)) << c.body;
    }
    // Notifications are never answered, even wrong ones; the server goes on.
    lsp.SendBody(R"({"jsonrpc": "2.0", "method": "textDocument/didChange", "params": {"textDocument": 1}})");
    lsp.SendBody(R"({"jsonrpc": "2.0", "method": "$/cancelRequest", "params": {"id": 1}})");
    json ok = lsp.Request("textDocument/hover", {{"textDocument", {{"uri", "file:///nowhere.bas"}}},
                                                 {"position", {{"line", 0}, {"character", 0}}}});
    EXPECT_EQ(ok["result"], nullptr);
    EXPECT_FALSE(ok.contains("error"));
}

TEST(LspRobustness, FramingAbuseIsBoundedAndAnswered) {
    LspClient lsp;
    lsp.Initialize();
    const std::string hover =
        R"({"jsonrpc": "2.0", "id": 99, "method": "textDocument/hover", "params": {"textDocument": {"uri": "file:///n.bas"}, "position": {"line": 0, "character": 0}}})";
    auto faultThenWorks = [&](const std::string& bytes, const std::string& what) {
        lsp.SendRaw(bytes);
        auto fault = lsp.Next();
        ASSERT_TRUE(fault) << what;
        EXPECT_EQ((*fault)["error"]["code"], -32600) << what;
        lsp.SendBody(hover);
        auto answer = lsp.Next();
        ASSERT_TRUE(answer) << what;
        EXPECT_EQ((*answer)["id"], 99) << what << ": " << answer->dump();
    };
    faultThenWorks("Content-Type: text/plain\r\n\r\n", "no Content-Length");
    faultThenWorks("Content-Length: twelve\r\n\r\n", "not a number");
    faultThenWorks("Content-Length: -5\r\n\r\n", "negative");
    faultThenWorks("Content-Length: 99999999999999999999\r\n\r\n", "beyond any size");
    faultThenWorks(std::string(20000, 'x') + "\r\n\r\n", "a header line of 20000 bytes");
    // A body over the limit is read and dropped, never held.
    const size_t over = 64 * 1024 * 1024 + 1;
    faultThenWorks("Content-Length: " + std::to_string(over) + "\r\n\r\n" + std::string(over, ' '), "64 MiB + 1");
    // JSON nested a million deep.
    lsp.SendBody(std::string(1000000, '['));
    auto deep = lsp.Next();
    ASSERT_TRUE(deep);
    EXPECT_EQ((*deep)["error"]["code"], -32700);
    // A body cut short by the end of the input: the server ends, it does not hang or crash.
    lsp.SendRaw("Content-Length: 500\r\n\r\n{\"jsonrpc\"");
    lsp.CloseInput();
    EXPECT_EQ(lsp.Wait(), 1);
}

TEST(LspRobustness, RandomBytesAndRandomMessagesNeverEndTheServer) {
    LspClient lsp;
    lsp.Initialize();
    std::mt19937 rng(2024);
    const char* const methods[] = {"textDocument/didOpen",       "textDocument/didChange",
                                   "textDocument/completion",    "textDocument/hover",
                                   "textDocument/definition",    "textDocument/documentSymbol",
                                   "textDocument/signatureHelp", "textDocument/didClose"};
    const json values[] = {nullptr,        0,    -1,          1e300, "file:///r.bas", "", json::array(),
                           json::object(), true, 4294967296LL};
    auto any = [&]() { return values[rng() % std::size(values)]; };
    for (int i = 0; i < 300; ++i) {
        if (i % 3 == 0) {  // random bytes in a frame
            std::string junk(rng() % 200, '\0');
            for (char& c : junk) c = static_cast<char>(rng());
            lsp.SendBody(junk);
            continue;
        }
        json params = {
            {"textDocument",
             {{"uri", i % 2 ? json("file:///r.bas") : any()}, {"text", i % 4 ? json("PRINT x, 1, 2\nSUB") : any()}}},
            {"position", {{"line", any()}, {"character", rng() % 40}}},
            {"contentChanges",
             {{{"range",
                {{"start", {{"line", rng() % 5}, {"character", any()}}},
                 {"end", {{"line", any()}, {"character", rng() % 9}}}}},
               {"text", "(\"é"}}}}};
        json message = {{"jsonrpc", "2.0"}, {"method", methods[rng() % std::size(methods)]}, {"params", params}};
        if (i % 2) message["id"] = 1000 + i;
        lsp.Send(message);
    }
    json alive = lsp.Request("shutdown", nullptr);
    EXPECT_EQ(alive["result"], nullptr) << alive.dump();
    lsp.Notify("exit", nullptr);
    EXPECT_EQ(lsp.Wait(), 0);
}

}  // namespace
