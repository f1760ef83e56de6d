// The debug adapter's session (server.h).
#include "server.h"

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "lsp/transport.h"
#include "program.h"
#include "statement_lines.h"

namespace tvc::dap {

namespace {

using json = nlohmann::json;

constexpr int kThread = 1;  // the program runs on one thread

struct Breakpoint {
    int line = 0;
    std::string condition;
    bool verified = false;
};

class Session {
public:
    Session(int in, int out) : io_(in, out), in_(in) {}

    int Run() {
        for (;;) {
            ServiceProgram();
            if (quit_) return 0;
            if (io_.Waiting()) {
                std::string body;
                const lsp::Transport::Read r = io_.Next(body);
                if (r == lsp::Transport::Read::Closed) return 0;
                if (r == lsp::Transport::Read::Message) Dispatch(body);
                continue;
            }
            std::vector<pollfd> fds = {{0, POLLIN, 0}};
            fds[0].fd = in_;
            if (program_)
                for (int fd : program_->Descriptors()) fds.push_back({fd, POLLIN, 0});
            // A program whose descriptors have all closed is looked at until its end is seen.
            const bool watching = program_ && program_->Running() && fds.size() == 1;
            poll(fds.data(), fds.size(), watching ? 20 : -1);
        }
    }

private:
    // ---- messages ------------------------------------------------------------------------
    void Send(json message) {
        message["seq"] = seq_++;
        if (!io_.Send(message.dump(-1, ' ', false, json::error_handler_t::replace))) quit_ = true;
    }
    void Event(const std::string& name, json body = json::object()) {
        Send({{"type", "event"}, {"event", name}, {"body", std::move(body)}});
    }
    void Respond(const json& request, json body = json::object()) {
        Send({{"type", "response"},
              {"request_seq", request.value("seq", 0)},
              {"success", true},
              {"command", request.value("command", "")},
              {"body", std::move(body)}});
    }
    void Fail(const json& request, const std::string& message) {
        Send({{"type", "response"},
              {"request_seq", request.value("seq", 0)},
              {"success", false},
              {"command", request.value("command", "")},
              {"message", message},
              {"body", {{"error", {{"id", 1}, {"format", message}, {"showUser", true}}}}}});
    }
    void Output(const std::string& category, const std::string& text) {
        if (!text.empty()) Event("output", {{"category", category}, {"output", text}});
    }

    void Dispatch(const std::string& body) {
        const json request = json::parse(body, nullptr, false);
        if (!request.is_object() || request.value("type", "") != "request") return;
        const std::string command = request.value("command", "");
        const json args =
            request.contains("arguments") && request["arguments"].is_object() ? request["arguments"] : json::object();
        try {
            Handle(command, request, args);
        } catch (const json::exception& e) {  // an argument of the wrong kind
            Fail(request, std::string("bad arguments: ") + e.what());
        }
    }

    void Handle(const std::string& command, const json& request, const json& args) {
        if (command == "initialize") {
            Respond(request, {{"supportsConfigurationDoneRequest", true},
                              {"supportsConditionalBreakpoints", true},
                              {"supportsSetVariable", true},
                              {"supportsEvaluateForHovers", true},
                              {"supportsExceptionInfoRequest", true},
                              {"supportsTerminateRequest", true},
                              {"supportTerminateDebuggee", true}});
            Event("initialized");
        } else if (command == "launch") {
            Launch(request, args);
        } else if (command == "setBreakpoints") {
            SetBreakpoints(request, args);
        } else if (command == "setExceptionBreakpoints") {
            Respond(request, {{"breakpoints", json::array()}});
        } else if (command == "configurationDone") {
            configured_ = true;
            Respond(request);
            LetRun();
        } else if (command == "threads") {
            Respond(request, {{"threads", json::array({{{"id", kThread}, {"name", "main"}}})}});
        } else if (command == "stackTrace") {
            StackTrace(request, args);
        } else if (command == "scopes") {
            Scopes(request, args);
        } else if (command == "variables") {
            Variables(request, args);
        } else if (command == "setVariable") {
            SetVariable(request, args);
        } else if (command == "evaluate") {
            Evaluate(request, args);
        } else if (command == "exceptionInfo") {
            Respond(request, {{"exceptionId", "runtime error"}, {"description", exception_}, {"breakMode", "always"}});
        } else if (command == "continue" || command == "next" || command == "stepIn" || command == "stepOut") {
            if (!Stopped(request)) return;
            static const std::map<std::string, std::string> kWords = {
                {"continue", "continue"}, {"next", "next"}, {"stepIn", "in"}, {"stepOut", "out"}};
            Resume(kWords.at(command));
            Respond(request, command == "continue" ? json{{"allThreadsContinued", true}} : json::object());
        } else if (command == "pause") {
            if (program_ && program_->Running() && !stopped_) program_->Send({"pause"});
            Respond(request);
        } else if (command == "terminate" || command == "disconnect") {
            if (program_) program_->Stop();
            ServiceProgram();
            Respond(request);
            if (command == "disconnect") quit_ = true;
        } else {
            Fail(request, "tolvanec dap does not know the request " + command);
        }
    }

