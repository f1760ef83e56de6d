// The parser: tokens into the syntax tree, one file at a time; INCLUDE reads and parses
// another file in place. Blocks report where they were opened when they are never
// closed. Nesting is bounded (kMaxNesting): deeper input gets a located error, never a
// deeper recursion.
#include <filesystem>
#include <set>

#include "depth_guard.h"
#include "front.h"

namespace tvc {

namespace {

constexpr int kMaxIncludeDepth = 32;

// ---- the binary operators, weakest first --------------------------------------------------
struct BinaryOp {
    T op;
    int prec;
};
constexpr BinaryOp kBinaryOps[] = {
    {T::Or, 1}, {T::Xor, 1},  {T::And, 2},   {T::Eq, 4},   {T::Ne, 4},    {T::Lt, 4},  {T::Le, 4},    {T::Gt, 4},
    {T::Ge, 4}, {T::Plus, 5}, {T::Minus, 5}, {T::Star, 6}, {T::Slash, 6}, {T::Mod, 6}, {T::Caret, 8},
};
// Prefix operators: NOT takes comparisons and what binds tighter; a sign takes a power.
constexpr int kNotOperand = 3;
constexpr int kSignOperand = 8;

int Precedence(T kind) {
    for (const BinaryOp& b : kBinaryOps)
        if (b.op == kind) return b.prec;
    return 0;
}
bool RightAssociative(T kind) { return kind == T::Caret; }

enum class Closer { None, EndOfFile, Sub, EndSub, EndIf, Else, ElseIf, Next, Wend, Until, Case, EndSelect, EndType };

const char* CloserText(Closer c) {
    switch (c) {
        case Closer::EndSub: return "END SUB";
        case Closer::EndIf: return "END IF";
        case Closer::Else: return "ELSE";
        case Closer::ElseIf: return "ELSEIF";
        case Closer::Next: return "NEXT";
        case Closer::Wend: return "WEND";
        case Closer::Until: return "UNTIL";
        case Closer::Case: return "CASE";
        case Closer::EndSelect: return "END SELECT";
        case Closer::EndType: return "END TYPE";
        case Closer::Sub: return "SUB";
        default: return "the end of the file";
    }
}

bool IsReservedWord(T kind) { return kind >= T::And; }

struct Shared {
    Program& program;
    const FileReader& read;
    Diagnostics& diag;
    std::set<std::string> included;
    bool sawSettings = false;
};

class Parser {
public:
    Parser(Shared& shared, std::vector<Token> tokens, int includeDepth)
        : s_(shared), toks_(std::move(tokens)), includeDepth_(includeDepth) {}

    void File() {
        for (;;) {
            SkipSeparators();
            if (s_.diag.Full()) return;
            const Token& t = Cur();
            switch (t.kind) {
                case T::End: return;
                case T::Sub:
                    if (Peek().kind == T::Eq) break;  // "sub = 1": reported as a statement
                    ParseSub();
                    continue;
                case T::Include: ParseInclude(); continue;
                case T::Option: ParseOption(); continue;
                case T::Settings: ParseSettings(); continue;
                case T::Type: ParseType(); continue;
                case T::Const: ParseConst(); continue;
                default: break;
            }
            const Closer c = CloserAt();
            if (c != Closer::None && c != Closer::Sub) {
                Error(t.loc, std::string(CloserText(c)) + " without a block to close");
                SkipLine();
                continue;
            }
            Statement(s_.program.main, false);
        }
    }

private:
    // ---- token access -------------------------------------------------------------------
    const Token& Cur() const { return toks_[pos_]; }
    const Token& Peek(size_t k = 1) const { return toks_[std::min(pos_ + k, toks_.size() - 1)]; }
    void Advance() {
        if (pos_ + 1 < toks_.size()) ++pos_;
    }
    bool Accept(T kind) {
        if (Cur().kind != kind) return false;
        Advance();
        return true;
    }
    bool Expect(T kind, const char* what) {
        if (Accept(kind)) return true;
        if (Cur().kind == T::Name && IsJumpWord(Cur().text))  // IF x GOTO ...
            Error(Cur().loc, NoJumps(Cur().text));
        else
            Error(Cur().loc, std::string("expected ") + what + ", found " + Describe(Cur()));
        return false;
    }
    static std::string Describe(const Token& t) {
        if (t.kind == T::Name) return "'" + t.text + "'";
        return TokenName(t.kind);
    }
    // Reports an error, except on a line where nesting went too deep: the levels that
    // unwind from there would only report what follows from it.
    void Error(Loc loc, const std::string& message) {
        if (loc.file == tooDeep_.file && loc.line == tooDeep_.line) return;
        s_.diag.Error(loc, message);
    }
    void TooDeep(Loc loc, bool chain = false) {
        Error(loc, chain ? "this expression is too long (more than " + std::to_string(kMaxNesting) +
                               " operators in a row): split it into several statements"
                         : "this is nested too deeply (more than " + std::to_string(kMaxNesting) +
                               " levels of blocks, parentheses and operators): split it");
        tooDeep_ = loc;
        SkipLine();
    }
    bool AtStatementEnd() const {
        const T k = Cur().kind;
        return k == T::Newline || k == T::Colon || k == T::End || (singleLineIf_ > 0 && k == T::Else);
    }
    void SkipLine() {
        while (Cur().kind != T::Newline && Cur().kind != T::End) Advance();
    }
    void SkipSeparators() {
        while (Cur().kind == T::Newline || Cur().kind == T::Colon) Advance();
    }
    // After a statement: the line or the statement ends here.
    void EndStatement() {
        if (AtStatementEnd()) return;
        if (Cur().kind == T::Name && IsJumpWord(Cur().text))  // ON x GOTO ..., IF x GOTO ...
            Error(Cur().loc, NoJumps(Cur().text));
        else
            Error(Cur().loc, "expected the end of the statement, found " + Describe(Cur()));
        SkipLine();
    }

