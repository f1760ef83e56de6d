#include "touch_keys.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace tvc {
namespace {

constexpr int kMostTouchKeys = 12;

// The browser's code of a key (KeyboardEvent.code) by its name; empty when unknown.
std::string BrowserCode(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, const char*> kNamed[] = {
        {"up", "ArrowUp"},          {"down", "ArrowDown"},  {"left", "ArrowLeft"},   {"right", "ArrowRight"},
        {"space", "Space"},         {"return", "Enter"},    {"enter", "Enter"},      {"tab", "Tab"},
        {"backspace", "Backspace"}, {"shift", "ShiftLeft"}, {"ctrl", "ControlLeft"}, {"alt", "AltLeft"}};
    for (const auto& [n, code] : kNamed)
        if (name == n) return code;
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z')
        return std::string("Key") + static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return std::string("Digit") + name;
    return {};
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::string Join(const std::vector<std::string>& codes) {
    std::string out;
    for (const std::string& c : codes) out += (out.empty() ? "" : ",") + c;
    return out;
}

}  // namespace

bool ParseTouchKeys(const std::string& list, std::string& page, std::string& error) {
    const size_t slash = list.find('/');
    if (slash != std::string::npos && list.find('/', slash + 1) != std::string::npos) {
        error = "one '/' at most (left side / right side)";
        return false;
    }
    std::vector<std::string> sides[2], seen;
    for (int side = 0; side < 2; ++side) {
        if (side == 1 && slash == std::string::npos) break;
        const std::string part = slash == std::string::npos ? list
                                 : side == 0                ? list.substr(0, slash)
                                                            : list.substr(slash + 1);
        size_t from = 0;
        for (;;) {
            const size_t comma = part.find(',', from);
            const std::string name = Trim(part.substr(from, comma == std::string::npos ? comma : comma - from));
            const std::string code = BrowserCode(name);
            if (code.empty()) {
                error = name.empty() ? "a key name is missing" : "unknown key '" + name + "'";
                return false;
            }
            if (std::find(seen.begin(), seen.end(), code) != seen.end()) {
                error = "'" + name + "' is named twice";
                return false;
            }
            seen.push_back(code);
            // Without a '/', the arrows on the left and the rest on the right.
            const bool left = slash != std::string::npos ? side == 0 : code.rfind("Arrow", 0) == 0;
            sides[left ? 0 : 1].push_back(code);
            if (comma == std::string::npos) break;
            from = comma + 1;
        }
    }
    if (seen.size() > kMostTouchKeys) {
        error = "at most 12 keys";
        return false;
    }
    page = Join(sides[0]) + "/" + Join(sides[1]);
    return true;
}

}  // namespace tvc
