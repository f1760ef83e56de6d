#include "sim/sim_world.h"

#include "sim/sim_websockets.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>

#include "net/clock.h"
#include "net/session.h"

namespace netsim {

namespace {

World* g_world = nullptr;
double SimNow() { return g_world ? g_world->net.now : 0; }

// As the commands wait: a join for the host's welcome (longer when it searches first),
// a create for the host's answer; what a leaving program sends may take this long.
// How long the session runs between two looks at whether it has come together again.
constexpr uint32_t kSettleStepMs = 250;
constexpr size_t kSlots = 32;
constexpr uint32_t kJoinWaitMs = 4000, kReachedWaitMs = 12000, kSearchWaitMs = 1600, kCreateWaitMs = 10000, kFlushMs = 200;

std::string List(const std::vector<uint32_t>& ids) {
    std::string s;
    for (uint32_t id : ids) s += " " + std::to_string(id);
    return s.empty() ? " nobody" : s;
}

std::string Text(int instance, uint64_t n) { return std::to_string(instance) + "." + std::to_string(n); }

}  // namespace

struct World::Program {
    int slot = 0;
    int instance = 0;
    std::unique_ptr<net::Exchange> ex;
    std::unique_ptr<net::Session> session;
    net::View view;
    uint64_t version = 0;
    std::vector<uint32_t> hidden;  // destroyed here, still listed by the session
    uint32_t wake = 0, frozenUntil = 0;
    bool joining = false, leaving = false, left = false;
    bool webSocket = false;  // joined as a browser does
    uint32_t deadline = 0;  // of the join or the leave
    uint32_t token = 0;
    std::map<uint32_t, uint32_t> creates;  // token -> until when it waits
    uint64_t sent = 0;
};

World::World(uint64_t seed, bool print) : net(seed), print_(print) {
    g_world = this;
    net::SetClock(SimNow);
    for (int i = 0; i < kMaxPrograms; ++i) {
        programs_.push_back(std::make_unique<Program>());
        programs_.back()->slot = i;
    }
}

World::~World() {
    for (auto& p : programs_) {
        net.current = p->slot;
        p->session.reset();
        p->ex.reset();
    }
    net::SetClock(nullptr);
    g_world = nullptr;
}

void World::Note(const std::string& line) {
    char at[32];
    std::snprintf(at, sizeof at, "%8u ms  ", net.now);
    log_ += at + line + "\n";
    if (print_) std::printf("%s%s\n", at, line.c_str());
}

void World::Fail(const std::string& what, bool safety) {
    if (safety) safe_ = false;
    if (failures_.size() < 20) failures_.push_back("at " + std::to_string(net.now) + " ms: " + what);
    Note("FAILED: " + what);
}

bool World::Running(int p) const { return P(p).session != nullptr; }
net::Status World::StatusOf(int p) const { return P(p).view.status; }
uint32_t World::Me(int p) const { return P(p).view.me; }

std::vector<uint32_t> World::PlayersOf(int p) const {
    std::vector<uint32_t> ids;
    for (const net::PlayerEntry& e : P(p).view.players) ids.push_back(e.id);
    return ids;
}

std::vector<uint32_t> World::Mine(int p) const {
    std::vector<uint32_t> ids;
    for (const net::PlayerEntry& e : P(p).view.players)
        if (e.owner == P(p).view.me) ids.push_back(e.id);
    return ids;
}

bool World::InSession(const Program& p) const {
    return p.session && !p.joining && !p.leaving &&
           (p.view.status == net::Status::Joined || p.view.status == net::Status::Hosting);
}

// ---- starting and ending programs --------------------------------------------------------------

bool World::Start(int slot, bool host, bool search, bool webSocket) {
    Program& p = P(slot);
    if (p.session) return false;
    net::SessionConfig cfg;
    cfg.host = host;
    cfg.port = kSessionPort;
    cfg.name = "arena";
    cfg.app = {1, 2, 3};
    cfg.target = search ? net::Address{} : net::Address{htonl(INADDR_LOOPBACK), kSessionPort};
    cfg.lanSearch = true;
    if (webSocket) cfg.url = "ws://127.0.0.1:" + std::to_string(kSessionPort);
    // Room for the few programs of a simulated session: ENet looks at every slot of a
    // socket whenever it is serviced, so that fewer make the simulation faster.
    cfg.slots = kSlots;
    p.instance = ++instances_;
    p.ex = std::make_unique<net::Exchange>();
    p.session = std::make_unique<net::Session>(*p.ex, cfg);
    p.view = {};
    p.version = 0;
    p.hidden.clear();
    p.creates.clear();
    p.sent = 0;
    p.left = p.leaving = false;
    p.webSocket = webSocket;
    p.frozenUntil = 0;
    net.current = slot;
    if (!p.session->Open()) {
        p.session.reset();
        p.ex.reset();
        return false;
    }
    p.joining = !host;
    p.deadline = net.now + kJoinWaitMs + (search ? kSearchWaitMs : 0);
    p.wake = net.now;
    Face(p);
    return true;
}

bool World::Host(int p) {
    const bool ok = Start(p, true, false);
    Note("P" + std::to_string(p) + " hosts" + (ok ? "" : ": the port is taken"));
    return ok;
}

void World::Join(int p, bool search) {
    Note("P" + std::to_string(p) + (search ? " searches and joins" : " joins"));
    Start(p, false, search);
}

void World::JoinByWebSocket(int p) {
    Note("P" + std::to_string(p) + " joins over WebSocket");
    Start(p, false, false, true);
}

bool World::ByWebSocket(int p) const { return P(p).webSocket; }

void World::Stop(Program& p) {
    net.current = p.slot;
    p.session.reset();
    p.ex.reset();
    p.joining = p.leaving = false;
}

void World::Kill(int p) {
    Note("P" + std::to_string(p) + " is killed");
    if (P(p).session) Stop(P(p));
}

void World::Leave(int p) {
    Program& pr = P(p);
    Note("P" + std::to_string(p) + " leaves");
    if (!pr.session || pr.leaving) return;
    net.current = p;
    pr.session->BeginLeave();
    pr.leaving = true;
    pr.left = true;
    pr.deadline = net.now + kFlushMs;
    pr.wake = net.now + 1;
}

bool World::Frozen(int p) const { return P(p).frozenUntil > net.now; }

void World::Freeze(int p, uint32_t ms) {
    Note("P" + std::to_string(p) + " is frozen for " + std::to_string(ms) + " ms");
    if (P(p).session) P(p).frozenUntil = net.now + ms;
}

// ---- the commands --------------------------------------------------------------------------------

void World::Create(int p, const std::string& name) {
    Program& pr = P(p);
    Note("P" + std::to_string(p) + " creates " + name);
    Face(pr);
    if (!InSession(pr) || pr.frozenUntil > net.now) return;
    pr.token = pr.token + 1;
    pr.creates[pr.token] = net.now + kCreateWaitMs;
    pr.ex->Push({net::Command::Create, pr.token, 0, name});
    pr.wake = net.now;
}

void World::Destroy(int p, uint32_t player) {
    Program& pr = P(p);
    Note("P" + std::to_string(p) + " destroys " + std::to_string(player));
    Face(pr);
    const auto mine = Mine(p);
    if (!InSession(pr) || std::find(mine.begin(), mine.end(), player) == mine.end()) return;
    pr.ex->Push({net::Command::Destroy, player, 0, {}});
    pr.hidden.push_back(player);
    std::erase_if(pr.view.players, [&](const net::PlayerEntry& e) { return e.id == player; });
    pr.wake = net.now;
}

bool World::Send(int p, uint32_t from, uint32_t to) {
    Program& pr = P(p);
    Face(pr);
    if (!InSession(pr)) return false;
    const net::View& v = pr.view;
    auto listed = [&](uint32_t id) {
        return std::any_of(v.players.begin(), v.players.end(), [&](const net::PlayerEntry& e) { return e.id == id; });
    };
    auto mine = [&](uint32_t id) {
        return std::any_of(v.players.begin(), v.players.end(),
                           [&](const net::PlayerEntry& e) { return e.id == id && e.owner == v.me; });
    };
    if (!mine(from) || (to && !listed(to))) return false;
    const uint64_t n = pr.sent + 1;
    const std::string text = Text(pr.instance, n);
    Sent s{from, to, {}};
    bool ok;
    if (to) {
        s.expect.insert(to);
        ok = mine(to) ? pr.ex->PutMessage({to}, text) : pr.ex->Push({net::Command::Send, from, to, text});
    } else {
        std::vector<uint32_t> own;
        bool others = false;
        for (const net::PlayerEntry& e : v.players) {
            if (e.id == from) continue;
            s.expect.insert(e.id);
            if (e.owner == v.me)
                own.push_back(e.id);
            else
                others = true;
        }
        ok = pr.ex->PutAndPush(own, others, {net::Command::Send, from, 0, text});
    }
    Note("P" + std::to_string(p) + " sends " + text + " from " + std::to_string(from) + " to " + std::to_string(to) +
         (ok ? "" : ": refused"));
    if (!ok) return false;
    pr.sent = n;
    sent_[{pr.instance, n}] = std::move(s);
    ++accepted_;
    pr.wake = net.now;
    return true;
}

void World::Read(int p) {
    Program& pr = P(p);
    if (!pr.session) return;
    Face(pr);
    for (uint32_t player : Mine(p)) {
        std::string text;
        while (pr.ex->TakeMessage(player, text)) {
            ++delivered_;
            if (onRead) onRead(p, player, text);
            const size_t dot = text.find('.');
            const int sender = std::atoi(text.substr(0, dot).c_str());
            const uint64_t n = std::strtoull(text.c_str() + dot + 1, nullptr, 10);
            auto s = sent_.find({sender, n});
            if (s == sent_.end()) {
                Fail("P" + std::to_string(p) + " got a message nobody sent: " + text, true);
                continue;
            }
            if (s->second.to && s->second.to != player)
                Fail("P" + std::to_string(p) + " player " + std::to_string(player) + " got " + text + " meant for " +
                         std::to_string(s->second.to),
                     true);
            uint64_t& last = last_[{pr.instance, player, sender}];
            if (n <= last)
                Fail("P" + std::to_string(p) + " player " + std::to_string(player) + " got " + text + " after " +
                     Text(sender, last) +
                     (got_.count({pr.instance, player, sender, n}) ? " (twice)" : " (out of order)"), true);
            last = std::max(last, n);
            got_.insert({pr.instance, player, sender, n});
        }
    }
}

// ---- the network ---------------------------------------------------------------------------------

void World::Cut(int a, int b, bool bothWays) {
    Note("cut P" + std::to_string(a) + (bothWays ? " <-> P" : " -> P") + std::to_string(b));
    net.Cut(a, b, true);
    if (bothWays) net.Cut(b, a, true);
}

void World::Mend(int a, int b) {
    Note("mend P" + std::to_string(a) + " <-> P" + std::to_string(b));
    net.Cut(a, b, false);
    net.Cut(b, a, false);
}

void World::Heal() {
    Note("the network heals");
    net.HealAll();
    net.faults = {};
    for (auto& p : programs_) p->frozenUntil = std::min(p->frozenUntil, net.now);
}

// ---- time ----------------------------------------------------------------------------------------

// What a program sees of its session (NETNUMPLAYERS and the other commands look at it
// first): the view, the answers to its creates, the end of a join that takes too long.
void World::Face(Program& p) {
    if (!p.session) return;
    if (p.ex->ViewIfNewer(p.version, p.view)) {
        std::erase_if(p.hidden, [&](uint32_t id) {
            return std::none_of(p.view.players.begin(), p.view.players.end(),
                                [&](const net::PlayerEntry& e) { return e.id == id; });
        });
        std::erase_if(p.view.players, [&](const net::PlayerEntry& e) {
            return std::find(p.hidden.begin(), p.hidden.end(), e.id) != p.hidden.end();
        });
    }
    if (p.webSocket && !p.joining && p.view.status == net::Status::Lost) {
        // A browser's program never hosts: with no program left that may, it is out.
        Note("P" + std::to_string(p.slot) + " lost the session (it came over WebSocket)");
        Stop(p);
        return;
    }
    if (p.joining) {
        if (p.view.status == net::Status::Joined) {
            p.joining = false;
            ++joinsDone;
            Note("P" + std::to_string(p.slot) + " joined as peer " + std::to_string(p.view.me));
        } else if (p.view.status == net::Status::Failed ||
                   net.now >= p.deadline + (p.view.reached ? kReachedWaitMs - kJoinWaitMs : 0)) {
            ++joinsFailed;
            Note("P" + std::to_string(p.slot) + (p.view.reached ? " could not join (the host answered)" : " could not join"));
            Stop(p);
            return;
        }
    }
    for (auto it = p.creates.begin(); it != p.creates.end();) {
        uint32_t id = 0;
        if (p.ex->TakeCreated(it->first, id)) {
            Note("P" + std::to_string(p.slot) + " got player " + std::to_string(id));
            it = p.creates.erase(it);
        } else if (net.now >= it->second) {
            p.ex->Push({net::Command::Cancel, it->first, 0, {}});
            Note("P" + std::to_string(p.slot) + " gave up a create");
            it = p.creates.erase(it);
        } else {
            ++it;
        }
    }
}

// One turn of the program's network thread, as NetThread::Run takes it.
void World::Step(Program& p) {
    net.current = p.slot;
    if (p.leaving) {
        p.session->Drain();
        if (p.session->Settled() || net.now >= p.deadline) {
            p.session->EndLeave();
            Stop(p);
            return;
        }
        p.wake = net.now + 2;
        return;
    }
    for (int i = 0; i < 4; ++i)
        if (!p.session->Step().events) break;
    p.wake = net.now + static_cast<uint32_t>(std::max(1, p.session->IdleMs()));
    Face(p);
}

void World::Run(uint32_t ms) {
    const uint32_t until = net.now + ms;
    for (;;) {
        uint32_t t = std::min(until, net.NextArrival());
        for (auto& p : programs_)
            if (p->session) t = std::min(t, std::max(p->wake, p->frozenUntil));
        t = std::max(t, net.now);
        net.now = t;
        const uint32_t got = net.Arrive(t);
        for (int p = 0; p < kMaxPrograms; ++p)
            if (got >> p & 1) P(p).wake = std::min(P(p).wake, t);
        for (auto& p : programs_)
            if (p->session && p->frozenUntil <= t && p->wake <= t) Step(*p);
        if (t >= until) break;
    }
}

// Heals the network and runs until the session has come together again (or for `ms` at
// most), reading every inbox now and then; then checks the end state.
void World::Settle(uint32_t ms) {
    Heal();
    const uint32_t until = net.now + ms;
    while (net.now < until) {
        Run(std::min<uint32_t>(kSettleStepMs, until - net.now));
        for (int p = 0; p < kMaxPrograms; ++p) Read(p);
        if (EndState(false).empty()) break;
    }
    for (const std::string& f : EndState(true)) Fail(f);
}

// What keeps the session from its end state: a program that lost the session or is still
// on its way in or out; not one host; lists that differ from the host's; an accepted
// message that has not reached a player it was meant for that is still in the session.
// `all`: every such thing (a few of the messages); else only the first.
std::vector<std::string> World::EndState(bool all) const {
    std::vector<std::string> problems;
    auto problem = [&](std::string what) {
        problems.push_back(std::move(what));
        return !all;
    };
    std::vector<int> members, hosts;
    for (int p = 0; p < kMaxPrograms; ++p) {
        if (!Running(p)) continue;
        const Program& pr = P(p);
        if (pr.joining || pr.leaving) {
            if (problem("P" + std::to_string(p) + " is still " + (pr.joining ? "joining" : "leaving"))) return problems;
            continue;
        }
        if (InSession(pr)) members.push_back(p);
        if (StatusOf(p) == net::Status::Hosting) hosts.push_back(p);
        if (StatusOf(p) == net::Status::Lost && !pr.left && problem("P" + std::to_string(p) + " lost the session"))
            return problems;
    }
    if (members.empty()) return problems;
    if (hosts.size() != 1) {
        std::string list;
        for (int h : hosts) list += " P" + std::to_string(h);
        problem("the session has " + std::to_string(hosts.size()) + " hosts:" + list);
        return problems;
    }
    const Program& host = P(hosts[0]);
    const std::vector<uint32_t> listed = PlayersOf(hosts[0]);
    for (int p : members) {
        if (PlayersOf(p) != listed && problem("P" + std::to_string(p) + " lists" + List(PlayersOf(p)) + ", the host P" +
                                              std::to_string(hosts[0]) + List(listed))) {
            return problems;
        }
        if (!host.session->Table().FindPeer(Me(p)) && problem("P" + std::to_string(p) + " is not in the host's table"))
            return problems;
    }
    // Every accepted message from a program in the session arrived at every player it was
    // meant for that is still in the session.
    std::map<uint32_t, const Program*> ownerOf;  // player -> the program that has it
    for (int p : members)
        for (uint32_t id : Mine(p)) ownerOf[id] = &P(p);
    std::set<int> senders;
    for (int p : members) senders.insert(P(p).instance);
    int missing = 0;
    for (const auto& [key, s] : sent_) {
        if (!senders.count(key.first)) continue;
        for (uint32_t player : s.expect) {
            auto owner = ownerOf.find(player);
            if (owner == ownerOf.end()) continue;
            if (got_.count({owner->second->instance, player, key.first, key.second})) continue;
            if (++missing <= 5 && problem("message " + Text(key.first, key.second) + " never reached player " +
                                          std::to_string(player) + " of P" + std::to_string(owner->second->slot))) {
                return problems;
            }
        }
    }
    return problems;
}

// ---- random schedules ----------------------------------------------------------------------------

ScheduleResult RunSchedule(uint64_t seed, bool print) {
    ScheduleResult r;
    World w(seed, print);
    std::mt19937_64 rng(seed * 0x9E3779B97F4A7C15ull + 1);
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    auto pick = [&](int n) { return static_cast<int>(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    auto between = [&](uint32_t a, uint32_t b) { return std::uniform_int_distribution<uint32_t>(a, b)(rng); };

    const int n = 2 + pick(kMaxPrograms - 1);
    r.programs = n;
    w.Note("seed " + std::to_string(seed) + ": " + std::to_string(n) + " programs");
    // Some programs are browsers: they join over WebSocket and never host.
    std::vector<bool> browser(static_cast<size_t>(n), false);
    for (int p = 1; p < n; ++p) browser[static_cast<size_t>(p)] = chance(0.25);
    w.Host(0);
    w.Run(between(1, 50));
    for (int p = 1; p < n; ++p) {
        if (browser[static_cast<size_t>(p)])
            w.JoinByWebSocket(p);
        else
            w.Join(p, chance(0.2));
        w.Run(between(1, 300));
    }
    int names = 0;
    for (int p = 0; p < n; ++p) w.Create(p, "N" + std::to_string(++names));
    w.Run(500);

    // The chaos: random commands and faults for a while.
    const uint32_t chaosEnd = w.net.now + between(3000, 20000);
    std::vector<std::tuple<uint32_t, int, int>> mends;  // when, a, b
    while (w.net.now < chaosEnd) {
        w.Run(between(1, 200));
        for (auto it = mends.begin(); it != mends.end();) {
            if (std::get<0>(*it) <= w.net.now) {
                w.Mend(std::get<1>(*it), std::get<2>(*it));
                it = mends.erase(it);
            } else {
                ++it;
            }
        }
        const int p = pick(n);
        const int what = pick(100);
        if (w.Frozen(p) && what < 86) continue;  // a stopped program runs no commands
        if (what < 30) {  // messages
            const auto mine = w.Mine(p);
            const auto all = w.PlayersOf(p);
            if (mine.empty()) continue;
            const uint32_t from = mine[static_cast<size_t>(pick(static_cast<int>(mine.size())))];
            const int kind = pick(3);
            const int count = 1 + pick(20);
            for (int i = 0; i < count; ++i) {
                if (kind == 0 || all.empty()) {
                    w.Send(p, from, 0);
                } else if (kind == 1) {
                    w.Send(p, from, all[static_cast<size_t>(pick(static_cast<int>(all.size())))]);
                } else {  // a group: a few players, one by one
                    for (size_t k = 0; k < all.size(); k += 2) w.Send(p, from, all[k]);
                }
            }
        } else if (what < 45) {
            w.Read(p);
        } else if (what < 52) {
            w.Create(p, "N" + std::to_string(++names));
        } else if (what < 56) {
            const auto mine = w.Mine(p);
            if (!mine.empty()) w.Destroy(p, mine[static_cast<size_t>(pick(static_cast<int>(mine.size())))]);
        } else if (what < 66) {  // the network's quality changes
            LinkFaults f;
            f.drop = chance(0.3) ? 0 : std::uniform_real_distribution<double>(0, 0.3)(rng);
            f.duplicate = chance(0.5) ? 0 : std::uniform_real_distribution<double>(0, 0.05)(rng);
            f.minDelayMs = between(1, 20);
            f.maxDelayMs = f.minDelayMs + between(0, 60);
            w.net.faults = f;
            char line[96];
            std::snprintf(line, sizeof line, "the network: %.0f%% lost, %.0f%% twice, %u-%u ms", f.drop * 100,
                          f.duplicate * 100, f.minDelayMs, f.maxDelayMs);
            w.Note(line);
        } else if (what < 74) {  // a partition, or a WebSocket connection that breaks
            if (chance(0.25)) {
                if (BreakWebSocket(p, rng())) w.Note("a WebSocket connection of P" + std::to_string(p) + " breaks");
                continue;
            }
            const int q = pick(n);
            if (q == p) continue;
            const bool both = chance(0.6);
            w.Cut(p, q, both);
            mends.emplace_back(w.net.now + between(300, 8000), p, q);
        } else if (what < 79) {
            w.Freeze(p, between(200, 8000));
        } else if (what < 83) {
            w.Kill(p);
        } else if (what < 86) {
            w.Leave(p);
        } else if (what < 94) {  // a program that is not running starts again
            if (w.Running(p)) continue;
            bool hosted = false;
            for (int q = 0; q < n; ++q) hosted |= w.Running(q);
            if (browser[static_cast<size_t>(p)])
                w.JoinByWebSocket(p);
            else if (!hosted && chance(0.5))
                w.Host(p);
            else
                w.Join(p, chance(0.2));
        }
    }
    w.Settle(25000);
    r.ok = w.Failures().empty();
    r.safe = w.Safe();
    r.accepted = w.Accepted();
    r.delivered = w.Delivered();
    r.joinsFailed = w.joinsFailed;
    r.joinsDone = w.joinsDone;
    if (!r.ok) {
        r.report = "schedule " + std::to_string(seed) + " failed:\n";
        for (const std::string& f : w.Failures()) r.report += "  " + f + "\n";
        r.report += "replay (scripts/simulate.sh --seeds 1 --from " + std::to_string(seed) + " --print):\n" + w.Log();
    }
    return r;
}

}  // namespace netsim
