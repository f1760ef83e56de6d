// Open documents and their programs (see workspace.h).
#include "workspace.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "text.h"

namespace fs = std::filesystem;

namespace tvc::lsp {

namespace {

constexpr int kMaxRootDepth = 8;
constexpr size_t kMaxFolderFiles = 256;       // .bas files looked at in one folder
constexpr size_t kMaxScannedBytes = 1 << 20;  // of each, for its INCLUDE lines

std::string Normal(const std::string& path) { return fs::path(path).lexically_normal().string(); }

// The file names a text INCLUDEs (lines that start with INCLUDE "name").
std::vector<std::string> IncludedNames(const std::string& text) {
    std::vector<std::string> names;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        size_t i = at;
        while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (end - i > 8) {
            std::string word = text.substr(i, 7);
            for (char& c : word) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            if (word == "INCLUDE" && (text[i + 7] == ' ' || text[i + 7] == '\t')) {
                size_t q = text.find('"', i + 7);
                size_t q2 = q == std::string::npos ? q : text.find('"', q + 1);
                if (q2 != std::string::npos && q2 < end) names.push_back(text.substr(q + 1, q2 - q - 1));
            }
        }
        at = end + 1;
    }
    return names;
}

}  // namespace

bool Workspace::Read(const std::string& path, std::string& text) const {
    const std::string normal = Normal(path);
    for (const auto& [uri, doc] : docs_)
        if (doc.path == path || Normal(doc.path) == normal) {
            text = doc.text;
            return true;
        }
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > kMaxFileSize || ec) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string Workspace::UriOf(const std::string& path) const {
    for (const auto& [uri, doc] : docs_)
        if (doc.path == path) return uri;
    return PathToUri(path);
}

std::string Workspace::RootFor(const std::string& path, std::set<std::string>& seen, int depth) const {
    if (depth >= kMaxRootDepth || !seen.insert(Normal(path)).second) return path;
    std::set<std::string> candidates;
    for (const auto& [uri, doc] : docs_) candidates.insert(doc.path);
    const fs::path folder = fs::path(path).parent_path();
    for (const fs::path& dir : {folder, folder.parent_path()}) {
        std::error_code ec;
        size_t n = 0;
        for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator() && n < kMaxFolderFiles;
             it.increment(ec))
            if (it->path().extension() == ".bas") {
                candidates.insert(it->path().string());
                ++n;
            }
    }
    const std::string self = Normal(path);
    for (const std::string& c : candidates) {
        if (Normal(c) == self || seen.count(Normal(c))) continue;
        std::string text;
        if (!Read(c, text)) continue;
        if (text.size() > kMaxScannedBytes) text.resize(kMaxScannedBytes);
        for (const std::string& name : IncludedNames(text)) {
            const fs::path p = fs::path(name).is_absolute() ? fs::path(name) : fs::path(c).parent_path() / name;
            if (Normal(p.string()) == self) return RootFor(c, seen, depth + 1);
        }
    }
    return path;
}

void Workspace::FindRoots() {
    for (auto& [uri, doc] : docs_) {
        std::set<std::string> seen;
        const std::string root = UriToPath(uri).empty() ? doc.path : RootFor(doc.path, seen, 0);
        if (root != doc.root) {
            doc.root = root;
            if (!programs_.count(root)) programs_[root] = std::make_unique<Program>();
            programs_[root]->stale = true;
        }
    }
    // Programs no document belongs to any more: their problems are withdrawn.
    for (auto it = programs_.begin(); it != programs_.end();) {
        bool used = std::any_of(docs_.begin(), docs_.end(), [&](const auto& d) { return d.second.root == it->first; });
        if (used) {
            ++it;
            continue;
        }
        cleared_.insert(it->second->published.begin(), it->second->published.end());
        it = programs_.erase(it);
    }
}

Document& Workspace::Open(const std::string& uri, std::string text) {
    Document& doc = docs_[uri];
    doc.uri = uri;
    doc.path = UriToPath(uri);
    if (doc.path.empty()) doc.path = uri;
    doc.text = std::move(text);
    doc.root.clear();
    FindRoots();
    Changed(doc);
    return doc;
}

