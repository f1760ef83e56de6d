// A language-server client for the tests: `tolvanec lsp` as a child process on two
// pipes, messages framed and read back with generous deadlines.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

extern char** environ;

class LspClient {
public:
    using json = nlohmann::json;
    static constexpr int kDeadlineMs = 60000;

    explicit LspClient(std::vector<std::string> argv = {TOLVANEC_PATH, "lsp"}) {
        signal(SIGPIPE, SIG_IGN);
        int toChild[2], fromChild[2];
        if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&fa, fromChild[1], 1);
        posix_spawn_file_actions_addclose(&fa, toChild[1]);
        posix_spawn_file_actions_addclose(&fa, fromChild[0]);
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(toChild[0]);
        close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
        fcntl(in_, F_SETFD, FD_CLOEXEC);
        fcntl(out_, F_SETFD, FD_CLOEXEC);
    }
    ~LspClient() {
        CloseInput();
        if (out_ >= 0) close(out_);
        if (pid_ > 0 && status_ < -1) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    void SendRaw(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(in_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }
    void SendBody(const std::string& body) {
        SendRaw("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    }
    void Send(const json& message) { SendBody(message.dump()); }
    void Notify(const std::string& method, const json& params) {
        Send({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
    }
    void CloseInput() {
        if (in_ >= 0) close(in_);
        in_ = -1;
    }

    // The next message from the server; nothing when it ends or the deadline passes.
    std::optional<json> Next(int deadlineMs = kDeadlineMs) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
        for (;;) {
            const size_t headerEnd = buf_.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                const size_t at = buf_.find("Content-Length: ");
                const size_t length = std::stoul(buf_.substr(at + 16));
                if (buf_.size() >= headerEnd + 4 + length) {
                    std::string body = buf_.substr(headerEnd + 4, length);
                    buf_.erase(0, headerEnd + 4 + length);
                    return json::parse(body);
                }
            }
            const int left = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count());
            if (left <= 0) return std::nullopt;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) return std::nullopt;
            char chunk[65536];
            const ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buf_.append(chunk, static_cast<size_t>(n));
        }
    }

    // Sends a request and waits for its answer; notifications that come first are kept.
    json Request(const std::string& method, const json& params) {
        const int id = ++lastId_;
        Send({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}});
        return AnswerTo(id);
    }
    json AnswerTo(const json& id) {
        while (auto m = Next()) {
            if (m->contains("id") && (*m)["id"] == id && !m->contains("method")) return *m;
            notes_.push_back(*m);
        }
        return json{{"timeout", true}};
    }

    // The next publishDiagnostics for the URI (kept or new).
    json DiagnosticsFor(const std::string& uri) {
        for (size_t i = 0; i < notes_.size(); ++i)
            if (notes_[i].value("method", "") == "textDocument/publishDiagnostics" && notes_[i]["params"]["uri"] == uri) {
                json d = notes_[i]["params"]["diagnostics"];
                notes_.erase(notes_.begin() + static_cast<long>(i));
                return d;
            }
        while (auto m = Next()) {
            if (m->value("method", "") == "textDocument/publishDiagnostics" && (*m)["params"]["uri"] == uri)
                return (*m)["params"]["diagnostics"];
            notes_.push_back(*m);
        }
        return json{{"timeout", true}};
    }
    void ForgetNotes() { notes_.clear(); }

    json Initialize(json capabilities = json::object()) {
        json answer = Request("initialize", {{"processId", nullptr}, {"rootUri", nullptr}, {"capabilities", capabilities}});
        Notify("initialized", json::object());
        return answer;
    }
    void Open(const std::string& uri, const std::string& text) {
        Notify("textDocument/didOpen",
               {{"textDocument", {{"uri", uri}, {"languageId", "tolvane"}, {"version", 1}, {"text", text}}}});
    }
    json At(const std::string& method, const std::string& uri, int line, int character) {
        return Request(method, {{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", character}}}});
    }

    // Waits for the server to end (after exit, or closed input); its exit status.
    int Wait(int deadlineMs = kDeadlineMs) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
        while (std::chrono::steady_clock::now() < until) {
            int st = 0;
            const pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
                return status_;
            }
            usleep(5000);
        }
        return -2;  // still running
    }

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    int status_ = -2;
    int lastId_ = 0;
    std::string buf_;
    std::vector<json> notes_;
};
