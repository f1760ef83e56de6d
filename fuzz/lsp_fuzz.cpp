// The language server on any input, in two ways: the bytes as the whole stream a
// client sends after initialize (framing, JSON, requests; inputs starting with
// "Content-Length" or "{"), or else as the text of an open document on which every
// request is made at places spread over it, and which is edited. Whatever comes in,
// the server answers and ends when the stream does: never a crash or a hang.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "input_file.h"
#include "lsp/server.h"

namespace {

std::string Frame(const nlohmann::json& message) {
    const std::string body = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string DocumentSession(const std::string& text) {
    using nlohmann::json;
    const std::string uri = "file:///tolvane-fuzz/doc.bas";
    std::string s = Frame({{"jsonrpc", "2.0"}, {"method", "textDocument/didOpen"},
                           {"params", {{"textDocument", {{"uri", uri}, {"languageId", "tolvane"}, {"version", 1}, {"text", text}}}}}});
    int lines = 1;
    for (char c : text) lines += c == '\n';
    int id = 10;
    for (int k = 0; k < 8; ++k) {
        const json position = {{"line", (k * 7) % lines}, {"character", k * 5}};
        for (const char* method : {"textDocument/completion", "textDocument/hover", "textDocument/definition",
                                   "textDocument/signatureHelp"})
            s += Frame({{"jsonrpc", "2.0"}, {"id", id++}, {"method", method},
                        {"params", {{"textDocument", {{"uri", uri}}}, {"position", position}}}});
        if (k % 3 != 2) continue;  // two edits: each makes the next request check the program again
        const json range = {{"start", position}, {"end", {{"line", position["line"]}, {"character", k * 5 + k % 3}}}};
        s += Frame({{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"},
                    {"params", {{"textDocument", {{"uri", uri}, {"version", k + 2}}},
                                {"contentChanges", json::array({{{"range", range}, {"text", k % 2 ? "(\"" : "\n"}}})}}}});
    }
    s += Frame({{"jsonrpc", "2.0"}, {"id", id}, {"method", "textDocument/documentSymbol"},
                {"params", {{"textDocument", {{"uri", uri}}}}}});
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string stream = Frame({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", {{"capabilities", nlohmann::json::object()}}}});
    stream += Frame({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", nlohmann::json::object()}});
    const bool raw = input.rfind("Content-Length", 0) == 0 || input.rfind("{", 0) == 0;
    stream += raw ? input : DocumentSession(input);
    const char* path = fuzz::WriteInput(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    const int in = open(path, O_RDONLY);
    static const int out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0) std::abort();
    tvc::lsp::Serve(in, out);
    close(in);
    return 0;
}
