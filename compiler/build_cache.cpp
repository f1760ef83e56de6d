// The product folders of tolvanec's cache (build_cache.h).
#include "build_cache.h"

#include <fcntl.h>
#include <unistd.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "front.h"
#include "tool_run.h"

namespace fs = std::filesystem;

namespace tvc {

namespace {

// The file's time, 0 when it is not there.
long long Stamp(const std::string& path) {
    std::error_code ec;
    const auto t = fs::last_write_time(path, ec);
    return ec ? 0 : static_cast<long long>(t.time_since_epoch().count());
}

// Every file below `folder`: its name, size and time.
void ListFolder(std::ostringstream& key, const std::string& folder) {
    std::error_code ec;
    key << '|' << fs::absolute(folder, ec).string();
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::error_code e2;
        key << '|' << it->path().string() << ':' << (it->is_regular_file(e2) ? it->file_size(e2) : 0) << ':'
            << it->last_write_time(e2).time_since_epoch().count();
    }
}

}  // namespace

std::string BuildKey(const Toolchain& tc, const std::string& cpp, const std::vector<std::string>& flags,
                     const std::string& assets, const std::vector<std::string>& extra) {
    std::ostringstream key;
    key << (tc.target == Target::Web ? "web" : "native") << '|' << std::hash<std::string>{}(cpp) << '|' << cpp.size()
        << '|' << tc.compiler << ':' << Stamp(FindProgram(tc.compiler)) << '|' << tc.include;
    for (const std::string& f :
         {tc.lib, tc.font, tc.shoebox, tc.jsLibrary, tc.page, tc.webmovie, tc.include + "/tolvane.h"})
        key << '|' << f << ':' << Stamp(f);
    for (const std::string& flag : flags) key << '|' << flag;
    for (const std::string& folder : {assets, tc.synth})
        if (!folder.empty()) ListFolder(key, folder);
    for (const std::string& e : extra) key << '|' << e;
    return key.str();
}

std::string ProductFolder(const std::string& source, Target target) {
    PruneProducts();
    const std::string folder = CacheFolder(source, target == Target::Web ? "-web" : "");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "tolvanec: warning: cannot make the cache folder %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return "";
    }
    const std::string record = folder + "/" + kSourceFile;
    if (!fs::exists(record, ec)) WriteTextFile(record, fs::absolute(source, ec).lexically_normal().string());
    return folder;
}

void PruneProducts() {
    std::error_code ec;
    for (auto it = fs::directory_iterator(CacheBase(), ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string source;
        std::error_code e2;
        if (ReadTextFile((it->path() / kSourceFile).string(), source) && !source.empty() && !fs::exists(source, e2) &&
            !e2)
            fs::remove_all(it->path(), e2);
    }
}

bool UpToDate(const std::string& folder, const std::string& key, const std::string& product) {
    std::string recorded;
    std::error_code ec;
    return ReadTextFile(folder + "/" + kBuildKeyFile, recorded) && recorded == key && fs::exists(product, ec);
}

void ForgetKey(const std::string& folder) {
    std::error_code ec;
    fs::remove(folder + "/" + kBuildKeyFile, ec);
}

bool RecordKey(const std::string& folder, const std::string& key) {
    return WriteTextFile(folder + "/" + kBuildKeyFile, key);
}

ProductLock::ProductLock(const std::string& folder) {
    fd_ = open((folder + "/" + kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0)
        if (errno != EINTR) {
            close(fd_);
            fd_ = -1;
            return;
        }
}

ProductLock::~ProductLock() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace tvc
