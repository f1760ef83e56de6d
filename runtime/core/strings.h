// The string library: pieces, search, case, blanks, replacing, splitting, and the
// conversions between numbers and text. Positions count from 0, as MID$ counts them;
// counts and positions are truncated toward zero. Results are cut to 1023 characters,
// as every DQStr is.
#pragma once

#include "core/arrays.h"
#include "core/dqstr.h"

// The first `count` characters of s (all of them when count reaches the length; empty
// for a count of 0 or less).
DQStr LEFT_Str(DQStr s, double count);
// The last `count` characters of s.
DQStr RIGHT_Str(DQStr s, double count);
// Position of the first `find` in s at `start` or after it (a start below 0 counts as
// 0); -1 when there is none. An empty `find` is found at `start` itself while start
// is not beyond the end.
double INSTR(DQStr s, DQStr find, double start = 0);
// s with the letters a-z (A-Z) made capitals (small letters); other bytes unchanged.
DQStr UCASE_Str(DQStr s);
DQStr LCASE_Str(DQStr s);
// s without the blanks (spaces, tabs, line ends and the other bytes 1 ... 32) at both
// ends, at its start, at its end.
DQStr TRIM_Str(DQStr s);
DQStr LTRIM_Str(DQStr s);
DQStr RTRIM_Str(DQStr s);
// s with every `find`, from left to right and not overlapping, replaced by `with`;
// s itself when `find` is empty.
DQStr REPLACE_Str(DQStr s, DQStr find, DQStr with);
// Splits s at every `separator` into parts$(0), parts$(1), ... (DIMmed to the number
// of pieces) and returns that number. An empty s gives no piece (parts$ keeps one
// empty element); an empty separator gives one piece per character; two separators
// in a row give an empty piece.
double SPLITSTR(DQStr s, DQStr separator, DQStrArray& parts);
// The number written as text (the number-to-text rule: ten significant digits).
DQStr STR_Str(double value);
// The number the text starts with (the text-to-number rule; 0 when it starts with none).
double VAL(DQStr text);