    Closer CloserAt() const {
        switch (Cur().kind) {
            case T::End: return Closer::EndOfFile;
            case T::Sub: return Peek().kind == T::Eq ? Closer::None : Closer::Sub;
            case T::EndSub: return Closer::EndSub;
            case T::EndIf: return Closer::EndIf;
            case T::EndSelect: return Closer::EndSelect;
            case T::EndType: return Closer::EndType;
            case T::Else: return Closer::Else;
            case T::ElseIf: return Closer::ElseIf;
            case T::Next: return Closer::Next;
            case T::Wend: return Closer::Wend;
            case T::Until: return Closer::Until;
            case T::Case: return Closer::Case;
            case T::EndKw:
                switch (Peek().kind) {
                    case T::If: return Closer::EndIf;
                    case T::Sub: return Closer::EndSub;
                    case T::Select: return Closer::EndSelect;
                    case T::Type: return Closer::EndType;
                    default: return Closer::None;
                }
            default: return Closer::None;
        }
    }
    // Where the closer at hand stands, its length covering both words of END SUB.
    Loc CloserLoc() const {
        Loc at = Cur().loc;
        if (Cur().kind == T::EndKw) at.length = Peek().loc.col + Peek().loc.length - at.col;
        return at;
    }
    // Consumes a closer's keyword(s).
    void TakeCloser(Closer c) {
        if (Cur().kind == T::EndKw &&
            (c == Closer::EndIf || c == Closer::EndSub || c == Closer::EndSelect || c == Closer::EndType))
            Advance();
        Advance();
    }

    // Statements until one of `accepted` (or the end of the file, or a SUB) starts a
    // statement; returns which. Closers that fit no open block are reported and skipped.
    Closer ParseBlock(Block& out, std::initializer_list<Closer> accepted) {
        for (;;) {
            SkipSeparators();
            if (s_.diag.Full()) return Closer::EndOfFile;
            const Closer c = CloserAt();
            if (c == Closer::EndOfFile || c == Closer::Sub) return c;
            for (Closer a : accepted)
                if (a == c) return c;
            if (c != Closer::None) {
                Error(Cur().loc, std::string(CloserText(c)) + " does not close the block open here");
                SkipLine();
                continue;
            }
            const T k = Cur().kind;
            if (k == T::Include || k == T::Option || k == T::Settings || k == T::Type || k == T::Const) {
                Error(Cur().loc, std::string(TokenName(k)) + " belongs at the top of a file, outside blocks and SUBs");
                if (k == T::Type)
                    SkipType();
                else
                    SkipLine();
                continue;
            }
            Statement(out, false);
        }
    }

    // ---- top-level items ----------------------------------------------------------------
    // "AS Name" when it follows; empty otherwise.
    TypeName ParseAs() {
        TypeName t;
        if (!Accept(T::As)) return t;
        if (Cur().kind != T::Name) {
            Error(Cur().loc, "expected the name of a TYPE after AS, found " + Describe(Cur()));
            return t;
        }
        t.loc = Cur().loc;
        t.name = Cur().text;
        Advance();
        return t;
    }

