// The lines that hold statements (statement_lines.h).
#include "statement_lines.h"

#include <filesystem>
#include <vector>

#include "front.h"

namespace tvc::dap {

namespace {

// Every place the translation marks: each statement, and the conditions of ELSEIF, CASE
// and UNTIL, which are worked out on lines of their own.
void Collect(const Block& block, std::vector<Loc>& marks) {
    for (const auto& s : block) {
        marks.push_back(s->loc);
        if (s->kind == Stmt::If) {
            const auto& branches = As<IfStmt>(*s).branches;
            for (size_t i = 1; i < branches.size(); ++i)
                if (branches[i].cond) marks.push_back(branches[i].cond->loc);
        } else if (s->kind == Stmt::Select) {
            for (const CaseArm& arm : As<SelectStmt>(*s).arms)
                if (!arm.items.empty()) marks.push_back(arm.loc);
        } else if (s->kind == Stmt::Repeat && As<RepeatStmt>(*s).cond) {
            marks.push_back(As<RepeatStmt>(*s).cond->loc);
        }
        ForEachBlock(*s, [&](const Block& inner) { Collect(inner, marks); });
    }
}

}  // namespace

std::string FullPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? std::filesystem::absolute(path, ec).lexically_normal().string() : full.string();
}

StatementLines FindStatementLines(const std::string& source) {
    StatementLines lines;
    std::string text;
    if (!ReadTextFile(source, text)) return lines;
    const std::unique_ptr<Analysis> a = Analyze(source, text, ReadTextFile);
    std::vector<Loc> marks;
    Collect(a->program.main, marks);
    for (const auto& proc : a->program.procs) Collect(proc->body, marks);
    const auto& files = a->program.sources.files;
    for (const Loc& at : marks)
        if (at.file >= 0 && static_cast<size_t>(at.file) < files.size() && at.line > 0)
            lines[FullPath(files[static_cast<size_t>(at.file)].name)].insert(at.line);
    return lines;
}

}  // namespace tvc::dap
