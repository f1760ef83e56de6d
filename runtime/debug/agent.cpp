#include "debug/agent.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/checkpoint.h"
#include "debug/hooks.h"
#include "debug/values.h"
#include "debug/wire.h"
#include "platform/debug_link.h"

namespace {

enum class Step { None, Over, In, Out };

// What the reader thread hands the program's thread.
struct Inbox {
    std::mutex m;
    std::condition_variable arrived;
    std::deque<std::string> lines;
    bool gone = false;
};

struct Agent {
    int link = -1;
    bool attached = false;
    std::vector<std::map<int, std::string>> breakpoints;  // per file: line -> condition
    size_t breakpointCount = 0;
    bool pause = false, entry = false;
    Step step = Step::None;
    int stepDepth = 0;
};

Inbox g_inbox;
Agent g_agent;
// Set by the reader thread with each line and at the debugger's going: the program's
// thread looks into the inbox, under its lock, only then.
std::atomic<bool> g_mail{false};

// A whole number of a field within [lo, hi]; false for anything else.
bool Whole(const std::vector<std::string>& f, size_t i, long lo, long hi, int& out) {
    if (i >= f.size() || f[i].empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(f[i].c_str(), &end, 10);
    if (*end || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

void Send(const std::vector<std::string>& fields) {
    if (!plat::DebugLinkWrite(g_agent.link, dbg::JoinLine(fields))) {
        std::lock_guard<std::mutex> lock(g_inbox.m);
        g_inbox.gone = true;
    }
}

void SendItem(const __DbgItem& item) {
    Send({"=", item.name, item.value, item.type, std::to_string(item.named), std::to_string(item.indexed), item.path});
}

// The reader thread: lines from the debugger into the inbox, each one waking the program.
void ReadLines(int link) {
    std::string pending;
    bool dropping = false;  // within a line too long to keep, which is dropped whole
    char buffer[4096];
    constexpr size_t kMostPending = 1 << 20;
    for (;;) {
        const size_t n = plat::DebugLinkRead(link, buffer, sizeof buffer);
        std::lock_guard<std::mutex> lock(g_inbox.m);
        if (n == 0) {
            g_inbox.gone = true;
            g_mail.store(true);
            __g_debugWanted.store(1, std::memory_order_relaxed);
            g_inbox.arrived.notify_all();
            return;
        }
        pending.append(buffer, n);
        for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (dropping) {
                dropping = false;
                continue;
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            g_inbox.lines.push_back(std::move(line));
        }
        if (pending.size() > kMostPending) {
            pending.clear();
            dropping = true;
        }
        g_mail.store(true);
        __g_debugWanted.store(1, std::memory_order_relaxed);
        __WantCheckpoint();  // a pause is taken in the runtime's waits too
        g_inbox.arrived.notify_all();
    }
}

// The next line from the debugger: waits for one when `wait`; false when there is none
// (or the debugger has gone).
bool NextLine(std::string& line, bool wait) {
    std::unique_lock<std::mutex> lock(g_inbox.m);
    if (wait) g_inbox.arrived.wait(lock, [] { return g_inbox.gone || !g_inbox.lines.empty(); });
    if (g_inbox.lines.empty()) return false;
    line = std::move(g_inbox.lines.front());
    g_inbox.lines.pop_front();
    return true;
}

bool Gone() {
    std::lock_guard<std::mutex> lock(g_inbox.m);
    return g_inbox.gone;
}

// The debugger has gone: the program goes on alone.
void Detach() {
    g_agent.attached = false;
    g_agent.breakpoints.clear();
    g_agent.breakpointCount = 0;
    g_agent.pause = g_agent.entry = false;
    g_agent.step = Step::None;
}

// Whether __Ln must call in: on what is set, or waiting in the inbox.
void UpdateWanted() {
    std::lock_guard<std::mutex> lock(g_inbox.m);
    const bool wanted = g_agent.attached && (g_agent.breakpointCount > 0 || g_agent.step != Step::None ||
                                             g_agent.pause || g_agent.entry || !g_inbox.lines.empty() || g_inbox.gone);
    __g_debugWanted.store(wanted ? 1 : 0, std::memory_order_relaxed);
}

void Stack() {
    const int frames = __DbgFrameCount();
    double file = __g_debugfile, line = __g_debugline;
    for (int i = 0; i <= frames; ++i) {
        const __DbgFrame* f = __DbgFrameAt(i);
        Send({"=", f ? f->sub : "main program", std::to_string(static_cast<long long>(std::trunc(file))),
              std::to_string(static_cast<long long>(std::trunc(line)))});
        if (f) {
            file = f->callerFile;
            line = f->callerLine;
        }
    }
}

void SetBreakpoint(const std::vector<std::string>& f) {
    int file = 0, line = 0;
    if (!Whole(f, 1, 0, __DbgProgram().fileCount - 1, file) || !Whole(f, 2, 1, 100000000, line)) return;
    if (g_agent.breakpoints.size() < static_cast<size_t>(__DbgProgram().fileCount))
        g_agent.breakpoints.resize(static_cast<size_t>(__DbgProgram().fileCount));
    g_agent.breakpointCount -= g_agent.breakpoints[static_cast<size_t>(file)].count(line);
    g_agent.breakpoints[static_cast<size_t>(file)][line] = f.size() > 3 ? f[3] : "";
    ++g_agent.breakpointCount;
}

void ClearBreakpoints(const std::vector<std::string>& f) {
    int file = 0;
    if (!Whole(f, 1, 0, static_cast<long>(g_agent.breakpoints.size()) - 1, file)) return;
    g_agent.breakpointCount -= g_agent.breakpoints[static_cast<size_t>(file)].size();
    g_agent.breakpoints[static_cast<size_t>(file)].clear();
}

// Answers a question about the stopped program.
void Answer(const std::vector<std::string>& f) {
    const std::string& what = f[0];
    int frame = 0;
    std::string error;
    if (what == "stack") {
        Stack();
    } else if (what != "vars" && what != "eval" && what != "set") {
        error = "unknown request " + what;
    } else if (!Whole(f, 1, 0, 1000000, frame) || f.size() < 3) {
        error = "a frame and a path are needed";
    } else if (what == "vars") {
        int start = 0, count = 0;
        std::vector<__DbgItem> items;
        if (!Whole(f, 3, 0, 2147483647, start) || !Whole(f, 4, 0, 2147483647, count))
            error = "a start and a count are needed";
        else if (__DbgParts(frame, f[2], start, count, items, error))
            for (const __DbgItem& item : items) SendItem(item);
    } else if (what == "eval" || what == "set") {
        __DbgPlace place;
        const bool found = what == "eval" ? __DbgResolveExpression(frame, f[2], place, error)
                                          : __DbgResolvePath(frame, f[2], place, error);
        if (found && (what == "eval" || __DbgAssign(place, f.size() > 3 ? f[3] : "", error)))
            SendItem(__DbgDescribe(f[2], place));
    }
    if (!error.empty()) Send({"!", error});
    Send({"."});
}

// Handles one line from the debugger; true when it lets a stopped program go on.
bool Handle(const std::string& line) {
    const std::vector<std::string> f = dbg::SplitLine(line);
    const std::string& what = f[0];
    const auto resume = [](Step step) {
        g_agent.step = step;
        g_agent.stepDepth = __g_dbgDepth;
        return true;
    };
    if (what == "bp") {
        SetBreakpoint(f);
    } else if (what == "bps") {
        ClearBreakpoints(f);
    } else if (what == "pause") {
        g_agent.pause = true;
    } else if (what == "quit") {
        __g_error = 0;
        __EndProgram();
    } else if (what == "run" || what == "continue") {
        return resume(Step::None);
    } else if (what == "entry") {
        g_agent.entry = true;
        return resume(Step::None);
    } else if (what == "next") {
        return resume(Step::Over);
    } else if (what == "in") {
        return resume(Step::In);
    } else if (what == "out") {
        return resume(Step::Out);
    } else if (!what.empty()) {
        Answer(f);
    }
    return false;
}

// Stopped: tells the debugger why and answers it until it lets the program go on.
void Stop(const std::string& reason, const std::string& text) {
    g_agent.pause = g_agent.entry = false;
    g_agent.step = Step::None;
    Send({"stopped", reason, text});
    std::string line;
    for (;;) {
        if (!NextLine(line, true)) {
            Detach();
            return;
        }
        if (Handle(line)) return;
    }
}

// Why the statement about to run stops the program; empty when it does not.
std::string StopReason(std::string& text) {
    if (g_agent.entry) return "entry";
    if (g_agent.pause) return "pause";
    const int depth = __g_dbgDepth;
    switch (g_agent.step) {
        case Step::In: return "step";
        case Step::Over:
            if (depth <= g_agent.stepDepth) return "step";
            break;
        case Step::Out:
            if (depth < g_agent.stepDepth) return "step";
            break;
        case Step::None: break;
    }
    const double file = __g_debugfile, line = __g_debugline;
    if (g_agent.breakpointCount == 0 || !(file >= 0) || file >= static_cast<double>(g_agent.breakpoints.size()))
        return "";
    const auto& lines = g_agent.breakpoints[static_cast<size_t>(file)];
    const auto it = lines.find(static_cast<int>(line));
    if (it == lines.end()) return "";
    if (it->second.empty()) return "breakpoint";
    bool holds = false;
    std::string error;
    if (__DbgCondition(0, it->second, holds, error)) return holds ? "breakpoint" : "";
    text = "the condition " + it->second + " cannot be worked out: " + error;
    return "breakpoint";  // a condition that cannot be worked out stops, and says why
}

// A checkpoint in a wait (KEYWAIT, WAIT ...) takes a pause asked for meanwhile.
void OnCheckpoint() {
    if (!g_agent.attached) return;
    std::string line;
    while (NextLine(line, false)) Handle(line);
    if (Gone())
        Detach();
    else if (g_agent.pause)
        Stop("pause", "");
    UpdateWanted();
}

void OnFatalError(const char* message) {
    if (!g_agent.attached) return;
    std::string line;
    while (NextLine(line, false)) Handle(line);
    if (!Gone()) Stop("exception", message);
}

}  // namespace

void __DebugLine() {
    if (!g_agent.attached) {
        __g_debugWanted.store(0, std::memory_order_relaxed);
        return;
    }
    bool changed = false;
    if (g_mail.exchange(false)) {
        std::string line;
        while (NextLine(line, false)) Handle(line);
        if (Gone()) Detach();
        changed = true;
    }
    if (g_agent.attached) {
        std::string text;
        const std::string reason = StopReason(text);
        if (!reason.empty()) {
            Stop(reason, text);
            changed = true;
        }
    }
    if (changed) UpdateWanted();
}

void __DebugAttach() {
    const __DbgTables& tables = __DbgProgram();
    if (tables.fileCount == 0) return;  // not a debug build
    g_agent.link = plat::DebugLinkOpen();
    if (g_agent.link < 0) return;
    g_agent.attached = true;
    std::thread(ReadLines, g_agent.link).detach();
    std::vector<std::string> hello = {"hello"};
    for (int i = 0; i < tables.fileCount; ++i) hello.emplace_back(tables.files[i]);
    Send(hello);
    __SetFatalErrorHook(OnFatalError);
    __SetCheckpointHook(OnCheckpoint);
    std::string line;
    for (;;) {
        if (!NextLine(line, true)) {
            Detach();
            break;
        }
        if (Handle(line)) break;
    }
    UpdateWanted();
}
