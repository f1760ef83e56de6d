// Internal: the documents the editor has open and the programs they belong to.
//
// A document that another file INCLUDEs is checked as part of that file's program (its
// root), so that it sees the globals and SUBs the rest of the program declares: the
// root is a .bas file in the document's folder or the folder above (or an open
// document) that includes it, followed upwards.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "analysis.h"

namespace tvc::lsp {

struct Document {
    std::string uri;
    std::string path;  // the file it is (for a URI of another kind, the URI itself)
    std::string text;
    std::string root;  // the main file of its program
};

class Workspace {
public:
    // Files read from the disk for the programs are at most this long.
    static constexpr size_t kMaxFileSize = 16 * 1024 * 1024;

    Document& Open(const std::string& uri, std::string text);
    Document* Find(const std::string& uri);
    // The document's text was changed (by the caller): its programs are out of date.
    void Changed(const Document& doc);
    // Saved or closed documents, and changes on disk, can change which file is a root.
    void Saved(const std::string& uri);
    void Close(const std::string& uri);

    // The analysis of the program that holds the document, brought up to date.
    const Analysis& ProgramOf(Document& doc);

    // Programs out of date, brought up to date; for each, the files whose problems are
    // to be published (path -> uri), including files that had problems before and have
    // none now, or left the program.
    struct Publication {
        std::string uri, path;
        std::vector<Problem> problems;
        const Analysis* analysis = nullptr;  // for the positions; null when cleared
        int file = -1;
    };
    std::vector<Publication> Refresh();

    // What a path reads as: an open document's text, else the file on the disk.
    bool Read(const std::string& path, std::string& text) const;
    std::string UriOf(const std::string& path) const;

private:
    struct Program {
        Analysis analysis;
        bool stale = true;
        std::set<std::string> published;  // paths with problems published last time
    };
    std::string RootFor(const std::string& path, std::set<std::string>& seen, int depth) const;
    void FindRoots();
    Program& Fresh(const std::string& root);

    std::map<std::string, Document> docs_;                      // by URI
    std::map<std::string, std::unique_ptr<Program>> programs_;  // by root path
    std::set<std::string> pending_;                             // roots whose problems are to be published
    std::set<std::string> cleared_;                             // paths whose problems must be withdrawn
};

}  // namespace tvc::lsp
