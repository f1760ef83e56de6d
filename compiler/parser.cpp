// The parser: tokens into the syntax tree, one file at a time; INCLUDE reads and parses
// another file in place. Blocks report where they were opened when they are never closed.
#include <filesystem>
#include <set>

#include "front.h"

namespace tvc {

namespace {

// Nesting deeper than this (parentheses, blocks) is refused rather than recursed into.
constexpr int kMaxDepth = 200;
constexpr int kMaxIncludeDepth = 32;

enum class Closer { None, EndOfFile, Sub, EndSub, EndIf, Else, ElseIf, Next, Wend, Until, Case, EndSelect };

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
    case Closer::Sub: return "SUB";
    default: return "the end of the file";
    }
}

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
            if (t.kind == T::End) return;
            if (t.kind == T::Sub) {
                ParseSub();
                continue;
            }
            if (t.kind == T::Include) {
                ParseInclude();
                continue;
            }
            if (t.kind == T::Option) {
                Advance();
                if (Cur().kind == T::Name && Upper(Cur().text) == "EXPLICIT") {
                    Advance();
                    s_.program.explicitDecl = true;
                } else {
                    Error(Cur().loc, "OPTION knows only EXPLICIT");
                    SkipLine();
                    continue;
                }
                EndStatement();
                continue;
            }
            if (t.kind == T::Settings) {
                ParseSettings();
                continue;
            }
            Closer c = CloserAt();
            if (c != Closer::None) {
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
        Error(Cur().loc, std::string("expected ") + what + ", found " + Describe(Cur()));
        return false;
    }
    static std::string Describe(const Token& t) {
        if (t.kind == T::Name) return "'" + t.text + "'";
        if (t.kind == T::Number) return "a number";
        return TokenName(t.kind);
    }
    void Error(Loc loc, const std::string& message) { s_.diag.Error(loc, message); }
    bool AtStatementEnd() const {
        T k = Cur().kind;
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
        Error(Cur().loc, "expected the end of the statement, found " + Describe(Cur()));
        SkipLine();
    }

    Closer CloserAt() const {
        switch (Cur().kind) {
        case T::End: return Closer::EndOfFile;
        case T::Sub: return Closer::Sub;
        case T::EndSub: return Closer::EndSub;
        case T::EndIf: return Closer::EndIf;
        case T::EndSelect: return Closer::EndSelect;
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
            default: return Closer::None;
            }
        default: return Closer::None;
        }
    }
    // Consumes a closer's keyword(s).
    void TakeCloser(Closer c) {
        if (Cur().kind == T::EndKw && (c == Closer::EndIf || c == Closer::EndSub || c == Closer::EndSelect)) Advance();
        Advance();
    }

    // Statements until one of `accepted` (or the end of the file, or a SUB) starts a
    // statement; returns which. Closers that fit no open block are reported and skipped.
    Closer ParseBlock(Block& out, std::initializer_list<Closer> accepted) {
        for (;;) {
            SkipSeparators();
            if (s_.diag.Full()) return Closer::EndOfFile;
            Closer c = CloserAt();
            if (c == Closer::EndOfFile || c == Closer::Sub) return c;
            for (Closer a : accepted)
                if (a == c) return c;
            if (c != Closer::None) {
                Error(Cur().loc, std::string(CloserText(c)) + " does not close the block open here");
                SkipLine();
                continue;
            }
            if (Cur().kind == T::Include || Cur().kind == T::Option || Cur().kind == T::Settings) {
                Error(Cur().loc, std::string(TokenName(Cur().kind)) + " belongs at the top of a file, outside blocks");
                SkipLine();
                continue;
            }
            Statement(out, false);
        }
    }

    // ---- top-level items ----------------------------------------------------------------
    void ParseSub() {
        auto proc = std::make_unique<Proc>();
        proc->loc = Cur().loc;
        Advance();
        if (Cur().kind != T::Name) {
            Error(Cur().loc, "expected the procedure's name after SUB, found " + Describe(Cur()));
            SkipLine();
        } else {
            proc->name = Cur().text;
            proc->returnsString = proc->name.back() == '$';
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
                    proc->params.push_back(std::move(p));
                } while (Accept(T::Comma));
                Expect(T::RParen, "',' or ')' in the parameter list");
            }
            EndStatement();
        }
        inProc_ = true;
        Closer c = ParseBlock(proc->body, {Closer::EndSub});
        inProc_ = false;
        if (c == Closer::EndSub) {
            TakeCloser(c);
            EndStatement();
        } else {
            Error(proc->loc, "SUB " + proc->name + " is never closed with END SUB");
        }
        s_.program.procs.push_back(std::move(proc));
    }

    void ParseInclude() {
        Loc at = Cur().loc;
        Advance();
        if (Cur().kind != T::String) {
            Error(Cur().loc, "INCLUDE needs a file name in quotes");
            SkipLine();
            return;
        }
        std::string name = Cur().text;
        Advance();
        EndStatement();
        if (includeDepth_ >= kMaxIncludeDepth) {
            Error(at, "files include each other too deeply");
            return;
        }
        namespace fs = std::filesystem;
        const SourceFile& self = s_.program.sources.files[at.file];
        fs::path path = fs::path(name).is_absolute() ? fs::path(name) : fs::path(self.path).parent_path() / name;
        std::string key = path.lexically_normal().string();
        if (!s_.included.insert(key).second) return;  // every file is read once
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
        int index = static_cast<int>(s_.program.sources.files.size());
        s_.program.sources.files.push_back(std::move(file));
        Parser inner(s_, Lex(s_.program.sources.files[index].text, index, s_.diag), includeDepth_ + 1);
        inner.File();
    }

    void ParseSettings() {
        Loc at = Cur().loc;
        Advance();
        if (s_.sawSettings) Error(at, "a program has one SETTINGS line");
        s_.sawSettings = true;
        Settings& st = s_.program.settings;
        do {
            if (Cur().kind != T::Name) {
                Error(Cur().loc, "expected TITLE, WIDTH, HEIGHT, FULLSCREEN, FPS, DEBUG or MOUSE, found " + Describe(Cur()));
                SkipLine();
                return;
            }
            std::string key = Upper(Cur().text);
            Loc keyLoc = Cur().loc;
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
            struct Field {
                const char* name;
                std::optional<int>* slot;
                int lo, hi;
            };
            const Field fields[] = {{"WIDTH", &st.width, 1, 16384},   {"HEIGHT", &st.height, 1, 16384},
                                    {"FULLSCREEN", &st.fullscreen, 0, 1}, {"FPS", &st.fps, 0, 1000},
                                    {"DEBUG", &st.debug, 0, 1},      {"MOUSE", &st.mouse, 0, 1}};
            const Field* f = nullptr;
            for (const Field& x : fields)
                if (key == x.name) f = &x;
            if (!f) {
                Error(keyLoc, "SETTINGS has no '" + key + "': use TITLE, WIDTH, HEIGHT, FULLSCREEN, FPS, DEBUG or MOUSE");
                SkipLine();
                return;
            }
            if (Cur().kind != T::Number || Cur().number != static_cast<int>(Cur().number) || Cur().number < f->lo ||
                Cur().number > f->hi) {
                Error(Cur().loc, std::string(f->name) + " needs a whole number from " + std::to_string(f->lo) + " to " +
                                     std::to_string(f->hi));
                SkipLine();
                return;
            }
            *f->slot = static_cast<int>(Cur().number);
            Advance();
        } while (Accept(T::Comma));
        EndStatement();
    }

    // ---- statements ---------------------------------------------------------------------
    std::unique_ptr<Stmt> NewStmt(Stmt::Kind kind, Loc loc) {
        auto s = std::make_unique<Stmt>();
        s->kind = kind;
        s->loc = loc;
        return s;
    }

    // One statement (and, for blocks, everything up to the closer) into `out`.
    void Statement(Block& out, bool singleLine) {
        if (++depth_ > kMaxDepth) {
            Error(Cur().loc, "blocks are nested too deeply");
            SkipLine();
            --depth_;
            return;
        }
        const Token& t = Cur();
        Loc loc = t.loc;
        std::unique_ptr<Stmt> s;
        auto needOwnLine = [&]() {
            Error(loc, std::string(TokenName(t.kind)) + " starts a block and needs a line of its own");
            SkipLine();
        };
        switch (t.kind) {
        case T::If: s = ParseIf(singleLine); break;
        case T::For:
            if (singleLine) needOwnLine(); else s = ParseFor();
            break;
        case T::While:
            if (singleLine) needOwnLine(); else s = ParseWhile();
            break;
        case T::Repeat:
            if (singleLine) needOwnLine(); else s = ParseRepeat();
            break;
        case T::Select:
            if (singleLine) needOwnLine(); else s = ParseSelect();
            break;
        case T::Break:
        case T::Continue:
            if (loops_ == 0) Error(loc, std::string(TokenName(t.kind)) + " belongs inside FOR, WHILE or REPEAT");
            s = NewStmt(t.kind == T::Break ? Stmt::Break : Stmt::Continue, loc);
            Advance();
            EndStatement();
            break;
        case T::Return:
            s = NewStmt(Stmt::Return, loc);
            Advance();
            if (!AtStatementEnd()) s->value = Expression();
            EndStatement();
            break;
        case T::Dim:
            s = ParseDim();
            break;
        case T::Local:
        case T::Global:
            s = ParseDecls();
            break;
        case T::Name:
            s = ParseNameStatement();
            break;
        case T::EndKw: {  // END on its own: the END command
            s = NewStmt(Stmt::Call, loc);
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Call;
            e->loc = loc;
            e->text = "END";
            s->value = std::move(e);
            Advance();
            EndStatement();
            break;
        }
        default:
            Error(loc, "expected a statement, found " + Describe(t));
            SkipLine();
            break;
        }
        if (s) out.push_back(std::move(s));
        --depth_;
    }

    std::unique_ptr<Stmt> ParseIf(bool singleLine) {
        auto s = NewStmt(Stmt::If, Cur().loc);
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
            s->branches.emplace_back(std::move(cond), std::move(then));
            if (Accept(T::Else)) {
                s->hasElse = true;
                SingleLineStatements(s->body);
            }
            --singleLineIf_;
            return s;
        }
        Block block;
        Closer c = ParseBlock(block, {Closer::EndIf, Closer::Else, Closer::ElseIf});
        s->branches.emplace_back(std::move(cond), std::move(block));
        while (c == Closer::ElseIf) {
            Advance();
            ExprP elseCond = Expression();
            Expect(T::Then, "THEN after the ELSEIF condition");
            EndStatement();
            Block b;
            c = ParseBlock(b, {Closer::EndIf, Closer::Else, Closer::ElseIf});
            s->branches.emplace_back(std::move(elseCond), std::move(b));
        }
        if (c == Closer::Else) {
            Advance();
            s->hasElse = true;
            EndStatement();
            c = ParseBlock(s->body, {Closer::EndIf});
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

    std::unique_ptr<Stmt> ParseFor() {
        auto s = NewStmt(Stmt::For, Cur().loc);
        Advance();
        if (Cur().kind != T::Name) {
            Error(Cur().loc, "expected the loop variable after FOR, found " + Describe(Cur()));
            SkipLine();
        } else {
            s->target = NameExpr();
            if (Expect(T::Eq, "'=' after the loop variable")) {
                s->value = Expression();
                if (Expect(T::To, "TO in the FOR line")) {
                    s->limit = Expression();
                    if (Accept(T::Step)) s->step = Expression();
                }
            }
            EndStatement();
        }
        ++loops_;
        Closer c = ParseBlock(s->body, {Closer::Next});
        --loops_;
        if (c != Closer::Next) {
            Error(s->loc, "this FOR is never closed with NEXT");
            return s;
        }
        Advance();
        if (Cur().kind == T::Name) {
            if (s->target && Upper(Cur().text) != Upper(s->target->text))
                Error(Cur().loc, "NEXT " + Cur().text + " closes the FOR of " + s->target->text);
            Advance();
        }
        EndStatement();
        return s;
    }

    std::unique_ptr<Stmt> ParseWhile() {
        auto s = NewStmt(Stmt::While, Cur().loc);
        Advance();
        s->value = Expression();
        EndStatement();
        ++loops_;
        Closer c = ParseBlock(s->body, {Closer::Wend});
        --loops_;
        if (c != Closer::Wend) {
            Error(s->loc, "this WHILE is never closed with WEND");
            return s;
        }
        Advance();
        EndStatement();
        return s;
    }

    std::unique_ptr<Stmt> ParseRepeat() {
        auto s = NewStmt(Stmt::Repeat, Cur().loc);
        Advance();
        EndStatement();
        ++loops_;
        Closer c = ParseBlock(s->body, {Closer::Until});
        --loops_;
        if (c != Closer::Until) {
            Error(s->loc, "this REPEAT is never closed with UNTIL");
            return s;
        }
        Advance();
        s->value = Expression();
        EndStatement();
        return s;
    }

    std::unique_ptr<Stmt> ParseSelect() {
        auto s = NewStmt(Stmt::Select, Cur().loc);
        Advance();
        Expect(T::Case, "CASE after SELECT");
        s->value = Expression();
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

    std::unique_ptr<Stmt> ParseDim() {
        auto s = NewStmt(Stmt::Dim, Cur().loc);
        Advance();
        do {
            if (Cur().kind != T::Name || Peek().kind != T::LParen) {
                Error(Cur().loc, "DIM needs an array name and its sizes: DIM a(10, 5)");
                SkipLine();
                return s;
            }
            ExprP e = Primary();
            if (e->args.empty()) Error(e->loc, "DIM needs at least one size");
            if (e->args.size() > 8) Error(e->loc, "an array has at most eight dimensions");
            s->dims.push_back(std::move(e));
        } while (Accept(T::Comma));
        EndStatement();
        return s;
    }

    std::unique_ptr<Stmt> ParseDecls() {
        bool global = Cur().kind == T::Global;
        auto s = NewStmt(global ? Stmt::Global : Stmt::Local, Cur().loc);
        if (global && inProc_) Error(Cur().loc, "GLOBAL belongs outside SUBs");
        if (!global && !inProc_) Error(Cur().loc, "LOCAL belongs inside a SUB; the main program's variables are global");
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
            } else if (Accept(T::Eq)) {
                d.init = Expression();
            }
            s->decls.push_back(std::move(d));
        } while (Accept(T::Comma));
        EndStatement();
        return s;
    }

    // A statement that starts with a name: an assignment or a call.
    std::unique_ptr<Stmt> ParseNameStatement() {
        Loc loc = Cur().loc;
        if (Peek().kind == T::Eq) {
            auto s = NewStmt(Stmt::Assign, loc);
            s->target = NameExpr();
            Advance();
            s->value = Expression();
            EndStatement();
            return s;
        }
        if (Peek().kind == T::LParen) {
            // Where does the parenthesis close? "a(i) = 1" assigns, "F(1, 2)" is a call
            // with its arguments in parentheses, "F (1 + 2) * 3, 4" a call without.
            size_t close = 0;
            int d = 0;
            for (size_t k = pos_ + 1; k < toks_.size(); ++k) {
                T kind = toks_[k].kind;
                if (kind == T::Newline || kind == T::End) break;
                if (kind == T::LParen) ++d;
                if (kind == T::RParen && --d == 0) {
                    close = k;
                    break;
                }
            }
            if (close) {
                T after = toks_[close + 1 < toks_.size() ? close + 1 : close].kind;
                if (after == T::Eq) {
                    auto s = NewStmt(Stmt::Assign, loc);
                    s->target = Primary();
                    Advance();
                    s->value = Expression();
                    EndStatement();
                    return s;
                }
                if (after == T::Newline || after == T::Colon || after == T::End ||
                    (singleLineIf_ > 0 && after == T::Else)) {
                    auto s = NewStmt(Stmt::Call, loc);
                    s->value = Primary();
                    EndStatement();
                    return s;
                }
            }
        }
        auto s = NewStmt(Stmt::Call, loc);
        auto call = std::make_unique<Expr>();
        call->kind = Expr::Call;
        call->loc = loc;
        call->text = Cur().text;
        Advance();
        if (!AtStatementEnd()) {
            do call->args.push_back(Expression());
            while (Accept(T::Comma));
        }
        s->value = std::move(call);
        EndStatement();
        return s;
    }

    // ---- expressions --------------------------------------------------------------------
    ExprP NameExpr() {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Name;
        e->loc = Cur().loc;
        e->text = Cur().text;
        Advance();
        return e;
    }

    ExprP Binary(T op, Loc loc, ExprP a, ExprP b) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Binary;
        e->loc = loc;
        e->op = op;
        e->args.push_back(std::move(a));
        e->args.push_back(std::move(b));
        return e;
    }
    ExprP Unary(T op, Loc loc, ExprP a) {
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Unary;
        e->loc = loc;
        e->op = op;
        e->args.push_back(std::move(a));
        return e;
    }

    ExprP Expression() {
        if (++depth_ > kMaxDepth) {
            Error(Cur().loc, "this expression is nested too deeply");
            --depth_;
            SkipLine();
            return Dummy();
        }
        ExprP e = OrExpr();
        --depth_;
        return e;
    }
    ExprP Dummy() {
        auto e = std::make_unique<Expr>();
        e->loc = Cur().loc;
        return e;
    }
    ExprP OrExpr() {
        ExprP e = AndExpr();
        while (Cur().kind == T::Or || Cur().kind == T::Xor) {
            T op = Cur().kind;
            Loc loc = Cur().loc;
            Advance();
            e = Binary(op, loc, std::move(e), AndExpr());
        }
        return e;
    }
    ExprP AndExpr() {
        ExprP e = NotExpr();
        while (Cur().kind == T::And) {
            Loc loc = Cur().loc;
            Advance();
            e = Binary(T::And, loc, std::move(e), NotExpr());
        }
        return e;
    }
    ExprP NotExpr() {
        if (Cur().kind == T::Not) {
            Loc loc = Cur().loc;
            Advance();
            if (++depth_ > kMaxDepth) {
                Error(loc, "this expression is nested too deeply");
                SkipLine();
                --depth_;
                return Dummy();
            }
            ExprP e = Unary(T::Not, loc, NotExpr());
            --depth_;
            return e;
        }
        return Comparison();
    }
    ExprP Comparison() {
        ExprP e = Sum();
        for (;;) {
            T k = Cur().kind;
            if (k != T::Eq && k != T::Ne && k != T::Lt && k != T::Le && k != T::Gt && k != T::Ge) return e;
            Loc loc = Cur().loc;
            Advance();
            e = Binary(k, loc, std::move(e), Sum());
        }
    }
    ExprP Sum() {
        ExprP e = Product();
        while (Cur().kind == T::Plus || Cur().kind == T::Minus) {
            T op = Cur().kind;
            Loc loc = Cur().loc;
            Advance();
            e = Binary(op, loc, std::move(e), Product());
        }
        return e;
    }
    ExprP Product() {
        ExprP e = Signed();
        while (Cur().kind == T::Star || Cur().kind == T::Slash || Cur().kind == T::Mod) {
            T op = Cur().kind;
            Loc loc = Cur().loc;
            Advance();
            e = Binary(op, loc, std::move(e), Signed());
        }
        return e;
    }
    ExprP Signed() {
        if (Cur().kind == T::Minus || Cur().kind == T::Plus) {
            T op = Cur().kind;
            Loc loc = Cur().loc;
            Advance();
            if (++depth_ > kMaxDepth) {
                Error(loc, "this expression is nested too deeply");
                SkipLine();
                --depth_;
                return Dummy();
            }
            ExprP inner = Signed();
            --depth_;
            return op == T::Minus ? Unary(T::Minus, loc, std::move(inner)) : std::move(inner);
        }
        return Power();
    }
    ExprP Power() {
        ExprP e = Primary();
        if (Cur().kind == T::Caret) {
            Loc loc = Cur().loc;
            Advance();
            if (++depth_ > kMaxDepth) {
                Error(loc, "this expression is nested too deeply");
                SkipLine();
                --depth_;
                return e;
            }
            e = Binary(T::Caret, loc, std::move(e), Signed());
            --depth_;
        }
        return e;
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
            if (!Accept(T::RParen)) {
                do e->args.push_back(Expression());
                while (Accept(T::Comma));
                Expect(T::RParen, "',' or ')' after an argument");
            }
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
};

}  // namespace

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

}  // namespace tvc
