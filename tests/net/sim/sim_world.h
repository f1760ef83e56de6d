// A simulated session: up to twelve programs of the runtime's network session, each with
// the session logic and the exchange the BASIC commands use, over the simulated network
// (sim_network.h), driven by one scheduler in simulated time. Scripted tests call the
// steps themselves; RunSchedule makes a random schedule from a seed.
//
// What is checked: every message a program accepted arrives at most once and in order
// per sending program, only at the players it was meant for (at every read); and once
// the network has healed, one host, the same lists everywhere, and every accepted
// message arrived at every receiver that stayed in the session (Settle).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "net/exchange.h"
#include "sim/sim_network.h"

namespace net {
class Session;
}

namespace netsim {

constexpr uint16_t kSessionPort = 26814;
constexpr int kMaxPrograms = 12;

class World {
public:
    World(uint64_t seed, bool print);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    Network net;

    // ---- the programs' commands ----
    bool Host(int p);
    void Join(int p, bool search = false);
    // Joins as a browser does: over WebSocket, to the session port's TCP twin. Such a
    // program never hosts; when it loses the session it stops (a page would start again).
    void JoinByWebSocket(int p);
    bool ByWebSocket(int p) const;
    void Kill(int p);
    void Leave(int p);
    void Freeze(int p, uint32_t ms);
    bool Frozen(int p) const;
    // Asks for a player; the answer comes later (Players of the program show it).
    void Create(int p, const std::string& name);
    void Destroy(int p, uint32_t player);
    // NETSENDMSG: whether the message was taken.
    bool Send(int p, uint32_t from, uint32_t to);
    // Reads every message waiting for the program's players.
    void Read(int p);

    // ---- the network ----
    void Cut(int a, int b, bool bothWays);
    void Mend(int a, int b);
    void Heal();

    // Runs the session for `ms` of simulated time.
    void Run(uint32_t ms);
    // Heals everything, runs until the session has settled (`ms` at most), reads every
    // inbox and checks the end state.
    void Settle(uint32_t ms);

    // ---- what the programs see ----
    bool Running(int p) const;
    net::Status StatusOf(int p) const;
    std::vector<uint32_t> PlayersOf(int p) const;  // the session's players, as p lists them
    std::vector<uint32_t> Mine(int p) const;       // p's own players
    uint32_t Me(int p) const;

    // What went wrong; empty while all is well. Broken safety: a message that arrived
    // twice, out of order, at a player it was not meant for, or that nobody sent.
    const std::vector<std::string>& Failures() const { return failures_; }
    bool Safe() const { return safe_; }
    const std::string& Log() const { return log_; }
    void Note(const std::string& line);
    uint64_t Delivered() const { return delivered_; }
    // Called with every message Read takes: the program, its player and the text.
    std::function<void(int, uint32_t, const std::string&)> onRead;
    uint64_t Accepted() const { return accepted_; }
    int joinsFailed = 0, joinsDone = 0;

private:
    struct Program;
    Program& P(int p) { return *programs_[static_cast<size_t>(p)]; }
    const Program& P(int p) const { return *programs_[static_cast<size_t>(p)]; }
    bool Start(int p, bool host, bool search, bool webSocket = false);
    void Step(Program& p);
    void Face(Program& p);
    void Stop(Program& p);
    void Fail(const std::string& what, bool safety = false);
    bool InSession(const Program& p) const;
    std::vector<std::string> EndState(bool all) const;

    std::vector<std::unique_ptr<Program>> programs_;
    int instances_ = 0;
    bool print_ = false;
    bool safe_ = true;
    std::string log_;
    std::vector<std::string> failures_;
    // Every accepted message: (sending instance, number) -> the players it is meant for.
    struct Sent {
        uint32_t from = 0, to = 0;
        std::set<uint32_t> expect;
    };
    std::map<std::pair<int, uint64_t>, Sent> sent_;
    // (receiving instance, player, sending instance) -> the last number that came.
    std::map<std::tuple<int, uint32_t, int>, uint64_t> last_;
    std::set<std::tuple<int, uint32_t, int, uint64_t>> got_;
    uint64_t delivered_ = 0, accepted_ = 0;
};

struct ScheduleResult {
    bool ok = true;    // every invariant held
    bool safe = true;  // no message arrived twice, out of order or at a player it was not meant for
    std::string report;  // the seed, what went wrong and the replay, when not ok
    int programs = 0;
    uint64_t accepted = 0, delivered = 0;
    int joinsFailed = 0, joinsDone = 0;
};
// One random schedule: 2 to 12 programs, faults of the network, freezes, kills, restarts,
// leaves and random commands; then the network heals and the end state is checked.
ScheduleResult RunSchedule(uint64_t seed, bool print);

}  // namespace netsim
