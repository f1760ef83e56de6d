#include "core/program.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>

#include "core/numbers.h"
#include "platform/system.h"

int DQ_RESX = 640;
int DQ_RESY = 480;
int DQ_FULLSCREEN = 0;
int DQ_FRAMERATE = 60;
int DQ_DEBUG = 0;
int DQ_WANTMOUSE = 1;

DQStr __g_cmdline;

double __g_error = 0;
double __g_errorline = 0;
double __g_debugline = 0;
double __g_debugfile = 0;

namespace {
int g_fatalCode = 0;
const char* const* g_sourceFiles = nullptr;
int g_sourceFileCount = 0;
void (*g_endRoutine)() = nullptr;
void (*g_hideForDialog)() = nullptr;
void (*g_restoreAfterDialog)() = nullptr;
void (*g_fatalErrorHook)(const char* message) = nullptr;

const char* ErrorName(int code) {
    switch (code) {
        case 3: return "a file cannot be read";
        case 7: return "out of memory or a data-file line out of range";
        case 8: return "array not dimensioned";
        case 9: return "array index out of range";
        default: return "runtime error";
    }
}

// Where the BASIC program is: "at grid.bas:3", or "in line 3" for a program that named
// no source files.
std::string Place(double line) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", line);
    const double file = __g_debugfile;
    if (file >= 0 && file < g_sourceFileCount)
        return std::string("at ") + g_sourceFiles[static_cast<int>(file)] + ":" + text;
    return std::string("in line ") + text;
}
}  // namespace

void __SetCommandLine(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        const std::string arg = argv[i];
        const bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
        text += quote ? '"' + arg + '"' : arg;
    }
    __g_cmdline = text.c_str();
}

double __Error(double code) {
    __g_error = code;
    __g_errorline = __g_debugline;
    return code;
}

void __FatalError(double code, const char* reason) {
    __Error(code);
    g_fatalCode = __TruncInt(code);
    const char* what = reason ? reason : ErrorName(g_fatalCode);
    const std::string message =
        "runtime error " + std::to_string(g_fatalCode) + " (" + what + ") " + Place(__g_errorline);
    if (g_fatalErrorHook) g_fatalErrorHook(message.c_str());
    std::fprintf(stderr, "Tolvane: %s\n", message.c_str());
    __EndProgram();
}

void __SetSourceFiles(const char* const* names, int count) {
    g_sourceFiles = names;
    g_sourceFileCount = names && count > 0 ? count : 0;
}

int __FatalCode() { return g_fatalCode; }

void __SetFatalErrorHook(void (*hook)(const char* message)) { g_fatalErrorHook = hook; }

void __dLn(double file, double line) {
    __g_debugfile = file;
    __g_debugline = line;
}

double END() {
    __g_error = 0;
    __g_errorline = __g_debugline;
    __EndProgram();
}

void __EndProgram() {
    if (g_endRoutine) g_endRoutine();
    std::fflush(stdout);
    std::exit(g_fatalCode);
}

void __SetEndRoutine(void (*routine)()) { g_endRoutine = routine; }

void __SetDialogWindowHooks(void (*hide)(), void (*restore)()) {
    g_hideForDialog = hide;
    g_restoreAfterDialog = restore;
}

void __HideWindowForDialog() {
    if (g_hideForDialog) g_hideForDialog();
}

void __RestoreWindowAfterDialog() {
    if (g_restoreAfterDialog) g_restoreAfterDialog();
}

std::string __ErrorLogPath() { return plat::TempDir() + "ErrorLog.txt"; }

void __AppendErrorLog(const char* text) {
    FILE* f = std::fopen(__ErrorLogPath().c_str(), "ab");
    if (!f) return;
    std::fputs(text ? text : "null", f);
    std::fputs("\r\n", f);
    std::fclose(f);
}

void __Warn(const std::string& text) {
    constexpr size_t kMostTexts = 1000;
    static std::unordered_set<std::string> told;
    if (told.size() > kMostTexts || !told.insert(text).second) return;
    const std::string line =
        told.size() > kMostTexts ? std::string("further warnings are left out") : text + " " + Place(__g_debugline);
    std::fprintf(stderr, "Tolvane: %s\n", line.c_str());
    std::fflush(stderr);
    __AppendErrorLog(line.c_str());
}

void __WarnLoad(const char* command, const DQStr& file, const std::string& what) {
    __Warn(std::string(command) + " \"" + file.c_str() + "\": " + what);
}
