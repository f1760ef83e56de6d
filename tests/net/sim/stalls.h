// Stalls under loss, in simulated time: three programs send to each other at a steady
// rate through a network that loses datagrams, and what counts is how long a stream falls
// silent at its receiver and how long after the last send everything has arrived. The
// same streams run through the runtime's session (host and two members, the members'
// messages relayed by the host) and through plain ENet set up the same way (a relay and
// two clients, reliable packets on one channel, with the session's time limits, ping
// interval and throttle), so the two can be put side by side.
//
//   net_sim --stalls N     prints both at 0, 5, 10 and 20 % loss over N seeds each
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "sim/sim_network.h"
#include "sim/sim_world.h"

namespace netsim {

struct StreamPlan {
    uint32_t everyMs = 20;     // each program sends one message to each other player this often
    uint32_t sendMs = 10000;   // for this long
    uint32_t drainMs = 10000;  // then waits at most this long for what is under way
};

struct StallRun {
    bool complete = false;  // every message arrived, once and in order
    double silenceMs = 0;   // the longest time any stream brought nothing, while it ran
    double drainMs = 0;     // from the last send until everything had arrived
    uint64_t messages = 0;  // how many were sent
    double datagrams = 0;   // datagrams sent a second, by all programs, while the streams ran
};

// The streams of one run: (sending program, receiving program) -> what was sent and what
// came, when.
class StreamLog {
public:
    using Key = std::pair<int, int>;
    // The next message of the stream is sent; returns its number in the stream (1, 2 ...).
    uint64_t Sent(Key k, uint32_t at);
    // Message `n` of the stream arrived.
    void Arrived(Key k, uint64_t n, uint32_t at);
    // Every message sent arrived, once and in order.
    bool Complete() const;
    StallRun Figures() const;

private:
    struct Stream {
        uint64_t sent = 0, got = 0;
        uint32_t last = 0;  // when the last message came (or the first was sent)
        double longest = 0;
        bool ordered = true;
    };
    std::map<Key, Stream> streams_;
    uint32_t lastSend_ = 0, lastArrival_ = 0;
};

// Streams between the programs of a World, each program with one player and started once,
// in slot order (so that the World numbers program p's messages as its instance p + 1).
class WorldStreams {
public:
    explicit WorldStreams(World& w);
    ~WorldStreams();
    // Program p sends one message from its player to program q's; false when refused.
    bool Send(int p, int q);
    // Runs the world for `ms`, every program reading its messages every 5 ms.
    void Run(uint32_t ms);
    StreamLog log;

private:
    World& w_;
    std::map<std::pair<int, uint64_t>, std::pair<StreamLog::Key, uint64_t>> sent_;  // (program, its number) -> stream
    std::map<int, uint64_t> count_;
};

// The network all runs use, with `loss` of the datagrams lost.
LinkFaults LossyLink(double loss);

StallRun RuntimeStreams(uint64_t seed, const LinkFaults& faults, const StreamPlan& plan = {});
StallRun PlainEnetStreams(uint64_t seed, const LinkFaults& faults, const StreamPlan& plan = {});

// The share q (0..1) of the values: the smallest that at least that share does not exceed.
double Quantile(std::vector<double> values, double q);

// The table of `--stalls`: for each loss level and each of the two, the longest silence
// (median, 99th percentile, worst) and the time to deliver everything after the last send.
void PrintStallFigures(uint64_t seeds);

}  // namespace netsim
