// The text form of the command table (runtime/commands.tsv), read the same way by
// commandgen, which checks the table and makes the command reference, and by tolvanec,
// which compiles BASIC calls against it.
#pragma once

#include <string>
#include <vector>

namespace cmdtable {

// Takes a carriage return off the line's end; false for a comment or an empty line.
inline bool ContentLine(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return !line.empty() && line[0] != '#';
}

inline std::vector<std::string> Split(const std::string& s, const std::string& sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        if (at == std::string::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, at - start));
        start = at + sep.size();
    }
}

// The columns of a line, separated by one tab each.
inline std::vector<std::string> Columns(const std::string& line) { return Split(line, "\t"); }

struct ArgText {
    std::string name, kind;  // kind without the '?'
    bool optional = false;
    bool wellFormed = true;  // false: the item is not NAME:KIND
};

// The arguments column: "-" for none, else NAME:KIND items separated by ", "; a KIND
// ending in '?' marks an argument that may be left out.
inline std::vector<ArgText> Arguments(const std::string& field) {
    std::vector<ArgText> args;
    if (field == "-") return args;
    for (const std::string& item : Split(field, ", ")) {
        ArgText a;
        const size_t colon = item.find(':');
        a.wellFormed = colon != std::string::npos;
        a.name = item.substr(0, colon);
        if (a.wellFormed) a.kind = item.substr(colon + 1);
        if (!a.kind.empty() && a.kind.back() == '?') {
            a.optional = true;
            a.kind.pop_back();
        }
        args.push_back(a);
    }
    return args;
}

}  // namespace cmdtable