    void ParseSub() {
        auto proc = std::make_unique<Proc>();
        proc->loc = Cur().loc;
        Advance();
        if (Cur().kind != T::Name) {
            Error(Cur().loc, "expected the SUB's name after SUB, found " + Describe(Cur()));
            SkipLine();
        } else {
            proc->name = Cur().text;
            proc->nameLoc = Cur().loc;
            Advance();
            if (Accept(T::LParen) && !Accept(T::RParen)) {
                do {
                    if (Cur().kind != T::Name) {
                        Error(Cur().loc, "expected a parameter name, found " + Describe(Cur()));
                        break;
                    }
                    Param p;
                    p.loc = Cur().loc;
                    p.name = Cur().text;
                    Advance();
                    if (Accept(T::LParen)) {
                        p.isArray = true;
                        Expect(T::RParen, "')' after an array parameter's '('");
                    }
                    p.as = ParseAs();
                    proc->params.push_back(std::move(p));
                } while (Accept(T::Comma));
                Expect(T::RParen, "',' or ')' in the parameter list");
            }
            proc->as = ParseAs();
            EndStatement();
        }
        inProc_ = true;
        const Closer c = ParseBlock(proc->body, {Closer::EndSub});
        inProc_ = false;
        if (c == Closer::EndSub) {
            proc->end = CloserLoc();
            TakeCloser(c);
            EndStatement();
        } else {
            Error(proc->loc, proc->name.empty() ? std::string("this SUB is never closed with END SUB")
                                                : "SUB " + proc->name + " is never closed with END SUB");
        }
        s_.program.procs.push_back(std::move(proc));
    }

    void ParseInclude() {
        const Loc at = Cur().loc;
        Advance();
        if (Cur().kind != T::String) {
            Error(Cur().loc, "INCLUDE needs a file name in quotes");
            SkipLine();
            return;
        }
        IncludeDecl decl;
        decl.loc = at;
        decl.nameLoc = Cur().loc;
        decl.name = Cur().text;
        Advance();
        EndStatement();
        const size_t declIndex = s_.program.includes.size();
        s_.program.includes.push_back(decl);
        if (includeDepth_ >= kMaxIncludeDepth) {
            Error(at, "files include each other too deeply");
            return;
        }
        namespace fs = std::filesystem;
        const std::string& name = decl.name;
        const SourceFile& self = s_.program.sources.files[at.file];
        const fs::path path = fs::path(name).is_absolute() ? fs::path(name) : fs::path(self.path).parent_path() / name;
        if (!s_.included.insert(path.lexically_normal().string()).second) return;  // every file is read once
        std::string text;
        if (!s_.read(path.string(), text)) {
            Error(at, "cannot read the included file " + path.string());
            return;
        }
        SourceFile file;
        file.name = fs::path(self.name).has_parent_path() && !fs::path(name).is_absolute()
                        ? (fs::path(self.name).parent_path() / name).lexically_normal().string()
                        : name;
        file.path = path.string();
        file.text = std::move(text);
        const int index = static_cast<int>(s_.program.sources.files.size());
        s_.program.sources.files.push_back(std::move(file));
        s_.program.includes[declIndex].file = index;
        Parser inner(s_, Lex(s_.program.sources.files[index].text, index, s_.diag), includeDepth_ + 1);
        inner.File();
    }

    void ParseOption() {
        Advance();
        if (Cur().kind == T::Name && Upper(Cur().text) == "EXPLICIT") {
            Advance();
            s_.program.explicitDecl = true;
            EndStatement();
            return;
        }
        Error(Cur().loc, "OPTION knows only EXPLICIT");
        SkipLine();
    }

    void ParseSettings() {
        const Loc at = Cur().loc;
        Advance();
        if (s_.sawSettings) Error(at, "a program has one SETTINGS line");
        s_.sawSettings = true;
        Settings& st = s_.program.settings;
        do {
            if (Cur().kind != T::Name) {
                Error(Cur().loc, "expected " + SettingKeys() + ", found " + Describe(Cur()));
                SkipLine();
                return;
            }
            const std::string key = Upper(Cur().text);
            const Loc keyLoc = Cur().loc;
            Advance();
            if (key == "TITLE") {
                if (Cur().kind != T::String) {
                    Error(Cur().loc, "TITLE needs a text in quotes");
                    SkipLine();
                    return;
                }
                st.title = Cur().text;
                Advance();
                continue;
            }
            const NumberSetting* setting = SettingByKey(key);
            if (!setting) {
                Error(keyLoc, "SETTINGS has no '" + key + "': use " + SettingKeys());
                SkipLine();
                return;
            }
            const std::optional<int> value =
                Cur().kind == T::Number ? SettingValue(*setting, Cur().number) : std::nullopt;
            if (!value) {
                Error(Cur().loc, std::string(setting->key) + " needs a whole number from " +
                                     std::to_string(setting->lo) + " to " + std::to_string(setting->hi));
                SkipLine();
                return;
            }
            st.*setting->field = *value;
            Advance();
        } while (Accept(T::Comma));
        EndStatement();
    }