Document* Workspace::Find(const std::string& uri) {
    auto it = docs_.find(uri);
    return it == docs_.end() ? nullptr : &it->second;
}

void Workspace::Changed(const Document& doc) {
    for (auto& [root, program] : programs_)
        if (root == doc.root || program->analysis.FileIndex(doc.path) >= 0) program->stale = true;
}

void Workspace::Saved(const std::string& uri) {
    FindRoots();
    for (auto& [root, program] : programs_) program->stale = true;  // included files may have changed on disk
    (void)uri;
}

void Workspace::Close(const std::string& uri) {
    auto it = docs_.find(uri);
    if (it == docs_.end()) return;
    const Document closed = it->second;
    docs_.erase(it);
    FindRoots();
    Changed(closed);  // the program now reads the file from the disk
}

Workspace::Program& Workspace::Fresh(const std::string& root) {
    std::unique_ptr<Program>& p = programs_[root];
    if (!p) p = std::make_unique<Program>();
    if (p->stale) {
        p->analysis = Analyze(root, [this](const std::string& path, std::string& text) { return Read(path, text); });
        p->stale = false;
        cleared_.insert(p->published.begin(), p->published.end());  // republished by Refresh
        p->published.clear();
        pending_.insert(root);
    }
    return *p;
}

const Analysis& Workspace::ProgramOf(Document& doc) {
    if (doc.root.empty()) doc.root = doc.path;
    const Analysis& a = Fresh(doc.root).analysis;
    if (a.FileIndex(doc.path) >= 0 || doc.root == doc.path) return a;
    doc.root = doc.path;  // no longer included: a program of its own
    return Fresh(doc.root).analysis;
}

std::vector<Workspace::Publication> Workspace::Refresh() {
    std::vector<Publication> out;
    std::vector<std::string> roots;
    for (auto& [root, program] : programs_)
        if (program->stale) roots.push_back(root);
    for (const std::string& root : roots) Fresh(root);
    // A document its program no longer includes is a program of its own until a file
    // includes it again; a document on its own that another program now includes
    // joins that program.
    for (auto& [uri, doc] : docs_) {
        auto it = programs_.find(doc.root);
        if (doc.root == doc.path) {
            for (auto& [root, program] : programs_)
                if (root != doc.path && !program->stale && program->analysis.FileIndex(doc.path) >= 0) {
                    doc.root = root;
                    break;
                }
            if (doc.root != doc.path && it != programs_.end()) {
                cleared_.insert(it->second->published.begin(), it->second->published.end());
                programs_.erase(it);
                pending_.erase(doc.path);
            }
        } else if (it != programs_.end() && it->second->analysis.FileIndex(doc.path) < 0) {
            doc.root = doc.path;
            if (!programs_.count(doc.root)) programs_[doc.root] = std::make_unique<Program>();
            Fresh(doc.root);
        }
    }
    for (const std::string& root : pending_) {
        auto it = programs_.find(root);
        if (it == programs_.end()) continue;
        Program& p = *it->second;
        const Analysis& a = p.analysis;
        for (int f = 0; f < static_cast<int>(a.files.size()); ++f) {
            Publication pub;
            pub.path = a.files[f].path;
            pub.uri = UriOf(pub.path);
            pub.analysis = &a;
            pub.file = f;
            for (const Problem& pr : a.problems)
                if (pr.at.file == f) pub.problems.push_back(pr);
            // A file with no problems is published only to withdraw earlier ones, or
            // when the editor has it open (so that it sees the check happened).
            const bool open = docs_.count(pub.uri) > 0;
            if (!pub.problems.empty() || open || cleared_.count(pub.path)) {
                if (!pub.problems.empty()) p.published.insert(pub.path);
                cleared_.erase(pub.path);
                out.push_back(std::move(pub));
            }
        }
    }
    pending_.clear();
    for (const std::string& path : cleared_) {
        Publication pub;
        pub.path = path;
        pub.uri = UriOf(path);
        out.push_back(std::move(pub));
    }
    cleared_.clear();
    return out;
}

}  // namespace tvc::lsp
