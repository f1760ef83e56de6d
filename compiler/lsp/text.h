// Internal: documents as the editor sees them: file URIs, and positions counted in the
// encoding the client and server agreed on (UTF-16 code units unless the client
// offers UTF-8 or UTF-32), against the front end's byte columns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tvc::lsp {

enum class Encoding { Utf8, Utf16, Utf32 };

// "file:///a%20b/c.bas" -> "/a b/c.bas"; "" for other schemes or a malformed URI.
std::string UriToPath(const std::string& uri);
std::string PathToUri(const std::string& path);

// A text with its line starts, for moving between byte offsets and positions.
class LineIndex {
public:
    explicit LineIndex(const std::string& text);
    int Lines() const { return static_cast<int>(starts_.size()); }
    // The bytes of line `line` (from 0) without its line end.
    std::string_view Line(int line) const;
    // The byte offset of a position (line from 0, character in `enc` units), clamped to
    // the text: a line beyond the last is the end, a character beyond the line its end.
    size_t Offset(int line, long long character, Encoding enc) const;
    // The character (in `enc` units) of a byte column (from 0) of line `line` (from 0).
    int Character(int line, int byteCol, Encoding enc) const;

private:
    const std::string& text_;
    std::vector<size_t> starts_;
};

// Replaces bytes [from, to) of `text` by `with`.
void Splice(std::string& text, size_t from, size_t to, const std::string& with);

}  // namespace tvc::lsp