    // CONST name = value [, name = value]
    void ParseConst() {
        Advance();
        do {
            if (Cur().kind != T::Name) {
                Error(Cur().loc, "expected the CONST's name, found " + Describe(Cur()));
                SkipLine();
                return;
            }
            auto c = std::make_unique<Const>();
            c->loc = Cur().loc;
            c->name = Cur().text;
            Advance();
            if (!Expect(T::Eq, "'=' and the CONST's value")) {
                SkipLine();
                return;
            }
            c->value = Expression();
            s_.program.consts.push_back(std::move(c));
        } while (Accept(T::Comma));
        EndStatement();
    }

    // TYPE name, its fields one a line, END TYPE.
    void ParseType() {
        auto rec = std::make_unique<Record>();
        rec->loc = Cur().loc;
        Advance();
        if (Cur().kind != T::Name) {
            Error(Cur().loc, "expected the TYPE's name after TYPE, found " + Describe(Cur()));
            SkipLine();
        } else {
            rec->name = Cur().text;
            rec->nameLoc = Cur().loc;
            Advance();
            EndStatement();
        }
        for (;;) {
            SkipSeparators();
            if (s_.diag.Full()) return;
            const Closer c = CloserAt();
            if (c == Closer::EndType) {
                rec->end = CloserLoc();
                TakeCloser(c);
                EndStatement();
                break;
            }
            if (c == Closer::EndOfFile || c == Closer::Sub || Cur().kind == T::Type) {
                Error(rec->loc, rec->name.empty() ? std::string("this TYPE is never closed with END TYPE")
                                                  : "TYPE " + rec->name + " is never closed with END TYPE");
                break;
            }
            if (Cur().kind != T::Name) {
                Error(Cur().loc, "a TYPE holds fields, one a line: name, name$, name(size) or name AS Type; found " +
                                     Describe(Cur()));
                SkipLine();
                continue;
            }
            auto f = std::make_unique<FieldDecl>();
            f->loc = Cur().loc;
            f->name = Cur().text;
            Advance();
            if (Accept(T::LParen)) {
                f->isArray = true;
                if (Cur().kind == T::RParen)
                    Error(Cur().loc, "an array field needs its sizes: hits(4)");
                else
                    do f->sizeExprs.push_back(Expression());
                    while (Accept(T::Comma));
                Expect(T::RParen, "',' or ')' after a size");
                if (f->sizeExprs.size() > 8) Error(f->loc, "an array has at most eight dimensions");
            }
            f->as = ParseAs();
            EndStatement();
            rec->fields.push_back(std::move(f));
        }
        s_.program.types.push_back(std::move(rec));
    }
    // A TYPE where none belongs: skipped to its END TYPE.
    void SkipType() {
        while (Cur().kind != T::End && CloserAt() != Closer::EndType) Advance();
        if (CloserAt() == Closer::EndType) TakeCloser(Closer::EndType);
        SkipLine();
    }

    // ---- statements ---------------------------------------------------------------------
    // One statement (and, for blocks, everything up to the closer) into `out`.
    void Statement(Block& out, bool singleLine) {
        DepthGuard guard(depth_, kMaxNesting);
        if (!guard) {
            TooDeep(Cur().loc);
            return;
        }
        const Token& t = Cur();
        const Loc loc = t.loc;
        StmtP s;
        auto needOwnLine = [&]() {
            Error(loc, std::string(TokenName(t.kind)) + " starts a block and needs a line of its own");
            SkipLine();
        };
        if (IsReservedWord(t.kind) && Peek().kind == T::Eq) {
            Error(loc, std::string(TokenName(t.kind)) + " is a reserved word and cannot name a variable");
            SkipLine();
            return;
        }
        switch (t.kind) {
            case T::If: s = ParseIf(singleLine); break;
            case T::For:
                if (singleLine)
                    needOwnLine();
                else
                    s = ParseFor();
                break;
            case T::While:
                if (singleLine)
                    needOwnLine();
                else
                    s = ParseWhile();
                break;
            case T::Repeat:
                if (singleLine)
                    needOwnLine();
                else
                    s = ParseRepeat();
                break;
            case T::Select:
                if (singleLine)
                    needOwnLine();
                else
                    s = ParseSelect();
                break;
            case T::Break:
            case T::Continue:
                if (loops_ == 0) Error(loc, std::string(TokenName(t.kind)) + " belongs inside FOR, WHILE or REPEAT");
                s = std::make_unique<JumpStmt>(t.kind == T::Break ? Stmt::Break : Stmt::Continue, loc);
                Advance();
                EndStatement();
                break;
            case T::Return: {
                auto r = std::make_unique<ReturnStmt>(loc);
                Advance();
                if (!AtStatementEnd()) r->value = Expression();
                EndStatement();
                s = std::move(r);
                break;
            }
            case T::Dim: s = ParseDim(); break;
            case T::Local:
            case T::Global: s = ParseDecls(); break;
            case T::Name: s = ParseNameStatement(); break;
            case T::EndKw: {  // END on its own: the END command
                auto c = std::make_unique<CallStmt>(loc);
                c->call = std::make_unique<Expr>();
                c->call->kind = Expr::Call;
                c->call->loc = loc;
                c->call->text = "END";
                Advance();
                EndStatement();
                s = std::move(c);
                break;
            }
            case T::Include:
            case T::Option:
            case T::Settings:
            case T::Type:
            case T::Const:
                Error(loc, std::string(TokenName(t.kind)) + " belongs at the top of a file, outside blocks and SUBs");
                SkipLine();
                break;
            default:
                Error(loc, "expected a statement, found " + Describe(t));
                SkipLine();
                break;
        }
        if (s) out.push_back(std::move(s));
    }

