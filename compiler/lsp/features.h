// Internal: the answers of the language server's requests, from a program's analysis.
// Positions in and out are the protocol's (lines and characters from 0, characters in
// the agreed encoding).
#pragma once

#include <nlohmann/json.hpp>

#include "analysis.h"
#include "text.h"

namespace tvc::lsp {

struct Spot {
    const Analysis* analysis = nullptr;
    int file = -1;    // the document's index in the analysis
    int line = 0;     // from 0
    int byteCol = 0;  // from 0, in bytes, clamped to the line
    Encoding encoding = Encoding::Utf16;
    std::function<std::string(const std::string& path)> uriOf;
};

// A Spot for a protocol position in one file of an analysis.
Spot SpotAt(const Analysis& a, int file, long long line, long long character, Encoding enc);

nlohmann::json Diagnostics(const Analysis& a, int file, const std::vector<Problem>& problems, Encoding enc);
nlohmann::json Completion(const Spot& at);
nlohmann::json Hover(const Spot& at);
nlohmann::json Definition(const Spot& at);
nlohmann::json SignatureHelp(const Spot& at);
nlohmann::json DocumentSymbols(const Analysis& a, int file, bool hierarchical, Encoding enc, const std::string& uri);

}  // namespace tvc::lsp
