// tolvane-host: hosts one named network session of Tolvane programs on a server, with no
// window, no sound and no BASIC program. Desktop programs join it on the UDP session port,
// pages over WebSocket on the TCP port beside it. It never has players of its own, and it
// takes part in host changes as any program does: when it steps down it goes on as a
// member, and takes over again when it is the oldest left.
//
//   tolvane-host --name SESSION [--port N] [--ws-port N] [--origin ORIGIN]... [--quiet]
//
// It logs to standard output, a line at a time with a UTC time stamp: the start, every
// program that joins or leaves and every player added or removed (roster.h), host
// changes, and the stop. SIGTERM or SIGINT: it leaves the session, so that the oldest
// member takes over at once, and exits with 0. A port already taken: 1; the session lost
// (no program of it can be reached any more): 1; a wrong command line: 2.
#include <signal.h>
#include <unistd.h>
#include <enet/enet.h>
#include <netinet/in.h>
#include <sys/signalfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "net/app_id.h"
#include "net/exchange.h"
#include "net/kwnetwork.h"
#include "net/protocol.h"
#include "net/session.h"
#include "net/session_config.h"
#include "roster.h"

namespace {

// How long the goodbye may take to go out at the end.
constexpr double kLeaveFlushMs = 500;

constexpr const char* kUsage =
    "usage: tolvane-host --name SESSION [--port N] [--ws-port N] [--origin ORIGIN]... [--quiet]\n"
    "Hosts the network session SESSION of Tolvane programs until SIGTERM or SIGINT, with no\n"
    "window, no sound and no players of its own. Log lines go to standard output.\n"
    "  --name SESSION    the session's name, as programs join it (case-sensitive)\n"
    "  --port N          the UDP port desktop programs join on\n"
    "                    (default: TOLVANE_NET_PORT, else 26814)\n"
    "  --ws-port N       the TCP port pages join on over WebSocket (default: the --port number)\n"
    "  --origin ORIGIN   a page origin let in (\"https://host\" or \"https://host:port\"); may be\n"
    "                    repeated; \"*\" lets in any (default: pages of this machine only)\n"
    "  --quiet           log only the start, host changes and the stop\n"
    "  --help            this text\n"
    "Exit status: 0 stopped by a signal; 1 a port is taken or the session was lost;\n"
    "2 a wrong command line.\n";

struct Options {
    std::string name;
    uint16_t port = 0;
    uint16_t wsPort = 0;  // 0: the session port's number
    std::vector<std::string> origins;
    bool quiet = false;
};

// A port number 1 ... 65535, digits only.
bool ReadPort(std::string_view text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned long n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + static_cast<unsigned long>(c - '0');
    }
    if (n < 1 || n > 65535) return false;
    port = static_cast<uint16_t>(n);
    return true;
}

int Wrong(const std::string& why) {
    std::fprintf(stderr, "tolvane-host: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// Reads the command line into `o`; -1 when the program goes on, else its exit status.
int ReadCommandLine(int argc, char** argv, Options& o) {
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        bool hasValue = false;
        if (const size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--quiet" && !hasValue) {
            o.quiet = true;
            continue;
        }
        if (arg != "--name" && arg != "--port" && arg != "--ws-port" && arg != "--origin")
            return Wrong("unknown argument \"" + std::string(argv[i]) + "\"");
        if (!hasValue) {
            if (i + 1 >= argc) return Wrong(arg + " needs a value");
            value = argv[++i];
        }
        if (arg == "--name") {
            if (value.empty() || value.size() > net::kMaxSessionName)
                return Wrong("the session name must have 1 to " + std::to_string(net::kMaxSessionName) + " bytes");
            o.name = value;
            named = true;
        } else if (arg == "--port") {
            if (!ReadPort(value, o.port)) return Wrong("--port: expected 1 ... 65535, not \"" + value + "\"");
        } else if (arg == "--ws-port") {
            if (!ReadPort(value, o.wsPort)) return Wrong("--ws-port: expected 1 ... 65535, not \"" + value + "\"");
        } else {
            if (value.empty()) return Wrong("--origin needs an origin, or \"*\"");
            o.origins.push_back(value);
        }
    }
    if (!named) return Wrong("--name SESSION is missing");
    if (o.port == 0) {
        o.port = KWNetwork::kDefaultPort;
        if (const char* v = std::getenv("TOLVANE_NET_PORT"); v && *v && !ReadPort(v, o.port))
            return Wrong(std::string("TOLVANE_NET_PORT: expected 1 ... 65535, not \"") + v + "\"");
    }
    if (o.wsPort == 0) o.wsPort = o.port;
    return -1;
}

// One log line with its time stamp, written at once.
void Log(const std::string& line) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::printf("%s %s\n", stamp, line.c_str());
    std::fflush(stdout);
}

