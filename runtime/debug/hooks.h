// What a debug build of a compiled program tells the debugger: the line of every
// statement (__Ln), the SUB frames with their local variables (__DbgFrame), and the
// tables that name the globals and describe the TYPEs (__DbgSetProgram). A plain build
// emits none of it and uses __dLn.
//
// __Ln stores the place as __dLn does and reads one relaxed atomic; only while the
// debugger wants something (a breakpoint is set, a step runs, a request is waiting)
// does it call into the debug agent (debug/agent.h). In the browser the agent is absent:
// the place is stored and the tables are kept by nobody.
#pragma once

#include <atomic>
#include <cstddef>

#include "core/arrays.h"
#include "core/dqstr.h"
#include "core/program.h"

// ---- the variable tables ------------------------------------------------------------------
struct __DbgType;

// An array as the debugger reads it: its storage (null before DIM) and its shape.
struct __DbgArray {
    void* data = nullptr;
    int count = 0;
    int dims = 0;
    int sizes[8] = {};
};

// A variable, a parameter or a TYPE's field: its BASIC name, the type of its value
// (or of its elements), whether it is an array.
struct __DbgName {
    const char* name;
    const __DbgType* type;
    bool isArray;
};

struct __DbgField {
    __DbgName name;
    void* (*at)(void* record);  // the field within a record of the TYPE
};

struct __DbgType {
    enum Kind { Number, String, Record };
    Kind kind;
    const char* name;                   // "number", "string", or the TYPE's name
    __DbgArray (*view)(void* array);    // an __DQArray of this type, as the debugger reads it
    void* (*element)(void* data, int);  // the element at a position of an array's storage
    const __DbgField* fields;           // a TYPE's fields
    int fieldCount;
};

template <class T>
__DbgArray __DbgViewArray(void* array) {
    auto& a = *static_cast<__DQArray<T>*>(array);
    __DbgArray v;
    v.data = const_cast<T*>(a.Data());
    v.count = v.data ? a.ElementCount() : 0;
    v.dims = v.data ? a.DimensionCount() : 0;
    if (v.dims < 0 || v.dims > 8) v.dims = 0;
    for (int k = 0; k < v.dims; ++k) v.sizes[k] = static_cast<int>(a.Bounds(k));
    return v;
}
template <class T>
void* __DbgElement(void* data, int position) {
    return static_cast<T*>(data) + position;
}

inline const __DbgType __kDbgNumber{__DbgType::Number,    "number", __DbgViewArray<double>,
                                    __DbgElement<double>, nullptr,  0};
inline const __DbgType __kDbgString{__DbgType::String,   "string", __DbgViewArray<DQStr>,
                                    __DbgElement<DQStr>, nullptr,  0};

// ---- frames ---------------------------------------------------------------------------------
// A running SUB: its name, its parameters and locals with their places, and the place of
// the call it came from. Frames are linked from the innermost out.
struct __DbgFrame;
inline __DbgFrame* __g_dbgTop = nullptr;
inline int __g_dbgDepth = 0;

struct __DbgFrame {
    const char* sub;
    const __DbgName* names;
    void* const* places;
    int count;
    double callerFile, callerLine;
    __DbgFrame* outer;

    __DbgFrame(const char* subName, const __DbgName* localNames, void* const* localPlaces, int localCount)
        : sub(subName),
          names(localNames),
          places(localPlaces),
          count(localCount),
          callerFile(__g_debugfile),
          callerLine(__g_debugline),
          outer(__g_dbgTop) {
        __g_dbgTop = this;
        ++__g_dbgDepth;
    }
    ~__DbgFrame() {  // back in the caller, at the statement that called
        __g_dbgTop = outer;
        --__g_dbgDepth;
        __g_debugfile = callerFile;
        __g_debugline = callerLine;
    }
    __DbgFrame(const __DbgFrame&) = delete;
    __DbgFrame& operator=(const __DbgFrame&) = delete;
};

// ---- the program ------------------------------------------------------------------------------
// Nonzero while the debugger wants to see the next statement.
inline std::atomic<int> __g_debugWanted{0};

#ifdef __EMSCRIPTEN__
inline bool __DbgSetProgram(const __DbgName*, void* const*, int, const char* const*, int) { return true; }
#else
// The program's globals and their places, and its source files by full path (in the
// order of __dLn's file numbers); a debug build registers them while it starts.
bool __DbgSetProgram(const __DbgName* globals, void* const* places, int count, const char* const* files, int fileCount);
// The debugger wants the statement about to run.
void __DebugLine();
#endif

inline void __Ln(double file, double line) {
    __g_debugfile = file;
    __g_debugline = line;
#ifndef __EMSCRIPTEN__
    if (__g_debugWanted.load(std::memory_order_relaxed)) [[unlikely]]
        __DebugLine();
#endif
}
