#include "commands.h"

#include "front.h"

namespace tvc {

extern const char* const kCommandTableText;  // commands_table.cpp, made by the build

CommandTable CommandTable::FromText(const std::string& text, std::vector<std::string>& errors) {
    cmdtable::Table read = cmdtable::Read(text, "command table");
    CommandTable table;
    table.commands_ = std::move(read.commands);
    errors = std::move(read.errors);
    for (const cmdtable::Command& c : table.commands_) table.byName_[Upper(c.basic)].push_back(&c);
    return table;
}

const CommandTable& CommandTable::BuiltIn() {
    static const CommandTable table = [] {
        std::vector<std::string> errors;
        return FromText(kCommandTableText, errors);
    }();
    return table;
}

const std::vector<const cmdtable::Command*>& CommandTable::Forms(const std::string& basicName) const {
    static const std::vector<const cmdtable::Command*> none;
    auto it = byName_.find(Upper(basicName));
    return it == byName_.end() ? none : it->second;
}

std::vector<std::string> CommandTable::Names() const {
    std::vector<std::string> names;
    for (const auto& [name, forms] : byName_) names.push_back(name);
    return names;
}

}  // namespace tvc