// Whether a socket of the kind can be bound to the port now, as the session's would be.
bool CanBind(int type, uint16_t port) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    const int one = 1;
    if (type == SOCK_STREAM) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 || errno != EADDRINUSE;
    close(fd);
    return ok;
}

// Why the session's sockets could not be opened.
std::string WhyNotOpen(const Options& o) {
    if (!CanBind(SOCK_DGRAM, o.port))
        return "UDP port " + std::to_string(o.port) + " is taken (does another program host there?)";
    if (!CanBind(SOCK_STREAM, o.wsPort))
        return "TCP port " + std::to_string(o.wsPort) + " is taken (does another program listen there?)";
    return "the session's sockets could not be made on UDP port " + std::to_string(o.port) + " and TCP port " +
           std::to_string(o.wsPort);
}

// SIGTERM and SIGINT, blocked and read from a descriptor the session's wait watches.
int SignalFd() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
    return signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

// The signal that came, or 0.
int TakeSignal(int fd) {
    signalfd_siginfo si{};
    return read(fd, &si, sizeof si) == static_cast<ssize_t>(sizeof si) ? static_cast<int>(si.ssi_signo) : 0;
}

// Logs where the session stands when that changed; false when it was lost.
bool LogStatus(net::Status now, net::Status& last) {
    if (now == last || now == net::Status::Joining) return true;
    last = now;
    switch (now) {
        case net::Status::Hosting: Log("hosting again (took over as the oldest program left)"); return true;
        case net::Status::Joined: Log("stepped down: another program hosts the session now"); return true;
        default: Log("the session was lost: no program of it can be reached"); return false;
    }
}

int Host(const Options& o) {
    const int signals = SignalFd();
    if (signals < 0) {
        std::fprintf(stderr, "tolvane-host: cannot watch for signals: %s\n", std::strerror(errno));
        return 1;
    }
    if (enet_initialize() != 0) {
        std::fprintf(stderr, "tolvane-host: the network library did not start\n");
        return 1;
    }
    net::SessionConfig cfg;
    cfg.host = true;
    cfg.port = o.port;
    cfg.wsPort = o.wsPort;
    cfg.origins = o.origins;
    cfg.app = net::kApplicationId;
    cfg.name = o.name;
    net::Exchange exchange;
    net::Session session(exchange, cfg);
    if (!session.Open()) {
        std::fprintf(stderr, "tolvane-host: cannot host %s: %s\n", host::Quoted(o.name).c_str(), WhyNotOpen(o).c_str());
        return 1;
    }
    Log("hosting " + host::Quoted(o.name) + " on UDP " + std::to_string(o.port) + " and TCP " +
        std::to_string(o.wsPort));

    host::Roster roster;
    net::View view;
    uint64_t version = 0;
    net::Status status = net::Status::Hosting;
    for (;;) {
        const net::Session::Round round = session.Step();
        exchange.ViewIfNewer(version, view);
        if (!LogStatus(view.status, status)) return 1;
        const std::vector<std::string> changes = roster.Update(session.Table(), view.me);
        if (!o.quiet)
            for (const std::string& line : changes) Log(line);
        if (const int sig = TakeSignal(signals)) {
            Log(std::string("stopping (") + (sig == SIGINT ? "SIGINT" : "SIGTERM") + ")");
            session.Leave(kLeaveFlushMs);
            return 0;
        }
        if (!round.events) session.Wait(session.IdleMs(), signals);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // A log reader that went away must not end the session with it.
    signal(SIGPIPE, SIG_IGN);
    Options o;
    if (const int status = ReadCommandLine(argc, argv, o); status >= 0) return status;
    return Host(o);
}
