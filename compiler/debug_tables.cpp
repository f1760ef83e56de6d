#include "debug_tables.h"

namespace tvc {

namespace {

// BASIC names hold letters, digits, '_' and '$': they need no escapes as C++ literals.
std::string Literal(const std::string& name) { return "\"" + name + "\""; }

std::string TypeTable(const Record& r) { return "__dbgT" + r.cpp; }

std::string TypeOf(Ty t) {
    switch (t.base) {
        case Ty::Str: return "&::__kDbgString";
        case Ty::Rec: return "&" + TypeTable(*t.rec);
        default: return "&::__kDbgNumber";
    }
}

std::string Name(const std::string& name, Ty type, bool isArray) {
    return "{" + Literal(name) + ", " + TypeOf(type) + ", " + (isArray ? "true" : "false") + "}";
}

// `names` and `places` of the variables as C++ arrays, or null pointers when there are none.
void Variables(const std::vector<const Var*>& vars, const std::string& prefix, std::string& out, std::string& names,
               std::string& places) {
    if (vars.empty()) {
        names = places = "nullptr";
        return;
    }
    names = prefix + "Names";
    places = prefix + "Places";
    out += "static const ::__DbgName " + names + "[] = {";
    for (size_t i = 0; i < vars.size(); ++i)
        out += (i ? ", " : "") + Name(vars[i]->name, vars[i]->type, vars[i]->isArray);
    out += "};\n";
}

}  // namespace

std::string DebugProgramTables(const Program& program, const std::vector<std::string>& quotedFiles) {
    std::string out = "// For the debugger: the TYPEs, the globals and the source files.\n";
    for (const auto& r : program.types) {  // a TYPE after the TYPEs its fields hold
        std::string fields = "nullptr";
        if (!r->fields.empty()) {
            fields = "__dbgF" + r->cpp;
            out += "static const ::__DbgField " + fields + "[] = {\n";
            for (const auto& f : r->fields)
                out += "    {" + Name(f->name, f->type, f->isArray) + ", [](void* r) -> void* { return &static_cast<" +
                       r->cpp + "*>(r)->" + f->cpp + "; }},\n";
            out += "};\n";
        }
        out += "static const ::__DbgType " + TypeTable(*r) + "{::__DbgType::Record, " + Literal(r->name) +
               ", ::__DbgViewArray<" + r->cpp + ">, ::__DbgElement<" + r->cpp + ">, " + fields + ", " +
               std::to_string(r->fields.size()) + "};\n";
    }
    std::vector<const Var*> globals;
    for (const auto& v : program.globals) globals.push_back(v.get());
    std::string names, places;
    Variables(globals, "__dbgGlobal", out, names, places);
    if (!globals.empty()) {
        out += "static void* const " + places + "[] = {";
        for (size_t i = 0; i < globals.size(); ++i) out += (i ? ", &" : "&") + globals[i]->cpp;
        out += "};\n";
    }
    out += "static const char* const __dbgFiles[] = {";
    for (size_t i = 0; i < quotedFiles.size(); ++i) out += (i ? ", " : "") + quotedFiles[i];
    out += "};\n[[maybe_unused]] static const bool __dbgRegistered = ::__DbgSetProgram(" + names + ", " + places +
           ", " + std::to_string(globals.size()) + ", __dbgFiles, " + std::to_string(quotedFiles.size()) + ");\n\n";
    return out;
}

std::vector<std::string> DebugFrame(const Proc& proc) {
    std::vector<const Var*> locals;
    for (const auto& v : proc.locals) locals.push_back(v.get());
    std::string tables, names, places;
    Variables(locals, "__dbg", tables, names, places);
    std::vector<std::string> lines;
    if (!locals.empty()) {
        lines.push_back(tables.substr(0, tables.size() - 1));
        std::string p = "void* const " + places + "[] = {";
        for (size_t i = 0; i < locals.size(); ++i) p += (i ? ", &" : "&") + locals[i]->cpp;
        lines.push_back(p + "};");
    }
    lines.push_back("::__DbgFrame __dbgFrame(" + Literal(proc.name) + ", " + names + ", " + places + ", " +
                    std::to_string(locals.size()) + ");");
    return lines;
}

}  // namespace tvc
