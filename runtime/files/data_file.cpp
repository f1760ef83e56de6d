#include "files/data_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/lifecycle.h"
#include "core/numbers.h"
#include "files/file_handle.h"
#include "files/shoebox.h"

FAST_FILE __g_FastFile;

namespace {
constexpr int kLongestName = 1023;

void Record(double code) { __Error(code); }

// The line number as the commands take it: truncated, low 16 bits, signed.
short LineArg(double line) { return static_cast<short>(__TruncInt(line) & 0xFFFF); }
bool LineInRange(short line) { return static_cast<unsigned short>(line) <= 255; }
}  // namespace

void FAST_FILE::Save() {
    if (name_.empty() || !modified_) return;
    FILE* f = std::fopen(name_.c_str(), "wb");
    if (!f) return;  // the changes are lost
    __AppendErrorLog("Writing");
    __AppendErrorLog(name_.c_str());
    for (int i = 0; i <= last_; ++i) {
        std::fwrite(lines_[i].data(), 1, lines_[i].size(), f);
        std::fputs("\r\n", f);
    }
    std::fclose(f);
}

double FAST_FILE::FillBuffer(const char* file) {
    if (file && name_ == file) return 0;
    Save();
    for (std::string& l : lines_) l.clear();
    last_ = 0;
    modified_ = false;
    name_.clear();
    if (!file) return 0;
    name_.assign(file, std::min<size_t>(std::strlen(file), kLongestName));

    DQStr resolved(name_.c_str());
    KWFileSystem in;
    if (!__g_ShoeBox_Data.Resolve(resolved) || !in.OpenRead(resolved.c_str())) {
        Record(3);
        return 3;
    }
    FILE* f = in.Get();
    for (int n = 0; n < kLines; ++n) {
        int c = std::fgetc(f);
        if (c == EOF) break;
        std::string& line = lines_[n];
        while (c != EOF && c != '\n') {
            if (line.size() < kLineLength) line += static_cast<char>(c);
            c = std::fgetc(f);
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        last_ = n;
        if (c == EOF) break;
    }
    return 0;
}

double FAST_FILE::GetFile(const char* file, short line, DQStr& out) {
    if (!LineInRange(line)) {
        out = "NO_DATA";
        Record(7);
        return 7;
    }
    if (FillBuffer(file) == 3) {
        out = "NO_FILE";
        return 3;
    }
    out = lines_[static_cast<unsigned short>(line)].c_str();
    out.TrimRight();
    if (out.Length() == 0) out = "NO_DATA";
    return 0;
}

double FAST_FILE::PutFile(const char* file, short line, const DQStr& value) {
    if (!LineInRange(line)) {
        Record(7);
        return 7;
    }
    FillBuffer(file);  // a file that is not there yet is made when saved
    const int n = static_cast<unsigned short>(line);
    lines_[n] = value.c_str();
    if (n > last_) last_ = n;
    modified_ = true;
    return 0;
}

double GETFILE(DQStr file, double line, double& value) {
    DQStr text;
    __g_FastFile.GetFile(file.c_str(), LineArg(line), text);
    value = text.Number();  // "NO_DATA" and "NO_FILE" read as 0
    return 0;
}

double GETFILE(DQStr file, double line, DQStr& text) {
    __g_FastFile.GetFile(file.c_str(), LineArg(line), text);
    return 0;
}

double PUTFILE(DQStr file, double line, double value) {
    __g_FastFile.PutFile(file.c_str(), LineArg(line), DQStr(value));
    return 0;
}

double PUTFILE(DQStr file, double line, DQStr text) {
    __g_FastFile.PutFile(file.c_str(), LineArg(line), text);
    return 0;
}
