// A program on the runtime that plays one machine of a network session for the tests:
// it reads one command a line from standard input and answers each with one line
// "= <result>" on standard output; between commands it presents frames, as a game does.
// End of input ends the program.
//
//   host <type> <name>          join <type> <name> [address]     create <name>
//   destroy <id>                send <from> <to> <text>           long <from> <to> <length>
//   get <id>                    players (id:name ...)             num
//   id <index>                  name <id>                         app <32 hex digits>
//   end
//   keywait <seconds>           waits in KEYWAIT until a key comes that many seconds later
//   busy <seconds>              computes that long without presenting a frame
//   stream <from> <to> <count>  sends "<from>><to>#1" ... "#count", 25 a frame; again:
//                               that many more
//   burst <from> <to> <count>   sends the same at once; answers how many were taken
//   collect <id>                from now on reads the player's messages every frame
//   check <id> <from> <count>   "ok" when the collected messages from `from` (to this
//                               player or to all) are #1 ... #count, once each and in
//                               order; "have <n>" while fewer
//                               came; "bad <what>" otherwise
//   refused                     how many stream messages NETSENDMSG did not take
//   tap <folder>                writes every packet that arrives into the folder
//   pid                         the program's process id
//
// The search without an address stays on this machine: nothing is broadcast.
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/kwnetwork.h"
#include "net/transport.h"
#include "platform/test_hooks.h"
#include "tolvane.h"

