// tolvane-host, the headless session host, as a child process on ports of its own: what it
// logs of the programs (net_peer.cpp) that join and leave its session, how it stops, and
// its refusals.
#include <regex>

#include "net/net_harness.h"

namespace {

using namespace nettest;

inline int FreeTcpPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

// tolvane-host with these arguments and extra "NAME=value" environment entries (none of
// the test's own TOLVANE_ variables); its log read line by line as it comes.
class HostProgram {
public:
    explicit HostProgram(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {}) {
        int out[2], err[2];
        EXPECT_EQ(pipe(out), 0);
        EXPECT_EQ(pipe(err), 0);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "TOLVANE_", 8)) env.emplace_back(*e);
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp, argv;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string prog = (TestBinDir().parent_path() / "tolvane-host").string();
        args.insert(args.begin(), prog);
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&fa, fd);
        EXPECT_EQ(posix_spawn(&pid_, prog.c_str(), &fa, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~HostProgram() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }
    HostProgram(const HostProgram&) = delete;
    HostProgram& operator=(const HostProgram&) = delete;

    // The next log line after the last one this returned that holds `text`, within
    // `seconds`; empty when none came.
    std::string Await(const std::string& text, double seconds = 10) {
        for (auto start = Clock::now();;) {
            for (; next_ < lines_.size(); ++next_)
                if (lines_[next_].find(text) != std::string::npos) return lines_[next_++];
            if (Seconds(start) > seconds || !ReadSome(0.1)) return "";
        }
    }
    void Signal(int sig) { kill(pid_, sig); }
    // The exit status (-1: it did not exit by itself within `seconds`); the rest of the log
    // is read then.
    int Exit(double seconds = 10) {
        int st = 0;
        for (auto start = Clock::now(); waitpid(pid_, &st, WNOHANG) == 0;) {
            if (Seconds(start) > seconds) return -1;
            ReadSome(0.01);
        }
        pid_ = 0;
        while (ReadSome(0)) {
        }
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    const std::vector<std::string>& Lines() const { return lines_; }
    // What it wrote to standard error (after it exited).
    std::string Errors() {
        std::string all;
        char chunk[4096];
        for (ssize_t n; (n = read(err_, chunk, sizeof chunk)) > 0;) all.append(chunk, static_cast<size_t>(n));
        return all;
    }

private:
    // Reads what came within `seconds` into whole lines; false at the end of the output.
    bool ReadSome(double seconds) {
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(seconds * 1000)) <= 0) return true;
        char chunk[4096];
        const ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0) return false;
        partial_.append(chunk, static_cast<size_t>(n));
        for (size_t nl; (nl = partial_.find('\n')) != std::string::npos; partial_.erase(0, nl + 1))
            lines_.push_back(partial_.substr(0, nl));
        return true;
    }

    pid_t pid_ = 0;
    int out_ = -1, err_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

