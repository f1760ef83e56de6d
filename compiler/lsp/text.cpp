// File URIs and positions in the agreed encoding (see text.h).
#include "text.h"

#include <algorithm>

namespace tvc::lsp {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The length of the UTF-8 sequence starting at s[i] (1 for a byte that starts none).
size_t SequenceLength(std::string_view s, size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + n > s.size()) return 1;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

// Units one sequence takes in the encoding.
int Units(size_t sequence, Encoding enc) {
    switch (enc) {
        case Encoding::Utf8: return static_cast<int>(sequence);
        case Encoding::Utf16: return sequence == 4 ? 2 : 1;
        case Encoding::Utf32: return 1;
    }
    return 1;
}

}  // namespace

std::string UriToPath(const std::string& uri) {
    const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0) return "";
    std::string rest = uri.substr(scheme.size());
    if (rest.compare(0, 9, "localhost") == 0) rest = rest.substr(9);
    if (rest.empty() || rest[0] != '/') return "";
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '?' || rest[i] == '#') break;
        if (rest[i] == '%') {
            const int hi = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
            const int lo = hi >= 0 ? HexValue(rest[i + 2]) : -1;
            if (lo < 0) return "";
            const char c = static_cast<char>(hi * 16 + lo);
            if (c == '\0') return "";
            path += c;
            i += 2;
            continue;
        }
        path += rest[i];
    }
    return path;
}

std::string PathToUri(const std::string& path) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                           c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

LineIndex::LineIndex(const std::string& text) : text_(text) {
    starts_.push_back(0);
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') starts_.push_back(i + 1);
}

std::string_view LineIndex::Line(int line) const {
    if (line < 0 || line >= Lines()) return {};
    size_t begin = starts_[line];
    size_t end = line + 1 < Lines() ? starts_[line + 1] - 1 : text_.size();
    if (end > begin && text_[end - 1] == '\r') --end;
    return std::string_view(text_).substr(begin, end - begin);
}

size_t LineIndex::Offset(int line, long long character, Encoding enc) const {
    if (line < 0) return 0;
    if (line >= Lines()) return text_.size();
    std::string_view l = Line(line);
    size_t i = 0;
    long long units = 0;
    while (i < l.size() && units < character) {
        const size_t n = SequenceLength(l, i);
        units += Units(n, enc);
        i += n;
    }
    return starts_[line] + i;
}

int LineIndex::Character(int line, int byteCol, Encoding enc) const {
    std::string_view l = Line(line);
    const size_t stop = std::min(static_cast<size_t>(std::max(byteCol, 0)), l.size());
    int units = 0;
    size_t i = 0;
    while (i < stop) {
        const size_t n = SequenceLength(l, i);
        units += Units(n, enc);
        i += n;
    }
    // A column past the line's end (the end of the file) counts bytes from there.
    return units + std::max(0, byteCol - static_cast<int>(std::max(i, l.size())));
}

void Splice(std::string& text, size_t from, size_t to, const std::string& with) {
    from = std::min(from, text.size());
    to = std::clamp(to, from, text.size());
    text.replace(from, to - from, with);
}

}  // namespace tvc::lsp
