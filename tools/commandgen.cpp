// commandgen: reads the command table (runtime/commands.tsv) and writes
//   - a C++ source that checks every line of the table against the runtime's real
//     declaration at compile time (the build compiles it, so a wrong line stops the build),
//   - commands.md, the command reference, one table per subsystem.
//
//   commandgen TABLE OUT.cpp OUT.md [NOTES.md]
//                                            write both files; the reference ends with
//                                            the hand-written notes, when given
//   commandgen --check TABLE COMMITTED.md GENERATED.md
//                                            exit 1 with a message when the committed
//                                            reference differs from what TABLE gives
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command_table.h"

namespace {

using cmdtable::Command;

struct Table {
    std::string path;
    std::vector<Command> commands;
    std::vector<std::string> errors;
};

Table readTable(const std::string& path) {
    Table t;
    t.path = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        t.errors.push_back(path + ": cannot be read");
        return t;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    cmdtable::Table read = cmdtable::Read(text, path);
    t.commands = std::move(read.commands);
    t.errors = std::move(read.errors);
    return t;
}

const char* cppType(cmdtable::ArgKind kind) { return cmdtable::Info(kind).cppType; }

std::string resultType(const Command& c) { return c.ReturnsString() ? "DQStr" : "double"; }

// Escapes a string for a C++ string literal.
std::string literal(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string generateCpp(const Table& t) {
    std::ostringstream o;
    o << "// Made by commandgen from "
      << "commands.tsv"
      << "; do not edit.\n"
      << "// Every line of the command table is checked here against the runtime's declaration:\n"
      << "// the exact signature (which also picks the right overload), that each optional\n"
      << "// argument may really be left out, and that each required one may not.\n";
    // Programs include only the public header; every command must be declared there.
    o << "#include \"tolvane.h\"\n";
    o << "\n#include <utility>\n\nnamespace tolvane_command_table {\n\n"
      << "// Makes a type depend on D, so that a failed check is a false concept rather than\n"
      << "// a hard error, and the build can say which table line is wrong.\n"
      << "template <class T, class D> struct dep { using type = T; };\n"
      << "\n";
    int n = 0;
    for (const Command& c : t.commands) {
        ++n;
        std::string params;
        for (size_t i = 0; i < c.args.size(); ++i) params += (i ? ", " : "") + std::string(cppType(c.args[i].kind));
        std::string sig = resultType(c) + "(" + params + ")";
        std::string where = t.path + ":" + std::to_string(c.line) + ": " + c.BasicForm() + " -> " + c.result;
        o << "// " << where << "\n";
        o << "template <class D> concept sig" << n << " = requires { static_cast<typename dep<" << sig
          << ", D>::type*>(&::" << c.cpp << "); };\n";
        o << "static_assert(sig" << n << "<void>, "
          << literal(where + ": no declaration of " + c.cpp + " has the type " + sig) << ");\n";
        size_t required = 0;
        while (required < c.args.size() && !c.args[required].optional) ++required;
        // Calls with the first `count` arguments: the argument types are a template pack,
        // so a call that does not resolve makes the concept false instead of an error.
        std::string call = "call" + std::to_string(n);
        if (!c.args.empty())
            o << "template <class... A> concept " << call << " = requires { ::" << c.cpp
              << "(std::declval<A>()...); };\n";
        auto argTypes = [&](size_t count) {
            std::string s;
            for (size_t i = 0; i < count; ++i) s += (i ? ", " : "") + std::string(cppType(c.args[i].kind));
            return s;
        };
        for (size_t count = required; count < c.args.size(); ++count)
            o << "static_assert(" << call << "<" << argTypes(count) << ">, "
              << literal(where + ": " + c.cpp + " cannot be called without its optional argument '" +
                         c.args[count].name + "'")
              << ");\n";
        if (required > 0)
            o << "static_assert(!" << call << "<" << argTypes(required - 1) << ">, "
              << literal(where + ": " + c.cpp + " can be called without '" + c.args[required - 1].name +
                         "', so the table must mark it optional")
              << ");\n";
    }
    o << "\n}  // namespace tolvane_command_table\n";
    return o.str();
}

std::string escapeCell(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

std::string generateMarkdown(const Table& t, const std::string& notes) {
    std::ostringstream o;
    o << "# Tolvane BASIC commands\n\n"
      << "Every command of the runtime, made from `runtime/commands.tsv` by `tools/commandgen`;\n"
      << "edit the table, not this file. In the forms below `name$` is a string, a plain name a\n"
      << "number, `name()` a number array and `name$()` a string array; `out` marks a variable the\n"
      << "command writes into, and `[...]` an argument that may be left out. A description that\n"
      << "starts with \"Extension:\" marks a command this runtime adds to the classic command set.\n"
      << "How some commands behave in more detail is told under \"Notes\" at the end.\n";
    for (const std::string& subsystem : cmdtable::Subsystems()) {
        bool any = false;
        for (const Command& c : t.commands) any = any || c.subsystem == subsystem;
        if (!any) continue;
        o << "\n## " << subsystem << "\n\n| command | result | what it does |\n|---|---|---|\n";
        for (const Command& c : t.commands)
            if (c.subsystem == subsystem)
                o << "| `" << escapeCell(c.BasicForm()) << "` | " << c.result << " | " << escapeCell(c.doc) << " |\n";
    }
    if (!notes.empty()) o << "\n" << notes;
    return o.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "commandgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool reportErrors(const Table& t) {
    for (const std::string& e : t.errors) std::fprintf(stderr, "%s\n", e.c_str());
    return t.errors.empty();
}

}  // namespace

// The public header (tolvane.h beside the table) must include the header of every
// command, so that a program reaches them all through it.
bool publicHeaderIncludesAll(const std::string& tablePath, const Table& t) {
    const size_t slash = tablePath.find_last_of('/');
    const std::string path =
        (slash == std::string::npos ? std::string() : tablePath.substr(0, slash + 1)) + "tolvane.h";
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool ok = in.is_open();
    if (!ok) std::fprintf(stderr, "%s: cannot read the public header\n", path.c_str());
    std::set<std::string> missing;
    for (const Command& c : t.commands)
        if (ok && text.find("#include \"" + c.header + "\"") == std::string::npos) missing.insert(c.header);
    for (const std::string& h : missing) std::fprintf(stderr, "%s: does not include %s\n", path.c_str(), h.c_str());
    return ok && missing.empty();
}

// The hand-written notes that end the reference; empty when no file is named.
bool readNotes(int argc, char** argv, int index, std::string& notes) {
    notes.clear();
    if (argc <= index) return true;
    std::ifstream in(argv[index], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "commandgen: cannot read %s\n", argv[index]);
        return false;
    }
    notes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int main(int argc, char** argv) {
    std::string notes;
    if ((argc == 5 || argc == 6) && std::string(argv[1]) == "--check") {
        Table t = readTable(argv[2]);
        if (!reportErrors(t) || !readNotes(argc, argv, 5, notes)) return 1;
        std::ifstream in(argv[3], std::ios::binary);
        std::string committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.is_open() || committed != generateMarkdown(t, notes)) {
            std::fprintf(stderr,
                         "%s is not the reference that %s gives.\n"
                         "Refresh it: build, then copy %s over it and commit both.\n",
                         argv[3], argv[2], argv[4]);
            return 1;
        }
        std::printf("%s matches %s (%zu commands)\n", argv[3], argv[2], t.commands.size());
        return 0;
    }
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: commandgen TABLE OUT.cpp OUT.md [NOTES.md]\n"
                     "       commandgen --check TABLE COMMITTED.md GENERATED.md [NOTES.md]\n");
        return 2;
    }
    Table t = readTable(argv[1]);
    if (!reportErrors(t) || !publicHeaderIncludesAll(argv[1], t) || !readNotes(argc, argv, 4, notes)) return 1;
    if (!writeFile(argv[2], generateCpp(t)) || !writeFile(argv[3], generateMarkdown(t, notes))) return 1;
    return 0;
}
