// Keyed data files: plain text files whose line n (0 ... 255) holds value n. One file
// is kept in memory at a time; reads and writes go to it, and a changed file is
// written back (every line ended by CR LF) when the program turns to another data
// file and when the program ends (the end routine calls FillBuffer(nullptr)). Files
// are found on disk first, then in the data archive.
//
// Saving never truncates the file in place: the new contents go to a temporary file
// in the same folder, which replaces the file only once it is complete and on disk. A
// save that fails leaves the old file as it was.
//
// A line number outside 0 ... 255 (checked on the truncated number, before any
// narrowing: 65536 is not line 0) reads "NO_DATA" and writes nothing, and records
// error code 7; a file found nowhere reads "NO_FILE" and
// records code 3, but a write to it keeps the line and creates the file on saving.
// None of this ends the program.
#pragma once

#include <string>

#include "core/dqstr.h"

class FAST_FILE {
public:
    static constexpr int kLines = 256;
    static constexpr int kLineLength = 1024;

    // Destruction only drops the buffer: saving is the end routine's, done while the
    // error log and the rest of the runtime are still there.
    FAST_FILE() = default;
    ~FAST_FILE() = default;
    FAST_FILE(const FAST_FILE&) = delete;
    FAST_FILE& operator=(const FAST_FILE&) = delete;

    // Makes `file` the loaded file (saving a modified one first); null only saves and
    // empties. 0, or 3 when the file cannot be found or read.
    double FillBuffer(const char* file);
    double GetFile(const char* file, short line, DQStr& out);
    double PutFile(const char* file, short line, const DQStr& value);

    int LastLine() const { return last_; }

private:
    void Save();
    std::string name_;
    std::string lines_[kLines];
    int last_ = 0;
    bool modified_ = false;
};

extern FAST_FILE __g_FastFile;

double GETFILE(DQStr file, double line, double& value);
double GETFILE(DQStr file, double line, DQStr& text);
double PUTFILE(DQStr file, double line, double value);
double PUTFILE(DQStr file, double line, DQStr text);
