// Internal: what tolvanec keeps of a program between builds, the same for both targets
// and for `build` and `run`. Under tolvanec's cache folder (CacheBase) each source file
// has a folder per target, NAME-HASH for the desktop and NAME-HASH-web for the browser
// (CacheFolder), holding the last product (the program file, or the page's files),
// `build-key`, the text of all that the product was made from, `.source`, the source
// file's path, and `.lock`, which one build at a time holds (ProductLock). A build whose
// key is the recorded one, with its product there, does no work; `run` starts the
// product there, and `build` copies it to its output. Beside them are the precompiled
// headers (precompiled.h) and the browser's converted movies.
#pragma once

#include <string>
#include <vector>

#include "toolchain.h"

namespace tvc {

// The text of all a product is made from: the translated program, the tools of the
// toolchain (their paths and times), the compiler's flags, the assets folder's files
// (names, sizes, times) and `extra` (what else the product depends on, such as the
// page's options).
std::string BuildKey(const Toolchain& tc, const std::string& cpp, const std::vector<std::string>& flags,
                     const std::string& assets, const std::vector<std::string>& extra);

// The product folder of `source` for `target`, made when missing; "" (with a warning
// that says why) when it cannot be made. Each records its source file (kSourceFile).
std::string ProductFolder(const std::string& source, Target target);

// Removes the product folders whose source file is gone (a program built from a
// temporary folder, say): with it go the data files that the program wrote there.
void PruneProducts();

// True when `folder` holds a product made with `key` whose file `product` is there.
bool UpToDate(const std::string& folder, const std::string& key, const std::string& product);

// Forgets the folder's key (before its product is made anew, so that a build that fails
// halfway is never taken for a good one), and records it when the product is whole.
void ForgetKey(const std::string& folder);
bool RecordKey(const std::string& folder, const std::string& key);

// Holds a product folder for one tolvanec at a time, from the look at its key until its
// product is copied out: another making the same product meanwhile waits, then finds it
// made, rather than writing over it while it is written. An advisory lock on kLockFile;
// where that file cannot be made, nothing is held.
class ProductLock {
public:
    explicit ProductLock(const std::string& folder);
    ~ProductLock();
    ProductLock(const ProductLock&) = delete;
    ProductLock& operator=(const ProductLock&) = delete;

private:
    int fd_ = -1;
};

// The names of the key file, of the source's record and of the lock, which copies of a product leave
// out (a hidden file, which the page's server does not serve).
inline constexpr const char* kBuildKeyFile = "build-key";
inline constexpr const char* kSourceFile = ".source";
inline constexpr const char* kLockFile = ".lock";

}  // namespace tvc
