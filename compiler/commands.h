// The runtime's commands as the compiler looks them up: every form of a command by its
// BASIC name, from the command table built into tolvanec (runtime/commands.tsv).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "command_table.h"

namespace tvc {

class CommandTable {
public:
    static const CommandTable& BuiltIn();
    // Reads the table's text; its problems go to `errors`.
    static CommandTable FromText(const std::string& text, std::vector<std::string>& errors);
    CommandTable(CommandTable&&) = default;
    CommandTable& operator=(CommandTable&&) = default;
    CommandTable(const CommandTable&) = delete;
    CommandTable& operator=(const CommandTable&) = delete;

    // The forms of a command by its BASIC name (any case); empty when there is none.
    const std::vector<const cmdtable::Command*>& Forms(const std::string& basicName) const;
    // Every command's BASIC name, upper case.
    std::vector<std::string> Names() const;

private:
    CommandTable() = default;
    std::vector<cmdtable::Command> commands_;  // never changes once the index is made
    std::map<std::string, std::vector<const cmdtable::Command*>> byName_;
};

}  // namespace tvc
