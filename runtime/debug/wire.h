// The lines between a debug build's agent and the debugger that drives it (tolvanec
// dap): one message a line, its fields separated by tabs, with tabs, line ends and
// backslashes within a field written as \t, \n, \r and \\. Both sides include this.
#pragma once

#include <string>
#include <vector>

namespace dbg {

// A message's fields as one line, with its end.
inline std::string JoinLine(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += '\t';
        for (char c : fields[i]) {
            switch (c) {
                case '\t': line += "\\t"; break;
                case '\n': line += "\\n"; break;
                case '\r': line += "\\r"; break;
                case '\\': line += "\\\\"; break;
                default: line += c;
            }
        }
    }
    return line + '\n';
}

// A line (without its end) as its fields; there is always at least one.
inline std::vector<std::string> SplitLine(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace dbg