    StmtP ParseIf(bool singleLine) {
        auto s = std::make_unique<IfStmt>(Cur().loc);
        Advance();
        ExprP cond = Expression();
        if (!Expect(T::Then, "THEN after the IF condition")) {
            SkipLine();
            return s;
        }
        if (singleLine && (Cur().kind == T::Newline || Cur().kind == T::End)) {
            Error(s->loc, "a single-line IF cannot hold a block IF");
            return s;
        }
        if (Cur().kind != T::Newline && Cur().kind != T::End) {  // single-line IF
            ++singleLineIf_;
            Block then;
            SingleLineStatements(then);
            s->branches.push_back({std::move(cond), std::move(then)});
            if (Accept(T::Else)) {
                s->hasElse = true;
                SingleLineStatements(s->elseBody);
            }
            --singleLineIf_;
            return s;
        }
        Block block;
        Closer c = ParseBlock(block, {Closer::EndIf, Closer::Else, Closer::ElseIf});
        s->branches.push_back({std::move(cond), std::move(block)});
        while (c == Closer::ElseIf) {
            Advance();
            ExprP elseCond = Expression();
            Expect(T::Then, "THEN after the ELSEIF condition");
            EndStatement();
            Block b;
            c = ParseBlock(b, {Closer::EndIf, Closer::Else, Closer::ElseIf});
            s->branches.push_back({std::move(elseCond), std::move(b)});
        }
        if (c == Closer::Else) {
            Advance();
            s->hasElse = true;
            EndStatement();
            c = ParseBlock(s->elseBody, {Closer::EndIf});
        }
        if (c == Closer::EndIf) {
            TakeCloser(c);
            EndStatement();
        } else {
            Error(s->loc, "this IF is never closed with END IF");
        }
        return s;
    }

    // Statements of a single-line IF: up to ELSE or the end of the line.
    void SingleLineStatements(Block& out) {
        for (;;) {
            if (Cur().kind == T::Newline || Cur().kind == T::End || Cur().kind == T::Else) return;
            if (CloserAt() != Closer::None) {
                Error(Cur().loc, "a single-line IF cannot hold " + Describe(Cur()));
                SkipLine();
                return;
            }
            Statement(out, true);
            if (!Accept(T::Colon)) return;
        }
    }

    StmtP ParseFor() {
        auto s = std::make_unique<ForStmt>(Cur().loc);
        Advance();
        if (Cur().kind != T::Name) {
            Error(Cur().loc, "expected the loop variable after FOR, found " + Describe(Cur()));
            SkipLine();
        } else {
            s->var = NameExpr();
            if (Expect(T::Eq, "'=' after the loop variable")) {
                s->start = Expression();
                if (Expect(T::To, "TO in the FOR line")) {
                    s->limit = Expression();
                    if (Accept(T::Step)) s->step = Expression();
                }
            }
            EndStatement();
        }
        ++loops_;
        const Closer c = ParseBlock(s->body, {Closer::Next});
        --loops_;
        if (c != Closer::Next) {
            Error(s->loc, "this FOR is never closed with NEXT");
            return s;
        }
        Advance();
        if (Cur().kind == T::Name) {
            if (s->var && Upper(Cur().text) != Upper(s->var->text))
                Error(Cur().loc, "NEXT " + Cur().text + " closes the FOR of " + s->var->text);
            Advance();
        }
        EndStatement();
        if (!s->limit) return nullptr;  // the FOR line was reported
        return s;
    }

