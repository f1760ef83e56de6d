// The TextMate grammar (editors/tolvane.tmLanguage.json) read the way editors read it:
// its rules tried at each place of a line, the earliest match winning, strings as
// regions. Every keyword and command the language server knows must come out with
// the right scope, and names that merely start like one must not.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

#include "compiler/lsp_client.h"
#include "support/harness.h"

using json = nlohmann::json;

namespace {

struct Rule {
    std::regex match, end, inner;
    bool region = false;
    std::string name;
    std::map<int, std::string> captures;
};

std::regex Compile(std::string pattern) {
    auto flags = std::regex::ECMAScript;
    if (pattern.rfind("(?i)", 0) == 0) {
        pattern.erase(0, 4);
        flags |= std::regex::icase;
    }
    return std::regex(pattern, flags);
}

class Grammar {
public:
    explicit Grammar(const json& g) {
        for (const json& p : g["patterns"]) Add(g, g["repository"][p["include"].get<std::string>().substr(1)]);
    }
    // The scope of every byte of the line ("" where no rule applies).
    std::vector<std::string> Scopes(const std::string& line) const {
        std::vector<std::string> scopes(line.size());
        size_t pos = 0;
        while (pos < line.size()) {
            const Rule* best = nullptr;
            Match bestMatch;
            for (const Rule& r : rules_) {
                Match m;
                if (Search(line, pos, r.match, m) && (!best || m.At(0) < bestMatch.At(0))) {
                    best = &r;
                    bestMatch = m;
                }
            }
            if (!best) break;
            const size_t from = bestMatch.At(0);
            size_t to = bestMatch.End(0);
            if (best->region) {  // up to the end pattern, inner patterns tried first
                size_t at = to;
                for (;;) {
                    Match in, end;
                    const bool hasIn = Search(line, at, best->inner, in), hasEnd = Search(line, at, best->end, end);
                    if (hasIn && (!hasEnd || in.At(0) <= end.At(0)) && in.End(0) > in.At(0)) {
                        at = in.End(0);
                        continue;
                    }
                    to = hasEnd ? end.End(0) : line.size();
                    break;
                }
            }
            for (size_t i = from; i < to; ++i) scopes[i] = best->name;
            for (const auto& [group, name] : best->captures)
                if (bestMatch.m[group].matched)
                    for (size_t i = bestMatch.At(group); i < bestMatch.End(group); ++i) scopes[i] = name;
            pos = std::max(to, from + 1);
        }
        return scopes;
    }

private:
    struct Match {
        std::smatch m;
        size_t base = 0;  // where the search started in the line
        size_t At(int g) const { return base + static_cast<size_t>(m.position(g)); }
        size_t End(int g) const { return At(g) + static_cast<size_t>(m.length(g)); }
    };
    static bool Search(const std::string& line, size_t pos, const std::regex& re, Match& out) {
        if (pos > line.size()) return false;
        auto flags = pos > 0 ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
        out.base = pos;
        return std::regex_search(line.begin() + static_cast<long>(pos), line.end(), out.m, re, flags);
    }
    void Add(const json& g, const json& entry) {
        if (entry.contains("patterns") && !entry.contains("begin")) {
            for (const json& p : entry["patterns"]) Add(g, p);
            return;
        }
        Rule r;
        r.name = entry.value("name", "");
        if (entry.contains("begin")) {
            r.region = true;
            r.match = Compile(entry["begin"]);
            r.end = Compile(entry["end"]);
            r.inner = Compile(entry["patterns"][0]["match"]);
        } else {
            r.match = Compile(entry["match"]);
        }
        if (entry.contains("captures"))
            for (const auto& [k, v] : entry["captures"].items()) r.captures[std::stoi(k)] = v["name"];
        rules_.push_back(r);
    }
    std::vector<Rule> rules_;
};

json Load() {
    std::ifstream in(TOLVANE_SOURCE_DIR "/editors/tolvane.tmLanguage.json");
    return json::parse(in);
}

TEST(TextMateGrammar, ScopesOfALineAsAnEditorSeesThem) {
    const Grammar g(Load());
    struct Case {
        std::string line;
        std::vector<std::pair<std::string, std::string>> expect;  // a piece of the line, its scope
    } cases[] = {
        {"IF KEY(57) AND NOT held THEN PLAYSOUND 0, -1, 0.5 ' beep",
         {{"IF", "keyword.control"}, {"KEY", "support.function.command"}, {"57", "constant.numeric"},
          {"AND", "keyword.operator.word"}, {"held", "variable.other"}, {"PLAYSOUND", "support.function.command"},
          {"0.5", "constant.numeric"}, {"' beep", "comment.line.apostrophe"}}},
        {"t$ = mid$(\"a\"\"b'c\", 0, 1) : REM note",
         {{"t$", "variable.other"}, {"mid$", "support.function.command"}, {"\"a\"\"b'c\"", "string.quoted.double"},
          {"REM note", "comment.line.rem"}}},
        {"SUB Label$(n)", {{"SUB", "keyword.control"}, {"Label$", "entity.name.function"}}},
        {"x = 0x1F + .5e3 + VAL(\"2\") + STR$(1)",
         {{"0x1F", "constant.numeric"}, {".5e3", "constant.numeric"}, {"VAL", "support.function.builtin"},
          {"STR$", "support.function.builtin"}, {"+", "keyword.operator"}}},
        {"LOADSPRITEX = KEYS + remark", {{"LOADSPRITEX", "variable.other"}, {"KEYS", "variable.other"}, {"remark", "variable.other"}}},
        {"s$ = \"never closed", {{"\"never closed", "string.quoted.double"}}},
        {"TYPE Ship : DIM fleet(3) AS Ship", {{"TYPE", "keyword.control"}, {"Ship", "entity.name.type"}, {"AS", "keyword.control"}}},
        {"CONST TOP = one.pos.x + _ ' more", {{"CONST", "keyword.control"}, {"pos", "variable.other"}, {"_", "punctuation.separator.continuation"}, {"' more", "comment.line"}}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> scopes = g.Scopes(c.line);
        for (const auto& [piece, scope] : c.expect) {
            const size_t at = c.line.find(piece);
            ASSERT_NE(at, std::string::npos) << piece;
            for (size_t i = at; i < at + piece.size(); ++i)
                EXPECT_EQ(scopes[i].rfind(scope, 0), 0u) << "'" << piece << "' in: " << c.line << " is " << scopes[i];
        }
    }
}

TEST(TextMateGrammar, EveryKeywordAndCommandOfTheLanguageServer) {
    const Grammar g(Load());
    TempDir dir;
    LspClient lsp;
    lsp.Initialize();
    const std::string uri = "file://" + WriteText(dir / "empty.bas", "\n");
    lsp.Open(uri, "\n");
    json items = lsp.At("textDocument/completion", uri, 0, 0)["result"]["items"];
    int keywords = 0, commands = 0;
    for (const json& item : items) {
        const std::string label = item["label"];
        const std::vector<std::string> scopes = g.Scopes(label);
        if (item["kind"] == 14) {
            ++keywords;
            EXPECT_TRUE(scopes[0].rfind("keyword", 0) == 0 || scopes[0].rfind("comment", 0) == 0) << label;  // REM
        } else {
            ++commands;  // DIM, END and MOD are keywords too
            EXPECT_TRUE(scopes[0].rfind("support.function", 0) == 0 || scopes[0].rfind("keyword", 0) == 0) << label;
        }
        EXPECT_EQ(scopes.back(), scopes.front()) << label;  // the whole word
    }
    EXPECT_GT(keywords, 30);
    EXPECT_GT(commands, 110);
}

}  // namespace