    // ---- the program -----------------------------------------------------------------------
    void Launch(const json& request, const json& args) {
        if (program_) {
            Fail(request, "a program is already running in this session");
            return;
        }
        const std::string source = args.value("program", "");
        if (source.empty()) {
            Fail(request, "launch needs \"program\", the .bas file to debug");
            return;
        }
        std::vector<std::string> programArgs;
        if (args.contains("args"))
            for (const json& a : args["args"]) programArgs.push_back(a.get<std::string>());
        stopOnEntry_ = args.value("stopOnEntry", false);
        std::string built, error;
        if (!DebuggedProgram::Build(source, built, error)) {
            Output("stderr", error);
            Fail(request, "the program cannot be built:\n" + error);
            return;
        }
        auto program = std::make_unique<DebuggedProgram>();
        if (!program->Start(built, programArgs, args.value("cwd", ""), error)) {
            Fail(request, error);
            return;
        }
        program_ = std::move(program);
        lines_ = FindStatementLines(source);
        for (const std::string& f : program_->Files()) {
            fileNumbers_[FullPath(f)] = static_cast<int>(files_.size());
            files_.push_back(f);
        }
        for (auto& [path, list] : breakpoints_) Verify(path, list);
        Respond(request);
        LetRun();
    }

    // Once launched and configured, the breakpoints go to the program and it runs.
    void LetRun() {
        if (!program_ || !configured_ || running_) return;
        for (const auto& [path, list] : breakpoints_) SendBreakpoints(path, list);
        running_ = true;
        program_->Send({stopOnEntry_ ? "entry" : "run"});
    }

    void ServiceProgram() {
        if (!program_) return;
        std::string out, err;
        program_->Service(out, err);
        Output("stdout", out);
        Output("stderr", err);
        while (!program_->Events().empty()) {
            const Fields f = std::move(program_->Events().front());
            program_->Events().pop_front();
            if (f[0] == "stopped" && f.size() >= 2) Stopped(f[1], f.size() > 2 ? f[2] : "");
        }
        int status = 0;
        if (!ended_ && program_->Ended(status)) {
            program_->Service(out, err);  // what it wrote last
            Output("stdout", out);
            Output("stderr", err);
            ended_ = true;
            stopped_ = false;
            Event("exited", {{"exitCode", status}});
            Event("terminated");
        }
    }

    void Stopped(const std::string& reason, const std::string& text) {
        stopped_ = true;
        ForgetVariables();
        json body = {{"reason", reason}, {"threadId", kThread}, {"allThreadsStopped", true}};
        if (reason == "exception") {
            exception_ = text;
            body["description"] = "Paused on a runtime error";
            body["text"] = text;
        } else if (!text.empty()) {
            body["description"] = text;
        }
        Event("stopped", body);
    }

    bool Stopped(const json& request) {
        if (program_ && stopped_ && !ended_) return true;
        Fail(request, "the program is not stopped");
        return false;
    }

    void Resume(const std::string& word) {
        stopped_ = false;
        ForgetVariables();
        program_->Send({word});
    }