    StmtP ParseWhile() {
        auto s = std::make_unique<WhileStmt>(Cur().loc);
        Advance();
        s->cond = Expression();
        EndStatement();
        ++loops_;
        const Closer c = ParseBlock(s->body, {Closer::Wend});
        --loops_;
        if (c != Closer::Wend) {
            Error(s->loc, "this WHILE is never closed with WEND");
            return s;
        }
        Advance();
        EndStatement();
        return s;
    }

    StmtP ParseRepeat() {
        auto s = std::make_unique<RepeatStmt>(Cur().loc);
        Advance();
        EndStatement();
        ++loops_;
        const Closer c = ParseBlock(s->body, {Closer::Until});
        --loops_;
        if (c != Closer::Until) {
            Error(s->loc, "this REPEAT is never closed with UNTIL");
            return nullptr;
        }
        Advance();
        s->cond = Expression();
        EndStatement();
        return s;
    }

    StmtP ParseSelect() {
        auto s = std::make_unique<SelectStmt>(Cur().loc);
        Advance();
        Expect(T::Case, "CASE after SELECT");
        s->subject = Expression();
        EndStatement();
        SkipSeparators();
        Closer c = CloserAt();
        if (c == Closer::None) {
            Error(Cur().loc, "expected CASE after SELECT CASE, found " + Describe(Cur()));
            Block ignored;
            c = ParseBlock(ignored, {Closer::Case, Closer::EndSelect});
        }
        bool sawElse = false;
        while (c == Closer::Case) {
            CaseArm arm;
            arm.loc = Cur().loc;
            Advance();
            if (Accept(T::Else)) {
                if (sawElse) Error(arm.loc, "a SELECT has one CASE ELSE");
                sawElse = true;
            } else {
                if (sawElse) Error(arm.loc, "CASE ELSE must be the last CASE");
                do {
                    CaseItem item;
                    item.lo = Expression();
                    if (Accept(T::To)) item.hi = Expression();
                    arm.items.push_back(std::move(item));
                } while (Accept(T::Comma));
            }
            EndStatement();
            c = ParseBlock(arm.body, {Closer::Case, Closer::EndSelect});
            s->arms.push_back(std::move(arm));
        }
        if (c == Closer::EndSelect) {
            TakeCloser(c);
            EndStatement();
        } else {
            Error(s->loc, "this SELECT is never closed with END SELECT");
        }
        return s;
    }

    // DIM a(10, 5), names$(4), fleet(10) AS Ship, s AS Ship, s.hits(8)
    StmtP ParseDim() {
        auto s = std::make_unique<DimStmt>(Cur().loc);
        Advance();
        do {
            const Loc at = Cur().loc;
            if (Cur().kind != T::Name || (Peek().kind != T::LParen && Peek().kind != T::Dot && Peek().kind != T::As)) {
                Error(at, "DIM needs an array and its sizes, DIM a(10, 5), or a record, DIM s AS Ship");
                SkipLine();
                return s;
            }
            DimItem item;
            item.loc = at;
            item.target = Peek().kind == T::As ? NameExpr() : Postfix(Primary());
            const Expr& t = *item.target;
            if (t.kind == Expr::Field && !t.parens) {
                Error(t.loc, "DIM sizes an array field: DIM " + t.text + "(size)");
            } else if (t.kind == Expr::Call || t.kind == Expr::Field) {
                if (t.args.empty()) Error(t.loc, "DIM needs at least one size");
                if (t.args.size() > 8) Error(t.loc, "an array has at most eight dimensions");
            }
            item.as = ParseAs();
            if (t.kind == Expr::Field && !item.as.Empty())
                Error(item.as.loc, "a field's type is given in its TYPE, not by DIM");
            s->items.push_back(std::move(item));
        } while (Accept(T::Comma));
        EndStatement();
        return s;
    }

    StmtP ParseDecls() {
        const bool global = Cur().kind == T::Global;
        auto s = std::make_unique<DeclStmt>(global ? Stmt::Global : Stmt::Local, Cur().loc);
        if (global && inProc_) Error(Cur().loc, "GLOBAL belongs outside SUBs");
        if (!global && !inProc_)
            Error(Cur().loc, "LOCAL belongs inside a SUB; the main program's variables are global");
        Advance();
        do {
            if (Cur().kind != T::Name) {
                Error(Cur().loc, "expected a variable name, found " + Describe(Cur()));
                SkipLine();
                return s;
            }
            Decl d;
            d.loc = Cur().loc;
            d.name = Cur().text;
            Advance();
            if (Accept(T::LParen)) {
                d.isArray = true;
                Expect(T::RParen, "')': size arrays with DIM");
            }
            d.as = ParseAs();
            if (Accept(T::Eq)) {
                if (d.isArray || !d.as.Empty())
                    Error(d.loc, "only a number or string variable takes a first value here");
                d.init = Expression();
            }
            s->decls.push_back(std::move(d));
        } while (Accept(T::Comma));
        EndStatement();
        return s;
    }

