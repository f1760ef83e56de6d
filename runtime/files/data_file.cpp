#include "files/data_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/program.h"
#include "core/numbers.h"
#include "files/file_handle.h"
#include "files/shoebox.h"
#include "platform/files.h"
#include "platform/process.h"

FAST_FILE __g_FastFile;

namespace {
constexpr int kLongestName = 1023;

void Record(double code) { __Error(code); }

// The line number as the commands take it, truncated toward zero. A number outside
// 0 ... 255 (a NaN too) becomes -1, which every command refuses, before any narrowing:
// 65536 must not come back as line 0.
short LineArg(double line) {
    const double n = std::trunc(line);
    return n >= 0 && n <= FAST_FILE::kLines - 1 ? static_cast<short>(n) : -1;
}
bool LineInRange(short line) { return static_cast<unsigned short>(line) <= 255; }

// The file a save replaces: the name itself, or what it links to, so that a link
// stays a link.
std::string SaveTarget(const std::string& name) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(name, ec)) return name;
    std::filesystem::path real = std::filesystem::weakly_canonical(name, ec);
    return ec ? name : real.string();
}
}  // namespace

void FAST_FILE::Save() {
    if (name_.empty() || !modified_) return;
    const std::string target = SaveTarget(name_);
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string temp;
    plat::File out;
    for (int i = 0; i < 100; ++i) {
        temp = folder + ".tolvane-save-" + std::to_string(plat::ProcessId()) + "-" + std::to_string(i);
        if (out.CreateNew(temp.c_str(), 0666) != plat::File::Created::NameTaken) break;
    }
    if (!out.IsOpen()) return;  // the changes are lost; the file stays as it was
    __AppendErrorLog("Writing");
    __AppendErrorLog(name_.c_str());
    std::string text;
    for (int i = 0; i <= last_; ++i) {
        text += lines_[i];
        text += "\r\n";
    }
    bool ok = out.WriteAll(text.data(), text.size()) == 0;
    unsigned rights = 0;
    if (ok && plat::PermissionsOf(target.c_str(), rights)) ok = out.SetPermissions(rights);  // keep its rights
    ok = out.Sync() && ok;
    ok = out.Close() && ok;
    // Only complete contents replace the file; anything less is dropped.
    if (!ok || !plat::Rename(temp.c_str(), target.c_str())) plat::RemoveFile(temp.c_str());
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
