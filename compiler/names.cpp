#include "names.h"

#include <iterator>
#include <set>

namespace tvc {

namespace {

const char* const kReserved[] = {
// Every macro name of the runtime's public header, as the build lists them.
#include "reserved_names.inc"
    // C++ keywords and alternative tokens, names with a special meaning, and the names
    // the translation uses unqualified.
    "alignas",     "alignof",   "and",        "and_eq",    "asm",      "auto",         "bitand",
    "bitor",       "bool",      "break",      "case",      "catch",    "char",         "char8_t",
    "char16_t",    "char32_t",  "class",      "compl",     "concept",  "const",        "consteval",
    "constexpr",   "constinit", "const_cast", "continue",  "co_await", "co_return",    "co_yield",
    "decltype",    "default",   "delete",     "do",        "double",   "dynamic_cast", "else",
    "enum",        "explicit",  "export",     "extern",    "false",    "float",        "for",
    "friend",      "goto",      "if",         "inline",    "int",      "long",         "mutable",
    "namespace",   "new",       "noexcept",   "not",       "not_eq",   "nullptr",      "operator",
    "or",          "or_eq",     "private",    "protected", "public",   "register",     "reinterpret_cast",
    "requires",    "return",    "short",      "signed",    "sizeof",   "static",       "static_assert",
    "static_cast", "struct",    "switch",     "template",  "this",     "thread_local", "throw",
    "true",        "try",       "typedef",    "typeid",    "typename", "union",        "unsigned",
    "using",       "virtual",   "void",       "volatile",  "wchar_t",  "while",        "xor",
    "xor_eq",      "main",      "std",        "final",     "override", "import",       "module",
};

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string CppName(const std::string& basic) {
    static const std::set<std::string> reserved(std::begin(kReserved), std::end(kReserved));
    if (!basic.empty() && basic.back() == '$') {
        const std::string c = basic.substr(0, basic.size() - 1) + "_Str";
        return reserved.count(c) ? "__tvs_" + c : c;
    }
    return EndsWith(basic, "_Str") || reserved.count(basic) ? "__tv_" + basic : basic;
}

std::string CppTypeName(const std::string& basic) { return "__tvt_" + basic; }

}  // namespace tvc
