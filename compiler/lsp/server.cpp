// The language server's requests and notifications (see server.h). Every message is
// taken apart defensively: whatever arrives, the answer is a result or one of the
// protocol's error codes, and the server goes on.
#include "server.h"

#include <csignal>
#include <functional>
#include <map>

#include <nlohmann/json.hpp>

#include "features.h"
#include "transport.h"
#include "workspace.h"

using nlohmann::json;

namespace tvc::lsp {

namespace {

// Error codes of JSON-RPC and the protocol.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;

// JSON nested deeper than this is refused before it is parsed.
constexpr int kMaxNesting = 256;

struct BadParams {
    std::string what;
};

bool NestedTooDeeply(const std::string& body) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxNesting) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

const json& Member(const json& object, const char* key) {
    if (!object.is_object() || !object.contains(key)) throw BadParams{std::string("'") + key + "' is missing"};
    return object[key];
}

std::string Text(const json& object, const char* key) {
    const json& v = Member(object, key);
    if (!v.is_string()) throw BadParams{std::string("'") + key + "' must be a string"};
    return v.get<std::string>();
}

long long Count(const json& object, const char* key) {
    const json& v = Member(object, key);
    if (!v.is_number_integer() || (v.is_number_integer() && !v.is_number_unsigned() && v.get<long long>() < 0))
        throw BadParams{std::string("'") + key + "' must be a whole number from 0"};
    if (v.is_number_unsigned() && v.get<unsigned long long>() > (1ULL << 40)) return 1LL << 40;
    return v.get<long long>();
}

class Server {
public:
    Server(int in, int out) : io_(in, out) {
        requests_ = {
            {"initialize", [this](const json& p) { return Initialize(p); }},
            {"shutdown",
             [this](const json&) {
                 shutdown_ = true;
                 return json(nullptr);
             }},
            {"textDocument/completion", [this](const json& p) { return AtSpot(p, Completion); }},
            {"textDocument/hover", [this](const json& p) { return AtSpot(p, Hover); }},
            {"textDocument/definition", [this](const json& p) { return AtSpot(p, Definition); }},
            {"textDocument/signatureHelp", [this](const json& p) { return AtSpot(p, SignatureHelp); }},
            {"textDocument/documentSymbol", [this](const json& p) { return Symbols(p); }},
        };
        notifications_ = {
            {"initialized", [](const json&) {}},
            {"textDocument/didOpen", [this](const json& p) { DidOpen(p); }},
            {"textDocument/didChange", [this](const json& p) { DidChange(p); }},
            {"textDocument/didClose", [this](const json& p) { docs_.Close(Text(Member(p, "textDocument"), "uri")); }},
            {"textDocument/didSave", [this](const json& p) { docs_.Saved(Text(Member(p, "textDocument"), "uri")); }},
        };
    }

