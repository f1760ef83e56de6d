// The tokens of Tolvane BASIC and the lexer.
#pragma once

#include <string>
#include <vector>

#include "source.h"

namespace tvc {

class Diagnostics;

enum class T {
    End,
    Newline,
    Colon,
    Comma,
    LParen,
    RParen,
    Dot,
    Number,
    String,
    Name,
    Plus,
    Minus,
    Star,
    Slash,
    Caret,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    // reserved words
    And,
    Or,
    Not,
    Xor,
    Mod,
    If,
    Then,
    Else,
    ElseIf,
    EndIf,
    EndKw,
    For,
    To,
    Step,
    Next,
    While,
    Wend,
    Repeat,
    Until,
    Break,
    Continue,
    Select,
    Case,
    Sub,
    EndSub,
    EndSelect,
    Return,
    Local,
    Global,
    Dim,
    Include,
    Option,
    Settings,
    Is,
    Const,
    Type,
    EndType,
    As,
};

struct Token {
    T kind = T::End;
    Loc loc;
    std::string text;  // the name as written (with '$'), a string literal's value
    double number = 0;
};

// Tokens of one file, ending with a Newline and End. Lexical errors are reported and
// the bad characters skipped. A '_' after the last token of a line (before an optional
// comment) continues the statement on the next line.
std::vector<Token> Lex(const std::string& text, int file, Diagnostics& diag);

// "'('", "a name", "THEN" ...: a token kind for messages.
const char* TokenName(T kind);
// Every reserved word, upper case, in alphabetical order.
std::vector<std::string> ReservedWords();
// The reserved word's kind, or T::Name when the (upper-case) word is none.
T KeywordKind(const std::string& upper);

}  // namespace tvc
