// The runtime's command table, built into the compiler from runtime/commands.tsv.
#include <sstream>

#include "command_table_text.h"
#include "front.h"

namespace tvc {

extern const char* const kCommandTableText;  // commands_table.cpp, made by the build

namespace {

bool KindFromText(const std::string& text, ArgKind& kind) {
    static const std::pair<const char*, ArgKind> kKinds[] = {
        {"number", ArgKind::Number},           {"string", ArgKind::String},
        {"number-out", ArgKind::NumberOut},    {"string-out", ArgKind::StringOut},
        {"number-array", ArgKind::NumberArray}, {"string-array", ArgKind::StringArray},
    };
    for (const auto& [name, k] : kKinds)
        if (text == name) {
            kind = k;
            return true;
        }
    return false;
}

}  // namespace

const char* ArgKindText(ArgKind kind) {
    switch (kind) {
    case ArgKind::Number: return "a number";
    case ArgKind::String: return "a string";
    case ArgKind::NumberOut: return "a number variable";
    case ArgKind::StringOut: return "a string variable";
    case ArgKind::NumberArray: return "a number array";
    case ArgKind::StringArray: return "a string array";
    }
    return "?";
}

CommandTable CommandTable::FromText(const std::string& text, std::vector<std::string>& errors) {
    CommandTable table;
    std::istringstream in(text);
    std::string line;
    bool header = false;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!cmdtable::ContentLine(line)) continue;
        if (!header) {  // the column names
            header = true;
            continue;
        }
        std::vector<std::string> cols = cmdtable::Columns(line);
        if (cols.size() < 4) {
            errors.push_back("command table line " + std::to_string(lineNo) + ": too few columns");
            continue;
        }
        auto c = std::make_unique<Command>();
        c->basic = cols[0];
        c->cpp = cols[1];
        c->returnsString = cols[3] == "string";
        for (const cmdtable::ArgText& item : cmdtable::Arguments(cols[2])) {
            CommandArg a;
            a.name = item.name;
            a.optional = item.optional;
            if (!KindFromText(item.kind, a.kind))
                errors.push_back("command table line " + std::to_string(lineNo) + ": unknown kind '" + item.kind + "'");
            c->args.push_back(a);
        }
        table.byName_[Upper(c->basic)].push_back(c.get());
        table.commands_.push_back(std::move(c));
    }
    return table;
}

const CommandTable& CommandTable::BuiltIn() {
    static const CommandTable table = [] {
        std::vector<std::string> errors;
        return FromText(kCommandTableText, errors);
    }();
    return table;
}

const std::vector<const Command*>& CommandTable::Forms(const std::string& basicName) const {
    static const std::vector<const Command*> none;
    auto it = byName_.find(Upper(basicName));
    return it == byName_.end() ? none : it->second;
}

std::vector<std::string> CommandTable::Names() const {
    std::vector<std::string> names;
    for (const auto& [name, forms] : byName_) names.push_back(name);
    return names;
}

}  // namespace tvc
