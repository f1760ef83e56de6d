#include "files/data_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/program.h"
#include "core/numbers.h"
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

// LineArg of a command's line number; a refused one is also told in the error log and on
// standard error, since the error code it records shows nowhere else.
short CheckedLine(const char* command, const DQStr& file, double line, const char* outcome) {
    const short n = LineArg(line);
    if (n < 0)
        __Warn(std::string(command) + " \"" + file.c_str() + "\", " + DQStr(line).c_str() + ": line outside 0 ... 255, " +
               outcome + " (error code 7)");
    return n;
}

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

bool FAST_FILE::Start(const char* file) {
    Save();
    for (std::string& l : lines_) l.clear();
    last_ = 0;
    modified_ = false;
    name_.clear();
    if (!file) return false;
    name_.assign(file, std::min<size_t>(std::strlen(file), kLongestName));
    return true;
}

void FAST_FILE::SplitLines(std::span<const uint8_t> bytes) {
    // Lines end with LF (a CR before it is dropped); characters beyond the line length
    // and lines beyond the last are ignored.
    const size_t size = bytes.size();
    size_t at = 0;
    for (int n = 0; n < kLines && at < size; ++n) {
        const uint8_t* start = bytes.data() + at;
        const void* lf = std::memchr(start, '\n', size - at);
        const size_t length = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - start) : size - at;
        std::string& line = lines_[n];
        line.assign(reinterpret_cast<const char*>(start), std::min<size_t>(length, kLineLength));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        last_ = n;
        at += length + 1;
    }
}

double FAST_FILE::FillBuffer(const char* file) {
    if (file && name_ == file) return 0;
    if (!Start(file)) return 0;
    std::vector<uint8_t> bytes;
    if (__g_ShoeBox_Data.Fetch(name_.c_str(), bytes) != __Found::Bytes) {
        Record(3);
        return 3;
    }
    SplitLines(bytes);
    return 0;
}

void FAST_FILE::FillBuffer(const char* file, std::span<const uint8_t> contents) {
    if (Start(file)) SplitLines(contents);
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
    __g_FastFile.GetFile(file.c_str(), CheckedLine("GETFILE", file, line, "0 read"), text);
    value = text.Number();  // "NO_DATA" and "NO_FILE" read as 0
    return 0;
}

double GETFILE(DQStr file, double line, DQStr& text) {
    __g_FastFile.GetFile(file.c_str(), CheckedLine("GETFILE", file, line, "\"NO_DATA\" read"), text);
    return 0;
}

double PUTFILE(DQStr file, double line, double value) {
    __g_FastFile.PutFile(file.c_str(), CheckedLine("PUTFILE", file, line, "nothing written"), DQStr(value));
    return 0;
}

double PUTFILE(DQStr file, double line, DQStr text) {
    __g_FastFile.PutFile(file.c_str(), CheckedLine("PUTFILE", file, line, "nothing written"), text);
    return 0;
}