    // ---- breakpoints ----------------------------------------------------------------------
    void Verify(const std::string& path, std::vector<Breakpoint>& list) {
        if (!lines_.count(path))  // a file of no launched program yet: its own lines
            for (auto& [file, set] : FindStatementLines(path))
                if (file == path) lines_[file] = set;
        const std::set<int>& valid = lines_[path];
        for (Breakpoint& b : list) b.verified = valid.count(b.line) > 0;
    }

    void SendBreakpoints(const std::string& path, const std::vector<Breakpoint>& list) {
        const auto number = fileNumbers_.find(path);
        if (!program_ || number == fileNumbers_.end()) return;
        const std::string file = std::to_string(number->second);
        program_->Send({"bps", file});
        for (const Breakpoint& b : list)
            if (b.verified) program_->Send({"bp", file, std::to_string(b.line), b.condition});
    }

    void SetBreakpoints(const json& request, const json& args) {
        const json source = args.value("source", json::object());
        const std::string given = source.value("path", "");
        if (given.empty()) {
            Fail(request, "breakpoints need a source file by path");
            return;
        }
        const std::string path = FullPath(given);
        std::vector<Breakpoint> list;
        if (args.contains("breakpoints"))
            for (const json& b : args["breakpoints"]) list.push_back({b.value("line", 0), b.value("condition", "")});
        Verify(path, list);
        json out = json::array();
        for (const Breakpoint& b : list) {
            json item = {{"verified", b.verified}, {"line", b.line}, {"source", source}};
            if (!b.verified) item["message"] = "no statement on this line";
            out.push_back(item);
        }
        breakpoints_[path] = list;
        if (running_) SendBreakpoints(path, list);
        Respond(request, {{"breakpoints", out}});
    }

    // ---- the stack and the variables ---------------------------------------------------
    json SourceOf(const std::string& fileNumber) {
        char* end = nullptr;
        const long n = std::strtol(fileNumber.c_str(), &end, 10);
        if (*end || n < 0 || static_cast<size_t>(n) >= files_.size()) return json::object();
        const std::string& path = files_[static_cast<size_t>(n)];
        return {{"name", path.substr(path.find_last_of('/') + 1)}, {"path", path}};
    }

    void StackTrace(const json& request, const json& args) {
        if (!Stopped(request)) return;
        std::vector<Fields> frames;
        std::string error;
        if (!program_->Ask({"stack"}, frames, error)) {
            Fail(request, error);
            return;
        }
        const int start = std::max(0, args.value("startFrame", 0));
        const int levels = args.value("levels", 0);
        json out = json::array();
        for (int i = start; i < static_cast<int>(frames.size()) && (levels <= 0 || i < start + levels); ++i) {
            const Fields& f = frames[static_cast<size_t>(i)];
            if (f.size() < 3) continue;
            out.push_back({{"id", i + 1},
                           {"name", f[0]},
                           {"source", SourceOf(f[1])},
                           {"line", std::atoi(f[2].c_str())},
                           {"column", 1}});
        }
        frameCount_ = static_cast<int>(frames.size());
        Respond(request, {{"stackFrames", out}, {"totalFrames", frames.size()}});
    }

    int Reference(int frame, const std::string& path) {
        refs_.push_back({frame, path});
        return static_cast<int>(refs_.size());
    }
    void ForgetVariables() {
        frameCount_ = -1;
        refs_.clear();
        childPaths_.clear();
    }

    void Scopes(const json& request, const json& args) {
        if (!Stopped(request)) return;
        const int frame = args.value("frameId", 1) - 1;
        if (frameCount_ < 0) {  // the stack of this stop is not known yet
            std::vector<Fields> frames;
            std::string error;
            if (!program_->Ask({"stack"}, frames, error)) {
                Fail(request, error);
                return;
            }
            frameCount_ = static_cast<int>(frames.size());
        }
        json scopes = json::array();
        if (frame < frameCount_ - 1)  // a SUB: its parameters and locals
            scopes.push_back({{"name", "Locals"}, {"variablesReference", Reference(frame, "L")}, {"expensive", false}});
        scopes.push_back({{"name", "Globals"}, {"variablesReference", Reference(frame, "G")}, {"expensive", false}});
        Respond(request, {{"scopes", scopes}});
    }