    int Run() {
        for (;;) {
            if (initialized_ && !io_.Waiting()) Publish();
            std::string body;
            switch (io_.Next(body)) {
                case Transport::Read::Closed: return 1;
                case Transport::Read::Fault: Error(nullptr, kInvalidRequest, body); break;
                case Transport::Read::Message: Handle(body); break;
            }
            if (exit_) return shutdown_ ? 0 : 1;
        }
    }

private:
    void Send(const json& message) {
        if (!io_.Send(message.dump(-1, ' ', false, json::error_handler_t::replace))) exit_ = true;
    }
    void Reply(const json& id, json result) { Send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}); }
    void Error(const json& id, int code, const std::string& message) {
        Send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
    }
    void Log(const std::string& message) {
        Send({{"jsonrpc", "2.0"}, {"method", "window/logMessage"}, {"params", {{"type", 1}, {"message", message}}}});
    }

    void Handle(const std::string& body) {
        if (NestedTooDeeply(body)) return Error(nullptr, kParseError, "the message is nested too deeply");
        json msg = json::parse(body, nullptr, false);
        if (msg.is_discarded()) return Error(nullptr, kParseError, "the message is not JSON");
        if (!msg.is_object()) return Error(nullptr, kInvalidRequest, "a message must be a JSON object");
        const bool hasId = msg.contains("id");
        json id = hasId ? msg["id"] : json(nullptr);
        if (hasId && !id.is_string() && !id.is_number_integer() && !id.is_null())
            return Error(nullptr, kInvalidRequest, "an id must be a number or a string");
        if (!msg.contains("method")) return;  // a response: the server asks nothing
        if (!msg["method"].is_string()) return Error(id, kInvalidRequest, "'method' must be a string");
        if (!msg.contains("jsonrpc") || msg["jsonrpc"] != "2.0") {
            if (hasId) Error(id, kInvalidRequest, "'jsonrpc' must be \"2.0\"");
            return;
        }
        const std::string method = msg["method"].get<std::string>();
        const json params = msg.contains("params") && !msg["params"].is_null() ? msg["params"] : json::object();
        if (!params.is_object() && !params.is_array())
            return hasId ? Error(id, kInvalidRequest, "'params' must be an object or an array") : void();
        if (method == "exit")
            exit_ = true;
        else if (hasId)
            Request(id, method, params);
        else
            Notification(method, params);
    }

    void Request(const json& id, const std::string& method, const json& params) {
        if (shutdown_) return Error(id, kInvalidRequest, "the server is shutting down");
        if (!initialized_ && method != "initialize") return Error(id, kServerNotInitialized, "initialize comes first");
        if (initialized_ && method == "initialize")
            return Error(id, kInvalidRequest, "the server is already initialized");
        auto it = requests_.find(method);
        if (it == requests_.end()) return Error(id, kMethodNotFound, "no method " + method);
        try {
            Reply(id, it->second(params));
        } catch (const BadParams& e) {
            Error(id, kInvalidParams, method + ": " + e.what);
        } catch (const json::exception& e) {
            Error(id, kInvalidParams, method + ": " + e.what());
        } catch (const std::exception& e) {
            Error(id, kInternalError, method + ": " + e.what());
        }
    }

    void Notification(const std::string& method, const json& params) {
        if (!initialized_ || shutdown_) return;
        auto it = notifications_.find(method);
        if (it == notifications_.end()) return;  // $/cancelRequest, $/setTrace and the like
        try {
            it->second(params);
        } catch (const BadParams& e) {
            Log("tolvanec lsp: " + method + " ignored: " + e.what);
        } catch (const std::exception& e) {
            Log("tolvanec lsp: " + method + " ignored: " + e.what());
        }
    }

    // ---- lifecycle ----------------------------------------------------------------------------
    json Initialize(const json& p) {
        if (!p.is_object()) throw BadParams{"initialize takes an object"};
        const json caps = p.value("capabilities", json::object());
        encoding_ = Encoding::Utf16;
        std::string name = "utf-16";
        if (caps.is_object() && caps.contains("general") && caps["general"].is_object()) {
            const json& offered = caps["general"].value("positionEncodings", json::array());
            if (offered.is_array())
                for (const json& e : offered)
                    if (e == "utf-8") {
                        encoding_ = Encoding::Utf8;
                        name = "utf-8";
                    }
        }
        hierarchical_ = false;
        if (caps.is_object()) {
            const json* ds = caps.contains("textDocument") && caps["textDocument"].is_object() &&
                                     caps["textDocument"].contains("documentSymbol")
                                 ? &caps["textDocument"]["documentSymbol"]
                                 : nullptr;
            hierarchical_ = ds && ds->is_object() && ds->value("hierarchicalDocumentSymbolSupport", false) == true;
        }
        initialized_ = true;
        return {
            {"capabilities",
             {{"positionEncoding", name},
              {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
              {"completionProvider", {{"resolveProvider", false}, {"triggerCharacters", json::array({".", "\""})}}},
              {"hoverProvider", true},
              {"definitionProvider", true},
              {"documentSymbolProvider", true},
              {"signatureHelpProvider",
               {{"triggerCharacters", json::array({"(", ",", " "})}, {"retriggerCharacters", json::array({","})}}}}},
            {"serverInfo", {{"name", "tolvanec"}}}};
    }

    // ---- documents ----------------------------------------------------------------------------
    void DidOpen(const json& p) {
        const json& doc = Member(p, "textDocument");
        const std::string uri = Text(doc, "uri");
        docs_.Open(uri, Text(doc, "text"));
    }

    void DidChange(const json& p) {
        Document* doc = docs_.Find(Text(Member(p, "textDocument"), "uri"));
        if (!doc) throw BadParams{"the document is not open"};
        const json& changes = Member(p, "contentChanges");
        if (!changes.is_array()) throw BadParams{"'contentChanges' must be an array"};
        std::string text = doc->text;
        for (const json& c : changes) {
            const std::string with = Text(c, "text");
            if (!c.contains("range")) {
                text = with;
                continue;
            }
            const json& range = Member(c, "range");
            const json& start = Member(range, "start");
            const json& end = Member(range, "end");
            const LineIndex idx(text);
            const size_t from = idx.Offset(static_cast<int>(std::min(Count(start, "line"), 1LL << 30)),
                                           Count(start, "character"), encoding_);
            const size_t to = idx.Offset(static_cast<int>(std::min(Count(end, "line"), 1LL << 30)),
                                         Count(end, "character"), encoding_);
            Splice(text, from, std::max(from, to), with);
        }
        doc->text = std::move(text);  // only a change that was whole is applied
        docs_.Changed(*doc);
    }

    // ---- requests at a place ------------------------------------------------------------------
    json AtSpot(const json& p, json (*answer)(const Spot&)) {
        const std::string uri = Text(Member(p, "textDocument"), "uri");
        const json& pos = Member(p, "position");
        const long long line = Count(pos, "line"), character = Count(pos, "character");
        Document* doc = docs_.Find(uri);
        if (!doc) return nullptr;
        const Analysis& a = docs_.ProgramOf(*doc);
        const int file = a.FileIndex(doc->path);
        if (file < 0) return nullptr;
        Spot spot = SpotAt(a, file, line, character, encoding_);
        spot.uriOf = [this](const std::string& path) { return docs_.UriOf(path); };
        return answer(spot);
    }

    json Symbols(const json& p) {
        const std::string uri = Text(Member(p, "textDocument"), "uri");
        Document* doc = docs_.Find(uri);
        if (!doc) return json::array();
        const Analysis& a = docs_.ProgramOf(*doc);
        return DocumentSymbols(a, a.FileIndex(doc->path), hierarchical_, encoding_, uri);
    }

    void Publish() {
        for (const Workspace::Publication& pub : docs_.Refresh()) {
            json list = pub.analysis ? Diagnostics(*pub.analysis, pub.file, pub.problems, encoding_) : json::array();
            Send({{"jsonrpc", "2.0"},
                  {"method", "textDocument/publishDiagnostics"},
                  {"params", {{"uri", pub.uri}, {"diagnostics", list}}}});
        }
    }

    Transport io_;
    Workspace docs_;
    Encoding encoding_ = Encoding::Utf16;
    bool hierarchical_ = false;
    bool initialized_ = false, shutdown_ = false, exit_ = false;
    std::map<std::string, std::function<json(const json&)>> requests_;
    std::map<std::string, std::function<void(const json&)>> notifications_;
};

}  // namespace

int Serve(int in, int out) {
    std::signal(SIGPIPE, SIG_IGN);
    Server server(in, out);
    return server.Run();
}

}  // namespace tvc::lsp
