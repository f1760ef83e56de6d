// Completion, hover, definitions, document symbols, signature help and diagnostics as
// the protocol shapes them (see features.h).
#include "features.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "front.h"

using nlohmann::json;

namespace tvc::lsp {

namespace {

// Kinds of the protocol.
enum CompletionKind {
    kMethod = 2,
    kFunction = 3,
    kField = 5,
    kVariable = 6,
    kKeyword = 14,
    kFile = 17,
    kConstant = 21,
    kStruct = 22
};
enum SymbolKind {
    kSymFunction = 12,
    kSymVariable = 13,
    kSymConstant = 14,
    kSymArray = 18,
    kSymField = 8,
    kSymStruct = 23
};

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

json Position(const LineIndex& idx, int line, int byteCol, Encoding enc) {
    return {{"line", std::max(line, 0)}, {"character", idx.Character(line, byteCol, enc)}};
}

// The protocol range of a place (front-end lines and columns from 1).
json RangeOf(const LineIndex& idx, const Place& p, Encoding enc) {
    return {{"start", Position(idx, p.line - 1, p.col - 1, enc)},
            {"end", Position(idx, p.line - 1, p.col - 1 + p.length, enc)}};
}

json Markdown(const std::string& text) { return {{"kind", "markdown"}, {"value", text}}; }

std::string Code(const std::string& code) { return "```tolvane\n" + code + "\n```"; }

std::string FileName(const Analysis& a, int file) {
    return file >= 0 && file < static_cast<int>(a.files.size())
               ? std::filesystem::path(a.files[file].path).filename().string()
               : "?";
}

// What a symbol is, in words: "global number variable", "local string array of SUB Move".
std::string Describe(const Analysis& a, const Symbol& s) {
    const std::string type = !s.typeName.empty() ? s.typeName + " record" : s.isString ? "string" : "number";
    const std::string where = FileName(a, s.at.file) + ":" + std::to_string(s.at.line);
    const std::string owner =
        s.owner >= 0 ? " of " + std::string(s.kind == Symbol::Field ? "TYPE " : "SUB ") + a.symbols[s.owner].name : "";
    const std::string shape = s.isArray ? " array" : " variable";
    switch (s.kind) {
        case Symbol::Sub: return "returns a " + type + "; defined at " + where;
        case Symbol::Global: return "global " + type + shape + ", declared at " + where;
        case Symbol::Local: return "local " + type + shape + owner + ", declared at " + where;
        case Symbol::Param: return type + (s.isArray ? " array" : "") + " parameter" + owner + ", at " + where;
        case Symbol::Field: return type + (s.isArray ? " array" : "") + " field" + owner + ", declared at " + where;
        case Symbol::Const: return type + " constant, defined at " + where;
        case Symbol::Type: {
            std::string fields;
            for (const Symbol& f : a.symbols)
                if (f.kind == Symbol::Field && f.owner >= 0 && &a.symbols[f.owner] == &s)
                    fields += (fields.empty() ? "" : ", ") + f.name + (f.isArray ? "()" : "");
            return "record type" + (fields.empty() ? std::string() : " with the fields " + fields) + "; defined at " +
                   where;
        }
    }
    return where;
}

std::string CommandText(const std::vector<CommandForm>& forms) {
    std::string text;
    for (const CommandForm& f : forms) {
        if (!text.empty()) text += "\n\n";
        text += Code(f.signature + (f.returnsString ? " : string" : "")) + "\n" + f.doc;
    }
    return text;
}

enum class Context { Code, String, Comment };

// Where the end of `before` (a line up to the cursor) lies.
Context ContextOf(const std::string& before) {
    bool inString = false, statementStart = true;
    for (size_t i = 0; i < before.size(); ++i) {
        const char c = before[i];
        if (inString) {
            if (c == '"') {
                if (i + 1 < before.size() && before[i + 1] == '"')
                    ++i;
                else
                    inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
            statementStart = false;
        } else if (c == '\'') {
            return Context::Comment;
        } else if (c == ':') {
            statementStart = true;
        } else if (IsNameChar(c)) {
            size_t end = i;
            while (end < before.size() && IsNameChar(before[end])) ++end;
            if (statementStart && Upper(before.substr(i, end - i)) == "REM" && end < before.size())
                return Context::Comment;
            statementStart = false;
            i = end - 1;
        } else if (c != ' ' && c != '\t') {
            statementStart = false;
        }
    }
    return inString ? Context::String : Context::Code;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && Upper(s.substr(0, prefix.size())) == Upper(prefix);
}

// The record TYPE of the value `text` ends with (a.b, ships(i), Make(1).pos), read from
// the text itself: the line is most often being typed and is not part of the checked
// program. The chain's names from the first: a variable in scope at the line or a SUB,
// then a field of each record in turn.
std::string RecordBefore(const Analysis& a, int file, int line, const std::string& text) {
    std::vector<std::string> chain;
    size_t end = text.size();
    for (;;) {
        while (end > 0 && text[end - 1] == ' ') --end;
        if (end > 0 && text[end - 1] == ')') {  // the indexes or arguments of the name before
            int depth = 0;
            while (end > 0) {
                const char c = text[--end];
                if (c == ')') ++depth;
                if (c == '(' && --depth == 0) break;
            }
            if (depth != 0) return "";
            while (end > 0 && text[end - 1] == ' ') --end;
        }
        size_t begin = end;
        while (begin > 0 && IsNameChar(text[begin - 1])) --begin;
        if (begin == end) return "";
        chain.insert(chain.begin(), text.substr(begin, end - begin));
        end = begin;
        while (end > 0 && text[end - 1] == ' ') --end;
        if (end == 0 || text[end - 1] != '.') break;
        --end;
    }
    int symbol = a.Lookup(file, line + 1, chain[0]);
    for (size_t i = 1; symbol >= 0 && i < chain.size(); ++i)
        symbol = a.FieldOf(a.TypeNamed(a.symbols[symbol].typeName), chain[i]);
    return symbol >= 0 ? a.symbols[symbol].typeName : "";
}

json IncludeCompletion(const Analysis& a, int file, const std::string& before) {
    json items = json::array();
    const size_t quote = before.rfind('"');
    std::string head = before.substr(0, quote);
    head.erase(0, head.find_first_not_of(" \t"));
    if (Upper(head).rfind("INCLUDE", 0) != 0) return items;
    const std::string typed = before.substr(quote + 1);
    namespace fs = std::filesystem;
    const fs::path self(a.files[file].path);
    const fs::path sub = fs::path(typed).parent_path();
    std::error_code ec;
    int n = 0;
    for (auto it = fs::directory_iterator(self.parent_path() / sub, ec);
         !ec && it != fs::directory_iterator() && n < 500; it.increment(ec), ++n) {
        const fs::path& p = it->path();
        if (p == self) continue;
        const bool folder = it->is_directory(ec);
        if (!folder && p.extension() != ".bas") continue;
        std::string name = (sub / p.filename()).string() + (folder ? "/" : "");
        if (!StartsWithNoCase(name, typed)) continue;
        items.push_back({{"label", name}, {"kind", kFile}});
    }
    return items;
}

// The call the cursor is in: a name and the argument it is at. Calls written with
// parentheses are found at any depth; a statement's own command or SUB without them
// (LOADSPRITE "a.bmp", 1) when the cursor is past its name.
bool CallAt(const std::string& before, std::string& name, int& argument) {
    Sources sources;
    tvc::Diagnostics quiet(sources);
    std::vector<Token> toks = Lex(before, 0, quiet);
    struct Open {
        std::string name;
        int commas = 0;
    };
    std::vector<Open> stack;
    int statement = 0;  // index of the token starting the current statement
    for (size_t i = 0; i < toks.size(); ++i) {
        const Token& t = toks[i];
        if (t.kind == T::Newline || t.kind == T::End) break;
        if (stack.empty() && (t.kind == T::Colon || t.kind == T::Then || t.kind == T::Else)) {
            statement = static_cast<int>(i) + 1;
            continue;
        }
        if (t.kind == T::LParen) {
            Open o;
            if (i > 0 && toks[i - 1].kind == T::Name) o.name = toks[i - 1].text;
            stack.push_back(o);
        } else if (t.kind == T::RParen) {
            if (!stack.empty()) stack.pop_back();
        } else if (t.kind == T::Comma && !stack.empty()) {
            ++stack.back().commas;
        }
    }
    if (statement < static_cast<int>(toks.size()) && toks[statement].kind == T::Sub) return false;  // a SUB's own line
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        if (!it->name.empty()) {
            name = it->name;
            argument = it->commas;
            return true;
        }
    if (!stack.empty()) return false;
    // A statement-form call: NAME arg, arg, ... with the cursor past NAME and a space.
    if (statement >= static_cast<int>(toks.size()) || toks[statement].kind != T::Name) return false;
    const Token& first = toks[statement];
    // The name's end in `before`, which may hold several lines joined by continuation.
    size_t lineStart = 0;
    for (int l = 1; l < first.loc.line; ++l) lineStart = before.find('\n', lineStart) + 1;
    const size_t nameEnd = lineStart + static_cast<size_t>(first.loc.col - 1) + first.text.size();
    if (before.size() <= nameEnd) return false;
    if (statement + 1 < static_cast<int>(toks.size()) && toks[statement + 1].kind == T::Eq) return false;  // x = ...
    name = first.text;
    argument = 0;
    int depth = 0;
    for (size_t i = statement + 1; i < toks.size(); ++i) {
        if (toks[i].kind == T::LParen) ++depth;
        if (toks[i].kind == T::RParen) --depth;
        if (toks[i].kind == T::Comma && depth == 0) ++argument;
    }
    return true;
}

}  // namespace

Spot SpotAt(const Analysis& a, int file, long long line, long long character, Encoding enc) {
    Spot s;
    s.analysis = &a;
    s.file = file;
    s.encoding = enc;
    const LineIndex idx(a.files[file].text);
    s.line = static_cast<int>(std::clamp<long long>(line, 0, std::max(idx.Lines() - 1, 0)));
    const size_t lineStart = idx.Offset(s.line, 0, enc);
    s.byteCol = static_cast<int>(idx.Offset(s.line, std::max<long long>(character, 0), enc) - lineStart);
    if (line >= idx.Lines()) s.byteCol = static_cast<int>(idx.Line(s.line).size());
    return s;
}

json Diagnostics(const Analysis& a, int file, const std::vector<Problem>& problems, Encoding enc) {
    json list = json::array();
    if (file < 0) return list;
    const LineIndex idx(a.files[file].text);
    for (const Problem& p : problems)
        list.push_back({{"range", RangeOf(idx, p.at, enc)},
                        {"severity", p.warning ? 2 : 1},
                        {"source", "tolvanec"},
                        {"message", p.message}});
    return list;
}

json Completion(const Spot& at) {
    const Analysis& a = *at.analysis;
    json items = json::array();
    const LineIndex idx(a.files[at.file].text);
    const std::string before(idx.Line(at.line).substr(0, at.byteCol));
    switch (ContextOf(before)) {
        case Context::Comment: return {{"isIncomplete", false}, {"items", items}};
        case Context::String: return {{"isIncomplete", false}, {"items", IncludeCompletion(a, at.file, before)}};
        case Context::Code: break;
    }
    size_t start = before.size();
    while (start > 0 && IsNameChar(before[start - 1])) --start;
    const std::string prefix = before.substr(start);
    if (!prefix.empty() && (prefix[0] >= '0' && prefix[0] <= '9')) return {{"isIncomplete", false}, {"items", items}};
    if (start > 0 && before[start - 1] == '.') {  // a field of the record before the dot
        const int type = a.TypeNamed(RecordBefore(a, at.file, at.line, before.substr(0, start - 1)));
        for (const Symbol& s : a.symbols)
            if (type >= 0 && s.kind == Symbol::Field && s.owner == type && StartsWithNoCase(s.name, prefix))
                items.push_back({{"label", s.name},
                                 {"kind", kField},
                                 {"detail", s.Signature()},
                                 {"documentation", Markdown(Describe(a, s))}});
        return {{"isIncomplete", false}, {"items", items}};
    }
    auto add = [&](const std::string& label, int kind, const std::string& detail, const std::string& doc,
                   const char* group) {
        if (!StartsWithNoCase(label, prefix)) return;
        json item = {{"label", label}, {"kind", kind}, {"sortText", std::string(group) + Upper(label)}};
        // Names are the same in any case: a command or keyword completes in lower case
        // when that is how it is being typed (clients that match case see it then too).
        if (Lower(prefix) == prefix && Upper(prefix) != prefix && Upper(label) == label) {
            item["insertText"] = Lower(label);
            item["filterText"] = Lower(label);
        }
        if (!detail.empty()) item["detail"] = detail;
        if (!doc.empty()) item["documentation"] = Markdown(doc);
        items.push_back(std::move(item));
    };
    // Names of the program visible here: the SUB's own locals and parameters, globals, SUBs.
    const int sub = a.SubAt(at.file, at.line + 1);
    for (const Symbol& s : a.symbols) {
        if ((s.kind == Symbol::Local || s.kind == Symbol::Param) && s.owner != sub) continue;
        if (s.kind == Symbol::Field) continue;
        const int kind = s.kind == Symbol::Sub     ? kFunction
                         : s.kind == Symbol::Type  ? kStruct
                         : s.kind == Symbol::Const ? kConstant
                                                   : kVariable;
        // The line being typed is not a declaration yet.
        if (s.at.file == at.file && s.at.line == at.line + 1 && s.at.col - 1 == static_cast<int>(start)) continue;
        add(s.name, kind, s.Signature(), Describe(a, s), "0");
    }
    for (const std::string& name : CommandNames()) {
        const std::vector<CommandForm>& forms = CommandForms(name);
        add(name, kFunction,
            forms[0].signature + (forms.size() > 1 ? "  (+" + std::to_string(forms.size() - 1) + ")" : ""),
            CommandText(forms), "1");
    }
    for (const std::string& k : Keywords()) add(k, kKeyword, "", "", "2");
    return {{"isIncomplete", false}, {"items", items}};
}

json Hover(const Spot& at) {
    const Analysis& a = *at.analysis;
    const Use* u = a.UseAt(at.file, at.line + 1, at.byteCol + 1);
    if (!u) return nullptr;
    std::string text;
    switch (u->what) {
        case Use::OfCommand: text = CommandText(CommandForms(u->name)); break;
        case Use::OfSymbol: {
            const Symbol& s = a.symbols[u->symbol];
            text = Code(s.Signature()) + "\n" + Describe(a, s);
            break;
        }
        case Use::OfInclude:
            text = u->includedFile >= 0 ? "`" + u->includedPath + "`" : "`" + u->includedPath + "` cannot be read";
            break;
    }
    const LineIndex idx(a.files[at.file].text);
    return {{"contents", Markdown(text)}, {"range", RangeOf(idx, u->at, at.encoding)}};
}

json Definition(const Spot& at) {
    const Analysis& a = *at.analysis;
    const Use* u = a.UseAt(at.file, at.line + 1, at.byteCol + 1);
    if (!u) return nullptr;
    if (u->what == Use::OfInclude) {
        if (u->includedFile < 0) return nullptr;
        const json start = {{"line", 0}, {"character", 0}};
        return {{"uri", at.uriOf(u->includedPath)}, {"range", {{"start", start}, {"end", start}}}};
    }
    if (u->what != Use::OfSymbol) return nullptr;
    const Symbol& s = a.symbols[u->symbol];
    const LineIndex idx(a.files[s.at.file].text);
    return {{"uri", at.uriOf(a.files[s.at.file].path)}, {"range", RangeOf(idx, s.at, at.encoding)}};
}

json SignatureHelp(const Spot& at) {
    const Analysis& a = *at.analysis;
    const LineIndex idx(a.files[at.file].text);
    const std::string here(idx.Line(at.line).substr(0, at.byteCol));
    if (ContextOf(here) != Context::Code) return nullptr;
    // The statement from its first line: lines before that end in " _" continue into this one.
    std::string before = here;
    for (int l = at.line - 1; l >= 0 && l > at.line - 64; --l) {
        std::string prev(idx.Line(l));
        if (const size_t q = prev.find('\'');
            q != std::string::npos && ContextOf(prev.substr(0, q + 1)) == Context::Comment)
            prev.resize(q);
        while (!prev.empty() && (prev.back() == ' ' || prev.back() == '\t')) prev.pop_back();
        if (prev.size() < 2 || prev.back() != '_' || (prev[prev.size() - 2] != ' ' && prev[prev.size() - 2] != '\t'))
            break;
        before = std::string(idx.Line(l)) + "\n" + before;
    }
    std::string name;
    int argument = 0;
    if (!CallAt(before, name, argument)) return nullptr;
    std::vector<CommandForm> forms = CommandForms(name);
    for (const Symbol& s : a.symbols)
        if (s.kind == Symbol::Sub && Upper(s.name) == Upper(name)) forms = {SubForm(s)};
    if (forms.empty()) return nullptr;
    json signatures = json::array();
    int active = -1;
    for (size_t i = 0; i < forms.size(); ++i) {
        const CommandForm& f = forms[i];
        json params = json::array();
        for (const auto& [begin, end] : f.paramSpans) params.push_back({{"label", {begin, end}}});
        json sig = {{"label", f.signature}, {"parameters", params}};
        if (!f.doc.empty()) sig["documentation"] = Markdown(f.doc);
        signatures.push_back(std::move(sig));
        if (active < 0 && argument < static_cast<int>(f.paramSpans.size())) active = static_cast<int>(i);
    }
    return {{"signatures", signatures}, {"activeSignature", std::max(active, 0)}, {"activeParameter", argument}};
}

json DocumentSymbols(const Analysis& a, int file, bool hierarchical, Encoding enc, const std::string& uri) {
    json list = json::array();
    if (file < 0) return list;
    const LineIndex idx(a.files[file].text);
    auto kindOf = [](const Symbol& s) {
        switch (s.kind) {
            case Symbol::Sub: return kSymFunction;
            case Symbol::Type: return kSymStruct;
            case Symbol::Field: return kSymField;
            case Symbol::Const: return kSymConstant;
            default: return s.isArray ? kSymArray : kSymVariable;
        }
    };
    auto whole = [&](const Symbol& s) {
        return json{{"start", Position(idx, s.line - 1, s.col - 1, enc)},
                    {"end", Position(idx, s.endLine - 1, s.endCol - 1, enc)}};
    };
    auto make = [&](const Symbol& s) {
        if (!hierarchical) {
            json info = {{"name", s.name}, {"kind", kindOf(s)}, {"location", {{"uri", uri}, {"range", whole(s)}}}};
            if (s.owner >= 0) info["containerName"] = a.symbols[s.owner].name;
            return info;
        }
        return json{{"name", s.name},
                    {"kind", kindOf(s)},
                    {"detail", s.Signature()},
                    {"range", whole(s)},
                    {"selectionRange", RangeOf(idx, s.at, enc)},
                    {"children", json::array()}};
    };
    std::map<int, size_t> placed;  // symbol -> its place in `list` (for children)
    for (size_t i = 0; i < a.symbols.size(); ++i) {
        const Symbol& s = a.symbols[i];
        if (s.at.file != file) continue;
        if (hierarchical && s.owner >= 0) {
            auto it = placed.find(s.owner);
            if (it != placed.end()) {
                list[it->second]["children"].push_back(make(s));
                continue;
            }
        }
        if (s.kind == Symbol::Sub || s.kind == Symbol::Type) placed[static_cast<int>(i)] = list.size();
        list.push_back(make(s));
    }
    return list;
}

}  // namespace tvc::lsp
