// Source lines and the reports about them.
#include <algorithm>
#include <tuple>

#include "source.h"

namespace tvc {

namespace {

// A line longer than this is shown only by its start, so that a report of a
// machine-made or runaway line does not flood the terminal.
constexpr size_t kLongLine = 120;
constexpr size_t kShownStart = 60;

}  // namespace

std::string Sources::LineText(int file, int line) const {
    if (file < 0 || file >= static_cast<int>(files.size())) return "";
    const std::string& t = files[file].text;
    size_t at = 0;
    for (int l = 1; l < line; ++l) {
        at = t.find('\n', at);
        if (at == std::string::npos) return "";
        ++at;
    }
    size_t end = t.find('\n', at);
    std::string s = t.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!s.empty() && s.back() == '\r') s.pop_back();
    return s;
}

void Diagnostics::Error(Loc loc, const std::string& message) {
    if (Full()) return;
    // A second error at the same place only follows from the first.
    if (lastError_ == loc) return;
    lastError_ = loc;
    items_.push_back({loc, Severity::Error, message});
    ++errors_;
}

void Diagnostics::Warning(Loc loc, const std::string& message) {
    if (warnings_ >= kMaxWarnings) return;
    items_.push_back({loc, Severity::Warning, message});
    ++warnings_;
}

std::string Diagnostics::Text() const {
    // In the order of the files and lines, whatever order the passes found them in.
    std::vector<Diagnostic> sorted = items_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return std::tie(a.loc.file, a.loc.line, a.loc.col) < std::tie(b.loc.file, b.loc.line, b.loc.col);
    });
    std::string all;
    for (const Diagnostic& d : sorted) {
        const bool known = d.loc.file >= 0 && d.loc.file < static_cast<int>(sources_.files.size());
        const std::string name = known ? sources_.files[d.loc.file].name : "?";
        std::string line = sources_.LineText(d.loc.file, d.loc.line);
        size_t shown = line.size();
        if (shown > kLongLine) {
            shown = kShownStart;  // not inside a UTF-8 sequence
            while (shown > 0 && (static_cast<unsigned char>(line[shown]) & 0xC0) == 0x80) --shown;
            line = line.substr(0, shown) + "...";
        }
        // The caret stands under the column, or under the "..." when the column lies beyond.
        std::string caret;
        for (int i = 0; i + 1 < d.loc.col && i < static_cast<int>(shown); ++i) caret += line[i] == '\t' ? '\t' : ' ';
        // Control bytes other than tabs would garble the terminal.
        for (char& c : line)
            if (static_cast<unsigned char>(c) < 32 && c != '\t') c = '?';
        all += name + ":" + std::to_string(d.loc.line) + ":" + std::to_string(d.loc.col) +
               (d.severity == Severity::Error ? ": error: " : ": warning: ") + d.message + "\n    " + line + "\n    " +
               caret + "^\n";
    }
    if (Full()) all += "(stopped after " + std::to_string(kMaxErrors) + " errors)\n";
    return all;
}

}  // namespace tvc
