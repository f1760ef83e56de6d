// The program's source files and what is wrong with them: positions, errors and
// warnings, and their report text.
#pragma once

#include <string>
#include <vector>

namespace tvc {

struct Loc {
    int file = 0;    // index into Sources::files
    int line = 1;    // from 1
    int col = 1;     // from 1, in bytes
    int length = 0;  // bytes of the token or name found there (0: none, as at a line's end)
    // The same place; the lengths of what stands there do not matter.
    bool operator==(const Loc& o) const { return file == o.file && line == o.line && col == o.col; }
};

struct SourceFile {
    std::string name;  // as the user named it (for reports)
    std::string path;  // as opened
    std::string text;
};

struct Sources {
    std::vector<SourceFile> files;
    // Line `line` (from 1) of a file, without its line end.
    std::string LineText(int file, int line) const;
};

enum class Severity { Error, Warning };

struct Diagnostic {
    Loc loc;
    Severity severity = Severity::Error;
    std::string message;
};

class Diagnostics {
public:
    static constexpr int kMaxErrors = 50;
    static constexpr int kMaxWarnings = 50;
    explicit Diagnostics(const Sources& sources) : sources_(sources) {}
    void Error(Loc loc, const std::string& message);
    void Warning(Loc loc, const std::string& message);
    // Errors only: a program with warnings and no errors is translated. A second
    // error at the place of the error before it is dropped: it only follows from it.
    int Count() const { return errors_; }
    int WarningCount() const { return warnings_; }
    bool Full() const { return errors_ >= kMaxErrors; }
    // Every report in the order found.
    const std::vector<Diagnostic>& Items() const { return items_; }
    // Every report in file and line order: "file:line:col: error: message" (or
    // "warning:"), the line, a caret under the column. A line longer than 120
    // characters shows only its first 60 and "...", the caret under the "..." when the
    // column lies beyond.
    std::string Text() const;

private:
    const Sources& sources_;
    std::vector<Diagnostic> items_;
    int errors_ = 0, warnings_ = 0;
    Loc lastError_{-1, 0, 0};
};

}  // namespace tvc
