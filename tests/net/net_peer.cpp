// A program on the runtime that plays one machine of a network session for the tests:
// it reads one command a line from standard input and answers each with one line
// "= <result>" on standard output; between commands it presents frames, so its
// connection is serviced by SHOWSCREEN as a game's is. End of input ends the program.
//
//   host <type> <name>          join <type> <name> [address]     create <name>
//   destroy <id>                send <from> <to> <text>           long <from> <to> <length>
//   get <id>                    players (id:name ...)             num
//   id <index>                  name <id>                         app <32 hex digits>
//   end
//
// The search without an address stays on this machine: nothing is broadcast.
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "net/kwnetwork.h"
#include "tolvane.h"

namespace __TOLVANE__ {

namespace {

bool InputWaiting() {
    pollfd p{0, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

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
