// The program under the debugger (program.h).
#include "program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <filesystem>

#include "debug/wire.h"
#include "front.h"
#include "tool_run.h"
#include "toolchain.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tvc::dap {

namespace {

constexpr int kStartMs = 30000;   // for the program to reach its agent
constexpr int kAnswerMs = 10000;  // for an answer of a stopped program

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

std::string Log(const std::string& path) {
    std::string text;
    ReadTextFile(path, text);
    return text;
}

// Reads what a descriptor has into `into`; false at its end.
bool Drain(int fd, std::string& into) {
    char buffer[65536];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) into.append(buffer, static_cast<size_t>(n));
    return n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN));
}

int StatusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

DebuggedProgram::~DebuggedProgram() {
    Stop();
    Close(socket_);
    Close(out_);
    Close(err_);
}

void DebuggedProgram::Close(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

bool DebuggedProgram::Build(const std::string& source, std::string& program, std::string& error) {
    // `build` makes the program in its product folder of the cache only when something it
    // is made from changed, and copies it here, beside the compiler's report.
    const std::string folder = CacheFolder(source, "-debug");
    std::error_code ec;
    fs::create_directories(folder, ec);
    program = folder + "/" + fs::path(source).stem().string();
    if (RunTool({SelfPath(), "build", "--debug", source, "-o", program}, folder + "/build.log") != 0) {
        error = Log(folder + "/build.log");
        return false;
    }
    return true;
}

bool DebuggedProgram::Start(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                            std::string& error) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener >= 0) close(listener);
        error = "cannot listen on 127.0.0.1";
        return false;
    }
    struct Listener {
        int fd;
        ~Listener() { close(fd); }
    } closer{listener};

    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        error = "cannot make a pipe";
        return false;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        error = "cannot make a pipe";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);  // our input is the client's
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("TOLVANE_DEBUG_PORT=", 0) != 0) env.emplace_back(*e);
    env.push_back("TOLVANE_DEBUG_PORT=" + std::to_string(ntohs(address.sin_port)));
    std::vector<char*> envp, argv;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings = {program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (spawned != 0) {
        pid_ = -1;
        error = "cannot start " + program;
        return false;
    }

    // Wait for the agent; a program that ends first says why on its standard error.
    const auto start = std::chrono::steady_clock::now();
    std::string out, err;
    while (socket_ < 0) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) socket_ = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        int status = 0;
        if (socket_ < 0 && (Ended(status) || MillisecondsSince(start) > kStartMs)) {
            Service(out, err);
            error = ended_
                        ? "the program ended (status " + std::to_string(status) + ") before the debugger could reach it"
                        : "the program did not reach the debugger";
            if (!err.empty()) error += ":\n" + err;
            return false;
        }
    }
    const int on = 1;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    while (events_.empty()) {
        if (!ReadSocket(true, kStartMs)) {
            error = "the program did not greet the debugger";
            return false;
        }
    }
    if (events_.front()[0] != "hello") {
        error = "the program greeted the debugger wrongly";
        return false;
    }
    files_.assign(events_.front().begin() + 1, events_.front().end());
    events_.pop_front();
    return true;
}

void DebuggedProgram::Send(const Fields& fields) {
    if (socket_ < 0) return;
    const std::string line = dbg::JoinLine(fields);
    for (size_t done = 0; done < line.size();) {
        const ssize_t n = send(socket_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

bool DebuggedProgram::ReadSocket(bool wait, int timeoutMs) {
    if (socket_ < 0) return false;
    pollfd p{socket_, POLLIN, 0};
    if (poll(&p, 1, wait ? timeoutMs : 0) <= 0) return !wait;
    char buffer[65536];
    const ssize_t n = recv(socket_, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) {
        Close(socket_);
        return false;
    }
    pending_.append(buffer, static_cast<size_t>(n));
    for (size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
        Fields f = dbg::SplitLine(pending_.substr(0, nl));
        pending_.erase(0, nl + 1);
        const bool answer = f[0] == "=" || f[0] == "!" || f[0] == ".";
        (answer ? answers_ : events_).push_back(std::move(f));
    }
    return true;
}

bool DebuggedProgram::Ask(const Fields& question, std::vector<Fields>& answer, std::string& error) {
    answers_.clear();
    Send(question);
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        while (!answers_.empty()) {
            Fields f = std::move(answers_.front());
            answers_.pop_front();
            if (f[0] == ".") return error.empty();
            if (f[0] == "!")
                error = f.size() > 1 ? f[1] : "refused";
            else
                answer.emplace_back(f.begin() + 1, f.end());
        }
        const long long left = kAnswerMs - MillisecondsSince(start);
        if (left <= 0 || !ReadSocket(true, static_cast<int>(left))) {
            error = socket_ < 0 ? "the program has gone" : "the program does not answer";
            return false;
        }
    }
}

std::vector<int> DebuggedProgram::Descriptors() const {
    std::vector<int> fds;
    for (int fd : {socket_, out_, err_})
        if (fd >= 0) fds.push_back(fd);
    return fds;
}

void DebuggedProgram::Service(std::string& out, std::string& err) {
    ReadSocket(false, 0);
    for (auto [fd, into] : {std::pair<int*, std::string*>{&out_, &out}, {&err_, &err}}) {
        pollfd p{*fd, POLLIN, 0};
        if (*fd >= 0 && poll(&p, 1, 0) > 0 && !Drain(*fd, *into)) Close(*fd);
    }
}

bool DebuggedProgram::Ended(int& status) {
    if (!ended_ && pid_ > 0) {
        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) == pid_) {
            ended_ = true;
            status_ = StatusOf(raw);
            pid_ = -1;
        }
    }
    status = status_;
    return ended_;
}

void DebuggedProgram::Stop() {
    if (pid_ <= 0) return;
    Send({"quit"});
    const auto waitFor = [&](int ms) {
        const auto start = std::chrono::steady_clock::now();
        int status = 0;
        while (!Ended(status) && MillisecondsSince(start) < ms) {
            pollfd p{-1, 0, 0};
            poll(&p, 0, 10);
        }
        return ended_;
    };
    if (waitFor(1000)) return;
    kill(pid_, SIGTERM);
    if (waitFor(1000)) return;
    kill(pid_, SIGKILL);
    int raw = 0;
    if (waitpid(pid_, &raw, 0) == pid_) status_ = StatusOf(raw);
    ended_ = true;
    pid_ = -1;
}

}  // namespace tvc::dap