    StmtP Assignment(Loc loc, ExprP target) {
        auto s = std::make_unique<AssignStmt>(loc);
        s->target = std::move(target);
        Expect(T::Eq, "'='");
        s->value = Expression();
        EndStatement();
        return s;
    }

    // A statement that starts with a name: an assignment or a call.
    StmtP ParseNameStatement() {
        const Loc loc = Cur().loc;
        const T next = Peek().kind;
        if (Upper(Cur().text) == "EXIT" &&
            (next == T::For || next == T::While || next == T::Repeat || next == T::Sub || next == T::Select)) {
            Error(loc, next == T::Sub ? "EXIT SUB is not a statement: RETURN leaves a SUB"
                                      : std::string("EXIT ") + TokenName(next) +
                                            " is not a statement: BREAK leaves the innermost loop");
            SkipLine();
            return nullptr;
        }
        if (next == T::Eq) return Assignment(loc, NameExpr());
        if (next == T::Dot) return Assignment(loc, Postfix(Primary()));
        if (next == T::LParen) {
            // Where does the parenthesis close? "a(i) = 1" assigns, "F(1, 2)" is a call
            // with its arguments in parentheses, "F (1 + 2) * 3, 4" a call without.
            size_t close = 0;
            int d = 0;
            for (size_t k = pos_ + 1; k < toks_.size(); ++k) {
                const T kind = toks_[k].kind;
                if (kind == T::Newline || kind == T::End) break;
                if (kind == T::LParen) ++d;
                if (kind == T::RParen && --d == 0) {
                    close = k;
                    break;
                }
            }
            if (close) {
                const T after = toks_[close + 1 < toks_.size() ? close + 1 : close].kind;
                if (after == T::Eq || after == T::Dot) return Assignment(loc, Postfix(Primary()));
                if (after == T::Newline || after == T::Colon || after == T::End ||
                    (singleLineIf_ > 0 && after == T::Else)) {
                    auto s = std::make_unique<CallStmt>(loc);
                    s->call = Primary();
                    EndStatement();
                    return s;
                }
            }
        }
        auto s = std::make_unique<CallStmt>(loc);
        auto call = std::make_unique<Expr>();
        call->kind = Expr::Call;
        call->loc = loc;
        call->text = Cur().text;
        // "start:" alone at the start of a line: a label where other BASICs have them,
        // unless a SUB of that name is called (the checker decides).
        const Loc colon = Peek().loc;
        s->labelLike = next == T::Colon && (pos_ == 0 || toks_[pos_ - 1].kind == T::Newline) &&
                       colon.line == loc.line && colon.col == loc.col + static_cast<int>(call->text.size());
        Advance();
        if (!AtStatementEnd()) {
            do call->args.push_back(Expression());
            while (Accept(T::Comma));
        }
        Height(*call);
        s->call = std::move(call);
        EndStatement();
        return s;
    }

    // ---- expressions --------------------------------------------------------------------
    static void Height(Expr& e) {
        int h = e.object ? e.object->height : 0;
        for (const ExprP& a : e.args) h = std::max(h, a->height);
        e.height = h + 1;
    }
    ExprP Dummy() {
        auto e = std::make_unique<Expr>();
        e->loc = Cur().loc;
        return e;
    }
    ExprP NameExpr() {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Name;
        e->loc = Cur().loc;
        e->text = Cur().text;
        Advance();
        return e;
    }

    ExprP Expression() { return Binary(1); }

    // Operators of at least precedence `minPrec`, by precedence climbing: a chain of
    // operators of one level is a loop, not a recursion.
    ExprP Binary(int minPrec) {
        DepthGuard guard(depth_, kMaxNesting);
        if (!guard) {
            TooDeep(Cur().loc);
            return Dummy();
        }
        ExprP lhs = Operand();
        for (;;) {
            const T op = Cur().kind;
            const int prec = Precedence(op);
            if (prec == 0 || prec < minPrec) return lhs;
            const Loc loc = Cur().loc;
            Advance();
            ExprP rhs = Binary(RightAssociative(op) ? prec : prec + 1);
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Binary;
            e->loc = loc;
            e->op = op;
            e->args.push_back(std::move(lhs));
            e->args.push_back(std::move(rhs));
            Height(*e);
            if (e->height > kMaxNesting) {
                TooDeep(loc, true);
                return Dummy();
            }
            lhs = std::move(e);
        }
    }