// Whether the log line is a time stamp and then exactly `pattern` (a regular expression);
// `group` receives what its first group matched.
testing::AssertionResult Logged(const std::string& line, const std::string& pattern, std::string* group = nullptr) {
    std::smatch m;
    if (!std::regex_match(line, m, std::regex(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ )" + pattern + "$")))
        return testing::AssertionFailure() << "logged \"" << line << "\", not " << pattern;
    if (group) *group = m.size() > 1 ? m[1].str() : "";
    return testing::AssertionSuccess();
}

// A program joins, makes players (one with a quote in its name) and goes: the log shows
// each with the peer ids and the address the host saw. SIGTERM stops the host at once
// and cleanly: the program left takes over the session on the same port, where a third
// program finds it with the player the host never had part in.
TEST(TolvaneHost, LogsJoinsPlayersAndLeavesAndHandsTheSessionOnWhenStopped) {
    const int port = FreeUdpPort(), ws = FreeTcpPort();
    const std::string p = std::to_string(port);
    HostProgram host({"--name", "arena", "--port", p, "--ws-port", std::to_string(ws)});
    EXPECT_TRUE(Logged(host.Await("hosting"), "hosting \"arena\" on UDP " + p + " and TCP " + std::to_string(ws)));

    Peer a(port), b(port);
    ASSERT_EQ(a("join 0 arena 127.0.0.1"), "1");
    std::string aPeer;
    ASSERT_TRUE(Logged(host.Await("joined:"), R"(joined: peer (\d+) from 127\.0\.0\.1 \(0 players\))", &aPeer));
    EXPECT_EQ(a("num"), "0");  // the host has no player
    const std::string ann = a("create Ann");
    EXPECT_TRUE(Logged(host.Await("player " + ann), "player " + ann + R"( "Ann" of peer )" + aPeer + " added"));

    ASSERT_EQ(b("join 0 arena 127.0.0.1"), "1");
    std::string bPeer;
    ASSERT_TRUE(Logged(host.Await("joined:"), R"(joined: peer (\d+) from 127\.0\.0\.1 \(0 players\))", &bPeer));
    EXPECT_NE(bPeer, aPeer);
    const std::string bo = b("create B\"o");
    ASSERT_NE(bo, "0");
    EXPECT_TRUE(Logged(host.Await("player " + bo), "player " + bo + R"( "B\\"o" of peer )" + bPeer + " added"));
    EXPECT_EQ(b.End(), 0);
    // Its player first, then the program.
    EXPECT_TRUE(Logged(host.Await("player " + bo), "player " + bo + R"( "B\\"o" of peer )" + bPeer + " removed"));
    EXPECT_TRUE(Logged(host.Await("left:"), "left: peer " + bPeer));
    EXPECT_EQ(a.Until("players", ann + ":Ann"), ann + ":Ann");

    Peer c(port);
    host.Signal(SIGTERM);
    EXPECT_TRUE(Logged(host.Await("stopping"), R"(stopping \(SIGTERM\))"));
    EXPECT_EQ(host.Exit(), 0);
    const auto stopped = Clock::now();
    EXPECT_EQ(host.Errors(), "");

    ASSERT_EQ(c("join 0 arena 127.0.0.1"), "1");
    EXPECT_EQ(c.Until("players", ann + ":Ann"), ann + ":Ann");
    EXPECT_LT(Seconds(stopped), 2);  // said goodbye: not the time a silent host is waited for
    const std::string cy = c("create Cy");
    EXPECT_GT(std::atol(cy.c_str()), std::atol(bo.c_str()));
    EXPECT_EQ(a.Until("players", ann + ":Ann " + cy + ":Cy"), ann + ":Ann " + cy + ":Cy");
}

// A second host on a taken port fails with 1 and says which; the port from
// TOLVANE_NET_PORT, for both sockets; --quiet leaves joins and players out; SIGINT stops
// it as SIGTERM does; every wrong command line ends with 2 and the usage.
TEST(TolvaneHost, TakenPortsQuietLogsAndWrongCommandLines) {
    const int port = FreeUdpPort();
    const std::string p = std::to_string(port);
    HostProgram first({"--quiet", "--name=arena", "--origin", "*"}, {"TOLVANE_NET_PORT=" + p});
    EXPECT_TRUE(Logged(first.Await("hosting"), "hosting \"arena\" on UDP " + p + " and TCP " + p));

    HostProgram second({"--name", "other", "--port", p, "--ws-port", std::to_string(FreeTcpPort())});
    EXPECT_EQ(second.Exit(), 1);
    EXPECT_NE(second.Errors().find("UDP port " + p + " is taken"), std::string::npos);
    EXPECT_TRUE(second.Lines().empty());

    Peer a(port);
    ASSERT_EQ(a("join 0 arena 127.0.0.1"), "1");
    ASSERT_NE(a("create Ann"), "0");
    first.Signal(SIGINT);
    EXPECT_TRUE(Logged(first.Await("stopping"), R"(stopping \(SIGINT\))"));
    EXPECT_EQ(first.Exit(), 0);
    EXPECT_EQ(first.Lines().size(), 2u);  // the start and the stop

    const std::string longName(net::kMaxSessionName + 1, 'n');
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--port", p},
             {"--name"},
             {"--name", ""},
             {"--name", longName},
             {"--name", "x", "--port", "0"},
             {"--name", "x", "--port", "65536"},
             {"--name", "x", "--port", "12a"},
             {"--name", "x", "--ws-port", "-1"},
             {"--name", "x", "--origin", ""},
             {"--name", "x", "--loud"},
             {"--name", "x", "extra"},
         }) {
        HostProgram wrong(args);
        std::string all;
        for (const std::string& a : args) all += " [" + a.substr(0, 20) + "]";
        EXPECT_EQ(wrong.Exit(), 2) << all;
        EXPECT_NE(wrong.Errors().find("usage: tolvane-host"), std::string::npos) << all;
    }
    HostProgram badEnv({"--name", "x"}, {"TOLVANE_NET_PORT=70000"});
    EXPECT_EQ(badEnv.Exit(), 2);
    EXPECT_NE(badEnv.Errors().find("TOLVANE_NET_PORT"), std::string::npos);
    HostProgram help({"--help"});
    EXPECT_EQ(help.Exit(), 0);
    ASSERT_FALSE(help.Lines().empty());
    EXPECT_EQ(help.Lines()[0].rfind("usage: tolvane-host --name SESSION", 0), 0u);
}

}  // namespace