namespace __TOLVANE__ {

namespace {

bool InputWaiting() {
    pollfd p{0, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

struct Stream {
    std::string from, to;
    long next = 1, count = 0;
};
std::vector<Stream> g_streams;
long g_refused = 0;
std::map<std::string, std::vector<std::string>> g_collected;

// One frame's share of the streams and of the collecting.
void Background() {
    for (Stream& s : g_streams)
        for (int k = 0; k < 25 && s.next <= s.count; ++k, ++s.next) {
            std::string text = s.from + ">" + s.to + "#" + std::to_string(s.next);
            if (NETSENDMSG(s.from.c_str(), s.to.c_str(), text.c_str()) != 1) ++g_refused;
        }
    for (auto& [player, log] : g_collected)
        for (std::string m; !(m = NETGETMSG_Str(player.c_str()).c_str()).empty();) log.push_back(m);
}

std::string Check(const std::string& player, const std::string& from, long count) {
    const std::string head = from + ">" + player + "#";
    long n = 0;
    for (const std::string& m : g_collected[player]) {
        if (m.rfind(from + ">", 0) != 0) continue;
        const std::string next = std::to_string(n + 1);
        if (m != head + next && m != from + ">0#" + next) return "bad after #" + std::to_string(n) + " came " + m;
        ++n;
    }
    return n == count ? "ok" : "have " + std::to_string(n);
}

std::atomic<const char*> g_tapDir{nullptr};
std::atomic<int> g_tapCount{0};

void Tap(const uint8_t* data, size_t size) {
    const char* dir = g_tapDir.load();
    if (!dir) return;
    char path[512];
    std::snprintf(path, sizeof path, "%s/%d-%06d", dir, static_cast<int>(getpid()), g_tapCount++);
    if (FILE* f = std::fopen(path, "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

double Seconds(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

std::string Run(const std::string& line) {
    std::istringstream in(line);
    std::string cmd, a, b, c;
    in >> cmd >> a >> b;
    std::getline(in >> std::ws, c);
    DQStr A(a.c_str()), B(b.c_str()), C(c.c_str());
    if (cmd == "host") return DQStr(NETHOSTGAME(A.Number(), B, "", "")).c_str();
    if (cmd == "join") return DQStr(NETJOINGAME(A.Number(), B, C, "")).c_str();
    if (cmd == "create") return NETCREATEPLAYER_Str(A).c_str();
    if (cmd == "destroy") return DQStr(NETDESTROYPLAYER(A)).c_str();
    if (cmd == "send") return DQStr(NETSENDMSG(A, B, C)).c_str();
    if (cmd == "long") {  // a text longer than a BASIC string holds
        std::string text(std::strtoul(c.c_str(), nullptr, 10), 'x');
        return pKWNet->SendMsg(std::atol(a.c_str()), std::atol(b.c_str()), text.data(), text.size()) ? "1" : "0";
    }
    if (cmd == "get") {
        std::string m = NETGETMSG_Str(A).c_str();
        return m.size() > 40 ? "x*" + std::to_string(m.size()) : m;
    }
    if (cmd == "num") return DQStr(NETNUMPLAYERS()).c_str();
    if (cmd == "id") return NETGETPLAYERID_Str(A.Number()).c_str();
    if (cmd == "name") return NETPLAYERNAME_Str(A).c_str();
    if (cmd == "players") {
        std::string all;
        int n = static_cast<int>(NETNUMPLAYERS());
        for (int i = 0; i < n; ++i) {
            DQStr id = NETGETPLAYERID_Str(i);
            all += std::string(i ? " " : "") + id.c_str() + ":" + NETPLAYERNAME_Str(id).c_str();
        }
        return all;
    }
    if (cmd == "app") {
        net::AppId id{};
        for (size_t i = 0; i < id.size() && a.size() >= 2 * i + 2; ++i)
            id[i] = static_cast<uint8_t>(std::strtoul(a.substr(2 * i, 2).c_str(), nullptr, 16));
        pKWNet->SetApplicationId(id);
        return "1";
    }
    if (cmd == "keywait") {
        // A key comes that much later, from another thread, as a user's would.
        std::thread([s = Seconds(a)] {
            std::this_thread::sleep_for(std::chrono::duration<double>(s));
            plat::PushKeyEvent(57, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            plat::PushKeyEvent(57, false);
        }).detach();
        KEYWAIT();
        return "1";
    }
    if (cmd == "busy") {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds(a));
        volatile double x = 0;
        while (std::chrono::steady_clock::now() < until)
            for (int i = 0; i < 10000; ++i) x = x + i * 0.5;
        return "1";
    }
    if (cmd == "burst") {  // all at once, no frame between
        long n = std::atol(c.c_str()), refused = 0;
        for (long i = 1; i <= n; ++i) {
            std::string text = a + ">" + b + "#" + std::to_string(i);
            refused += NETSENDMSG(a.c_str(), b.c_str(), text.c_str()) != 1;
        }
        return std::to_string(n - refused);
    }
    if (cmd == "stream") {
        for (Stream& s : g_streams)
            if (s.from == a && s.to == b) {
                s.count += std::atol(c.c_str());
                return "1";
            }
        g_streams.push_back({a, b, 1, std::atol(c.c_str())});
        return "1";
    }
    if (cmd == "collect") {
        g_collected[a];
        return "1";
    }
    if (cmd == "check") {
        Background();
        return Check(a, b, std::atol(c.c_str()));
    }
    if (cmd == "refused") return std::to_string(g_refused);
    if (cmd == "pid") return std::to_string(getpid());
    if (cmd == "tap") {
        g_tapDir = strdup(a.c_str());
        net::SetPacketTap(Tap);
        return "1";
    }
    if (cmd == "end") END();
    return "?";
}

}  // namespace

double __MainGameSub_() {
    pKWNet->SetLanSearch(false);
    std::setvbuf(stdin, nullptr, _IONBF, 0);  // a line read leaves nothing hidden from poll
    char line[4096];
    for (;;) {
        while (InputWaiting()) {
            if (!std::fgets(line, sizeof line, stdin)) END();
            line[std::strcspn(line, "\r\n")] = 0;
            std::printf("= %s\n", Run(line).c_str());
            std::fflush(stdout);
        }
        Background();
        SHOWSCREEN();
    }
}

}  // namespace __TOLVANE__

int main(int argc, char** argv) {
    __BuildSettings settings;
    settings.resx = 160;
    settings.resy = 120;
    __ProgramEntry(argc, argv, settings, "Net peer");
}
