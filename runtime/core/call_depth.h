// How deep a compiled program's SUB calls nest. Every SUB of a compiled program opens
// with a __CallDepth; a call nested deeper than __kMaxCallDepth ends the program with
// code 7 ("SUBs nested too deeply") before the machine's stack runs out. The start of a
// SUB is a checkpoint too (core/checkpoint.h).
#pragma once

#include "core/checkpoint.h"
#include "core/program.h"

inline constexpr int __kMaxCallDepth = 10000;
inline int __g_callDepth = 0;

class __CallDepth {
public:
    __CallDepth() {
        if (++__g_callDepth > __kMaxCallDepth) __FatalError(7, "SUBs nested too deeply");
        __Cp();
    }
    ~__CallDepth() { --__g_callDepth; }
    __CallDepth(const __CallDepth&) = delete;
    __CallDepth& operator=(const __CallDepth&) = delete;
};