    // A variable of the protocol from an answer's line: NAME VALUE TYPE NAMED INDEXED PATH.
    json Variable(int frame, const Fields& f, const std::string& nameKey, const std::string& valueKey) {
        json v = {{nameKey, f[0]}, {valueKey, f[1]}, {"type", f[2]}, {"variablesReference", 0}};
        const int named = std::atoi(f[3].c_str()), indexed = std::atoi(f[4].c_str());
        if (named > 0 || indexed > 0) {
            v["variablesReference"] = Reference(frame, f[5]);
            if (named > 0) v["namedVariables"] = named;
            if (indexed > 0) v["indexedVariables"] = indexed;
        }
        return v;
    }

    const std::pair<int, std::string>* Ref(int reference) const {
        if (reference < 1 || static_cast<size_t>(reference) > refs_.size()) return nullptr;
        return &refs_[static_cast<size_t>(reference - 1)];
    }

    void Variables(const json& request, const json& args) {
        if (!Stopped(request)) return;
        const int reference = args.value("variablesReference", 0);
        const auto* ref = Ref(reference);
        if (!ref) {
            Fail(request, "no such variables");
            return;
        }
        const int frame = ref->first;
        const std::string path = ref->second;
        std::vector<Fields> items;
        std::string error;
        if (!program_->Ask({"vars", std::to_string(frame), path, std::to_string(std::max(0, args.value("start", 0))),
                            std::to_string(std::max(0, args.value("count", 0)))},
                           items, error)) {
            Fail(request, error);
            return;
        }
        json out = json::array();
        for (const Fields& f : items) {
            if (f.size() < 6) continue;
            childPaths_[{reference, f[0]}] = f[5];
            out.push_back(Variable(frame, f, "name", "value"));
        }
        Respond(request, {{"variables", out}});
    }

    void SetVariable(const json& request, const json& args) {
        if (!Stopped(request)) return;
        const int reference = args.value("variablesReference", 0);
        const auto* ref = Ref(reference);
        if (!ref) {
            Fail(request, "no such variable");
            return;
        }
        // A child listed before, else a variable or a field by its name (an element is
        // named by its indexes only in a listing).
        const std::string name = args.value("name", "");
        const auto known = childPaths_.find({reference, name});
        const std::string path = known != childPaths_.end() ? known->second : ref->second + "/" + name;
        std::vector<Fields> items;
        std::string error;
        if (!program_->Ask({"set", std::to_string(ref->first), path, args.value("value", "")}, items, error) ||
            items.empty() || items[0].size() < 6) {
            Fail(request, error.empty() ? "the value was not taken" : error);
            return;
        }
        Respond(request, Variable(ref->first, items[0], "name", "value"));
    }

    void Evaluate(const json& request, const json& args) {
        if (!Stopped(request)) return;
        const int frame = args.value("frameId", 1) - 1;
        std::vector<Fields> items;
        std::string error;
        if (!program_->Ask({"eval", std::to_string(std::max(0, frame)), args.value("expression", "")}, items, error) ||
            items.empty() || items[0].size() < 6) {
            Fail(request, error.empty() ? "nothing to show" : error);
            return;
        }
        json v = Variable(std::max(0, frame), items[0], "name", "result");
        v.erase("name");
        Respond(request, v);
    }

    lsp::Transport io_;
    int in_ = 0;
    int seq_ = 1;
    bool quit_ = false;
    std::unique_ptr<DebuggedProgram> program_;
    bool configured_ = false, running_ = false, stopOnEntry_ = false, stopped_ = false, ended_ = false;
    std::string exception_;
    StatementLines lines_;
    std::map<std::string, std::vector<Breakpoint>> breakpoints_;  // by full path
    std::map<std::string, int> fileNumbers_;                      // the program's files by full path
    std::vector<std::string> files_;
    int frameCount_ = -1;                                            // frames of the stop, -1 until asked
    std::vector<std::pair<int, std::string>> refs_;                  // variablesReference - 1: frame, path
    std::map<std::pair<int, std::string>, std::string> childPaths_;  // (reference, name): path
};

}  // namespace

int Serve(int in, int out) {
    Session session(in, out);
    return session.Run();
}

}  // namespace tvc::dap