    // A value with its prefix operators.
    ExprP Operand() {
        const T k = Cur().kind;
        if (k == T::Not || k == T::Minus || k == T::Plus) {
            const Loc loc = Cur().loc;
            Advance();
            ExprP inner = Binary(k == T::Not ? kNotOperand : kSignOperand);
            if (k == T::Plus) return inner;
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Unary;
            e->loc = loc;
            e->op = k;
            e->args.push_back(std::move(inner));
            Height(*e);
            return e;
        }
        return Postfix(Primary());
    }

    // Fields taken from a value: s.x, fleet(i).hits(2), s.pos.x
    ExprP Postfix(ExprP e) {
        while (Cur().kind == T::Dot) {
            Advance();
            if (Cur().kind != T::Name) {
                Error(Cur().loc, "expected a field name after '.', found " + Describe(Cur()));
                return e;
            }
            auto f = std::make_unique<Expr>();
            f->kind = Expr::Field;
            f->loc = Cur().loc;
            f->text = Cur().text;
            Advance();
            f->object = std::move(e);
            if (Accept(T::LParen)) {
                f->parens = true;
                Arguments(*f);
            }
            Height(*f);
            if (f->height > kMaxNesting) {
                TooDeep(f->loc);
                return Dummy();
            }
            e = std::move(f);
        }
        return e;
    }

    // Arguments after '(' up to and with ')'.
    void Arguments(Expr& e) {
        if (Accept(T::RParen)) return;
        do e.args.push_back(Expression());
        while (Accept(T::Comma));
        Expect(T::RParen, "',' or ')' after an argument");
    }

    ExprP Primary() {
        const Token& t = Cur();
        auto e = std::make_unique<Expr>();
        e->loc = t.loc;
        switch (t.kind) {
            case T::Number:
                e->kind = Expr::Number;
                e->number = t.number;
                Advance();
                return e;
            case T::String:
                e->kind = Expr::String;
                e->text = t.text;
                Advance();
                return e;
            case T::Mod:  // MOD(a, b), the command, where a value starts
                if (Peek().kind != T::LParen) break;
                [[fallthrough]];
            case T::Name:
                e->text = t.text;
                Advance();
                if (Cur().kind != T::LParen) {
                    e->kind = Expr::Name;
                    return e;
                }
                e->kind = Expr::Call;
                e->parens = true;
                Advance();
                Arguments(*e);
                Height(*e);
                return e;
            case T::LParen: {
                Advance();
                ExprP inner = Expression();
                Expect(T::RParen, "')'");
                return inner;
            }
            default: break;
        }
        Error(t.loc, "expected a value, found " + Describe(t));
        if (t.kind != T::Newline && t.kind != T::End && t.kind != T::Colon) Advance();
        return e;
    }

    Shared& s_;
    std::vector<Token> toks_;
    size_t pos_ = 0;
    int includeDepth_ = 0;
    int depth_ = 0;
    int loops_ = 0;
    int singleLineIf_ = 0;
    bool inProc_ = false;
    Loc tooDeep_{-1, 0, 0};
};

}  // namespace

bool IsJumpWord(const std::string& name) {
    const std::string key = Upper(name);
    return key == "GOTO" || key == "GOSUB";
}

std::string NoJumps(const std::string& word) {
    const std::string instead =
        "loop with FOR, WHILE or REPEAT (BREAK, CONTINUE), branch with IF or SELECT CASE, and make shared code a SUB";
    if (!word.empty() && word.back() == ':')
        return "'" + word + "' looks like a label, but there are no labels, GOTO or GOSUB: " + instead;
    if (Upper(word) == "GOSUB")
        return "there is no GOSUB (nor labels to jump to): make the code a SUB and call it by its name";
    return "there is no GOTO (nor labels or line numbers to jump to): " + instead;
}

void Parse(Program& program, const std::string& mainName, const std::string& mainText, const FileReader& read,
           Diagnostics& diag) {
    SourceFile main;
    main.name = mainName;
    main.path = mainName;
    main.text = mainText;
    program.sources.files.push_back(std::move(main));
    Shared shared{program, read, diag, {}, false};
    shared.included.insert(std::filesystem::path(mainName).lexically_normal().string());
    Parser parser(shared, Lex(program.sources.files[0].text, 0, diag), 0);
    parser.File();
}

std::unique_ptr<Analysis> Analyze(const std::string& mainName, const std::string& mainText, const FileReader& read,
                                  const CommandTable& commands) {
    auto a = std::make_unique<Analysis>();
    Parse(a->program, mainName, mainText, read, a->diag);
    if (a->diag.Count() == 0) Check(a->program, commands, a->diag);
    return a;
}

}  // namespace tvc
